#include <windows.h>

#include "ShellExt/module/Module.h"

// The loader lock is held here, so nothing beyond recording the instance:
// the module objects were built by the static initialisers before this runs,
// and a module whose locks could not be made refuses to load.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/)
{
    g_hInstance = hInstance;
    if (dwReason == DLL_PROCESS_ATTACH && g_bModuleInitFailed)
        return FALSE;
    return TRUE;
}
