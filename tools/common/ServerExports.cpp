#include "tools/common/ServerExports.h"

#include "ShellExt/core/SystemFunction.h"

void CServerExports::Find(HMODULE hModule)
{
    m_pfnGetClassObject = FindSystemFunction<GetClassObjectFn>(hModule, "DllGetClassObject");
    m_pfnCanUnloadNow = FindSystemFunction<NoArgumentFn>(hModule, "DllCanUnloadNow");
    m_pfnRegisterServer = FindSystemFunction<NoArgumentFn>(hModule, "DllRegisterServer");
    m_pfnUnregisterServer = FindSystemFunction<NoArgumentFn>(hModule, "DllUnregisterServer");
    m_pfnInstall = FindSystemFunction<InstallFn>(hModule, "DllInstall");
}

HRESULT CServerExports::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const
{
    return m_pfnGetClassObject(rclsid, riid, ppv);
}

HRESULT CServerExports::CreateInstance(REFCLSID rclsid, REFIID riid, void** ppv) const
{
    IClassFactory* pFactory = nullptr;
    HRESULT hr = GetClassObject(rclsid, IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
    if (FAILED(hr))
        return hr;
    hr = pFactory->CreateInstance(nullptr, riid, ppv);
    pFactory->Release();
    return hr;
}

HRESULT CServerExports::CanUnloadNow() const
{
    return m_pfnCanUnloadNow();
}

HRESULT CServerExports::RegisterServer() const
{
    return m_pfnRegisterServer();
}

HRESULT CServerExports::UnregisterServer() const
{
    return m_pfnUnregisterServer();
}

HRESULT CServerExports::Install(BOOL bInstall, LPCWSTR pszCmdLine) const
{
    return m_pfnInstall(bInstall, pszCmdLine);
}
