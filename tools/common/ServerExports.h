// The exports through which a host drives an in-process COM server DLL,
// looked up in a loaded module. Shared by the programs that load the built
// DLL as Explorer or regsvr32 would.
#pragma once

#include <windows.h>
#include <objbase.h>

class CServerExports
{
public:
    CServerExports() = default;
    explicit CServerExports(HMODULE hModule) { Find(hModule); }

    // Looks the exports up in hModule; those the DLL lacks stay null.
    void Find(HMODULE hModule);

    // DllGetClassObject and DllCanUnloadNow, which every server has.
    bool HasClassObject() const { return m_pfnGetClassObject != nullptr && m_pfnCanUnloadNow != nullptr; }
    // DllRegisterServer, DllUnregisterServer and DllInstall.
    bool HasRegistration() const
    {
        return m_pfnRegisterServer != nullptr && m_pfnUnregisterServer != nullptr && m_pfnInstall != nullptr;
    }
    // A host frees the DLL only when it says it is unused (or cannot say):
    // freeing it while an object or a pending timer lives would leave them
    // calling into freed code.
    bool MayBeFreed() const { return m_pfnCanUnloadNow == nullptr || m_pfnCanUnloadNow() == S_OK; }

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const;
    // A new object of the class from its class object, as COM makes one for
    // CoCreateInstance (not aggregated).
    HRESULT CreateInstance(REFCLSID rclsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    HRESULT Install(BOOL bInstall, LPCWSTR pszCmdLine) const;

private:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();
    using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);

    GetClassObjectFn m_pfnGetClassObject = nullptr;
    NoArgumentFn m_pfnCanUnloadNow = nullptr;
    NoArgumentFn m_pfnRegisterServer = nullptr;
    NoArgumentFn m_pfnUnregisterServer = nullptr;
    InstallFn m_pfnInstall = nullptr;
};
