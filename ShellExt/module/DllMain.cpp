#include <windows.h>

#include "ShellExt/module/Module.h"

// The loader lock is held here, so nothing beyond recording the instance:
// the module objects were built by the static initialisers before this runs,
// and a module whose locks could not be made refuses to load. A thread that
// ends takes its pending thread timers with it (Explorer ends a window's
// thread when the window closes, whether or not its timers have run), so the
// module locks they held are given back: bookkeeping only.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/)
{
    g_hInstance = hInstance;
    if (dwReason == DLL_PROCESS_ATTACH && g_bModuleInitFailed)
        return FALSE;
    if (dwReason == DLL_THREAD_DETACH)
        ReleaseEndingThreadModuleLocks();
    return TRUE;
}
