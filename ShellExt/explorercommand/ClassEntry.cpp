// The command's entry in the module's object map: the one class this DLL
// serves. The class is declared in the package manifest, never in the
// registry, so there is nothing to register.
#include <new>

#include "ShellExt/explorercommand/CommandIds.h"
#include "ShellExt/explorercommand/MarkFileCommand.h"
#include "ShellExt/module/ClassFactory.h"
#include "ShellExt/module/ObjectMap.h"

const CLSID CLSID_MarkFileCommand = ORVANE_EXPLORER_COMMAND_CLSID_INIT;

HRESULT CreateMarkFileCommand(IUnknown* pOuter, REFIID riid, void** ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    auto* pObject = new (std::nothrow) CComObject<CMarkFileCommand>();
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    if (hr != S_OK)
        delete pObject;
    return hr;
}

namespace {

HRESULT NothingToRegister(bool /*bRegister*/)
{
    return S_OK;
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
ObjectMapEntry s_markFileCommandEntry = {
    &CLSID_MarkFileCommand, NothingToRegister, CreateCachedClassFactory, CreateMarkFileCommand, nullptr,
    NoDescription,          NoCategories,      IgnoreModuleEvent,
};

ObjectMapEntry* const s_objectMap[] = {&s_markFileCommandEntry};

}  // namespace

ObjectMapEntry* const* ObjectMapBegin() noexcept
{
    return s_objectMap;
}

ObjectMapEntry* const* ObjectMapEnd() noexcept
{
    return s_objectMap + sizeof(s_objectMap) / sizeof(s_objectMap[0]);
}
