#include <windows.h>

#include "ShellExt/module/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/)
{
    // Nothing beyond recording the instance: the loader lock is held here.
    g_hInstance = hInstance;
    (void)dwReason;
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return g_pModule->GetModuleLockCount() == 0 ? S_OK : S_FALSE;
}
