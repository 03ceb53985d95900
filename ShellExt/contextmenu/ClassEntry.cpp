// The class's entry in the module's object map: how the module creates,
// registers and describes CSimpleShlExt without knowing the class itself.
#include <iterator>
#include <new>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/module/ClassFactory.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/module/ObjectMap.h"
#include "ShellExt/registration/Registration.h"
#include "ShellExt/resources/RegistrationIds.h"

HRESULT CreateSimpleShlExt(IUnknown* pOuter, REFIID riid, void** ppv) noexcept
{
    return CreateComObject<CSimpleShlExt>(pOuter, riid, ppv);
}

namespace {

HRESULT UpdateSimpleShlExtRegistry(bool bRegister)
{
    return RunRegistryScript(IDR_SIMPLESHLEXT_SCRIPT, bRegister);
}

// Constant-initialised, so it is ready before any module object is built.
ObjectMapEntry s_simpleShlExtEntry = {
    &CLSID_SimpleShlExt, UpdateSimpleShlExtRegistry, CreateCachedClassFactory, CreateSimpleShlExt, nullptr,
    NoClassDescription,  NoClassCategories,          IgnoreModuleEvent,
};

}  // namespace

ObjectMapEntry* const g_rgObjectMap[] = {&s_simpleShlExtEntry};
const size_t g_nObjectMapEntries = std::size(g_rgObjectMap);
