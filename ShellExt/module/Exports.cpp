// The in-process server exports through which hosts reach the class object
// and ask whether the DLL may be unloaded. (Registration exports live with
// the registration code.)
#include <windows.h>
#include <objbase.h>

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/module/Module.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return GuardExport([&] { return g_AtlObjectMapModule.GetClassObject(rclsid, riid, ppv); });
}

// S_OK only while no extension object, no class-object reference beyond the
// cache's, no LockServer lock and no pending hand-off timer is alive.
STDAPI DllCanUnloadNow()
{
    return GuardExport([] { return g_pModule->DllCanUnloadNow(); });
}
