// The class's entry in the module's object map: how the module creates,
// registers and describes CSimpleShlExt without knowing the class itself.
#include <new>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/module/ClassFactory.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/module/ObjectMap.h"
#include "ShellExt/registration/Registration.h"
#include "ShellExt/resources/RegistrationIds.h"

HRESULT CreateSimpleShlExt(IUnknown* pOuter, REFIID riid, void** ppv) noexcept
{
    if (pOuter != nullptr)
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        return CLASS_E_NOAGGREGATION;
    }
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;

    auto* pObject = new (std::nothrow) CComObject<CSimpleShlExt>();
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    if (hr != S_OK)
        delete pObject;
    return hr;
}

namespace {

HRESULT UpdateSimpleShlExtRegistry(bool bRegister)
{
    return RunRegistryScript(IDR_SIMPLESHLEXT_SCRIPT, bRegister);
}

const wchar_t* NoDescription()
{
    return nullptr;
}

const ComponentCategoryEntry* NoCategories()
{
    return nullptr;
}

void IgnoreModuleEvent(bool /*bLoaded*/)
{
}

// Constant-initialised, so it is ready before any module object is built.
ObjectMapEntry s_simpleShlExtEntry = {
    &CLSID_SimpleShlExt, UpdateSimpleShlExtRegistry, CreateCachedClassFactory, CreateSimpleShlExt, nullptr,
    NoDescription,       NoCategories,               IgnoreModuleEvent,
};

ObjectMapEntry* const s_objectMap[] = {&s_simpleShlExtEntry};

}  // namespace

ObjectMapEntry* const* ObjectMapBegin() noexcept
{
    return s_objectMap;
}

ObjectMapEntry* const* ObjectMapEnd() noexcept
{
    return s_objectMap + sizeof(s_objectMap) / sizeof(s_objectMap[0]);
}
