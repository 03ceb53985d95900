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
    m_pfnGetClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(m_hModule, "DllGetClassObject")));
    m_pfnCanUnloadNow =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(::GetProcAddress(m_hModule, "DllCanUnloadNow")));
    if (m_pfnGetClassObject == nullptr || m_pfnCanUnloadNow == nullptr)
    {
        strError = L"the DLL does not export DllGetClassObject and DllCanUnloadNow";
        return false;
    }
    return true;
}

HRESULT CExtensionDll::GetClassObject(REFIID riid, void** ppv) const
{
    return m_pfnGetClassObject(CLSID_SimpleShlExt, riid, ppv);
}

HRESULT CExtensionDll::CanUnloadNow() const
{
    return m_pfnCanUnloadNow();
}

HRESULT CreateExtensionObject(const CExtensionDll& dll, ExtensionObject& object)
{
    HRESULT hr = dll.CreateObject(IID_IShellExtInit, object.init);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = object.init.QueryInto(IID_IContextMenu, object.menu)) ||
        FAILED(hr = object.init.QueryInto(IID_IPersistFile, object.file)) ||
        FAILED(hr = object.init.QueryInto(IID_IExtractIconW, object.icon)))
        return hr;
    return S_OK;
}

HRESULT InvokeOffset(IContextMenu* pMenu, UINT nOffset)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(nOffset);
    info.nShow = SW_SHOWNORMAL;
    return pMenu->InvokeCommand(&info);
}

HMENU MakeHostMenu()
{
    HMENU hMenu = ::CreatePopupMenu();
    ::InsertMenuW(hMenu, 0, MF_BYPOSITION | MF_STRING, 0x7F01, L"&Open");
    ::InsertMenuW(hMenu, 1, MF_BYPOSITION | MF_STRING, 0x7F02, L"P&roperties");
    return hMenu;
}

void PumpPendingMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void PumpMessagesFor(DWORD dwMilliseconds)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        PumpPendingMessages();
        const DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwMilliseconds)
            return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, dwMilliseconds - dwElapsed, QS_ALLINPUT);
    }
}
