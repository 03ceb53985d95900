// The command's entry in the module's object map: the one class this DLL
// serves. The class is declared in the package manifest, never in the
// registry, so there is nothing to register.
#include <iterator>

#include "ShellExt/explorercommand/CommandIds.h"
#include "ShellExt/explorercommand/MarkFileCommand.h"
#include "ShellExt/module/ClassFactory.h"
#include "ShellExt/module/ObjectMap.h"

const CLSID CLSID_MarkFileCommand = ORVANE_EXPLORER_COMMAND_CLSID_INIT;

namespace {

HRESULT NothingToRegister(bool /*bRegister*/)
{
    return S_OK;
}

// Constant-initialised, so it is ready before any module object is built.
ObjectMapEntry s_markFileCommandEntry = {
    &CLSID_MarkFileCommand, NothingToRegister, CreateCachedClassFactory, CreateComObject<CMarkFileCommand>, nullptr,
    NoClassDescription,     NoClassCategories, IgnoreModuleEvent,
};

}  // namespace

ObjectMapEntry* const g_rgObjectMap[] = {&s_markFileCommandEntry};
const size_t g_nObjectMapEntries = std::size(g_rgObjectMap);
