#include "tools/bench/Extension.h"

#include "ShellExt/module/Guids.h"

bool CExtensionDll::Load(const std::wstring& strPath, std::wstring& strError)
{
    m_hModule = ::LoadLibraryW(strPath.c_str());
    if (m_hModule == nullptr)
    {
        strError = L"cannot load " + strPath;
        return false;
    }
    m_exports.Find(m_hModule);
    if (!m_exports.HasClassObject())
    {
        strError = L"the DLL does not export DllGetClassObject and DllCanUnloadNow";
        return false;
    }
    return true;
}

HRESULT CExtensionDll::GetClassObject(REFIID riid, void** ppv) const
{
    return m_exports.GetClassObject(CLSID_SimpleShlExt, riid, ppv);
}

HRESULT CExtensionDll::CreateInstance(REFIID riid, void** ppv) const
{
    return m_exports.CreateInstance(CLSID_SimpleShlExt, riid, ppv);
}

HRESULT CExtensionDll::CanUnloadNow() const
{
    return m_exports.CanUnloadNow();
}

HRESULT CreateExtensionObject(const CExtensionDll& dll, ExtensionObject& object)
{
    HRESULT hr = dll.CreateObject(IID_IShellExtInit, object.init);
    if (FAILED(hr))
        return hr;
    return QueryExtensionInterfaces(object);
}
