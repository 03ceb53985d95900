// OrvaneShellExt.exe: the extension's companion program. It shows no window
// (the extension and Active Setup start it, and a console would flash up at
// every right-click or logon); the first word of its command line names what
// it does, and the words after it belong to that verb.
#include <windows.h>
#include <shellapi.h>

#include "ShellExt/companion/HandOffVerb.h"
#include "ShellExt/companion/RepairVerb.h"
#include "ShellExt/companion/StatusVerb.h"
#include "ShellExt/companion/UserRegistration.h"
#include "ShellExt/companion/Verbs.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/SystemFunction.h"

namespace {

const CompanionVerb s_verbs[] = {
    {L"register-user", RunRegisterUser},
    {L"unregister-user", RunUnregisterUser},
    {L"unregister-all-users", RunUnregisterAllUsers},
    {L"tell-explorer", RunTellExplorer},
    {L"status", RunStatusVerb},
    {L"repair", RunRepairVerb},
    {L"handoff", RunHandOffVerb},
    {L"start", RunStartVerb},
    {nullptr, nullptr},
};

int RunVerb(int nArgs, wchar_t** ppszArgs)
{
    if (nArgs < 2)
        return kCompanionUsage;
    for (const CompanionVerb& verb : s_verbs)
    {
        if (verb.pszName != nullptr && ::lstrcmpiW(verb.pszName, ppszArgs[1]) == 0)
            return verb.pfnRun(nArgs - 2, ppszArgs + 2);
    }
    return kCompanionUsage;
}

// Before anything else: every DLL this program loads later comes from the
// system folder only. Its own imports are DLLs Windows always takes from
// there (KnownDLLs, checked by tools/package/peimage.py); anything else is
// loaded by full path when needed. Active Setup runs the program at every
// user's logon and the uninstallation as SYSTEM, so a DLL planted beside it
// (or in the folder it is started from) must never be loaded.
void LoadDllsFromTheSystemFolderOnly() noexcept
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto pfnSetDefault =
        FindSystemFunction<SetDefaultDllDirectoriesFunction>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (pfnSetDefault == nullptr || !pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ::SetDllDirectoryW(L"");  // Windows 7 without KB2533623: at least not the current folder
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    LoadDllsFromTheSystemFolderOnly();
    int nArgs = 0;
    LPWSTR* ppszArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
    CLocalBlock args(ppszArgs);
    if (!args)
        return kCompanionUsage;
    return RunVerb(nArgs, ppszArgs);
}
