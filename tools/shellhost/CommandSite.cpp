#include "tools/shellhost/CommandSite.h"

#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

#include <new>

namespace {

LRESULT CALLBACK SiteWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// A class of that name from this process, made here when no one has one
// (Windows' own classes of these names live in other modules).
bool EnsureWindowClass(const wchar_t* pszClass)
{
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), pszClass, &existing))
        return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = SiteWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = pszClass;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

class CHostSite : public IOleWindow, public IServiceProvider
{
public:
    CHostSite(HWND hWnd, SiteReach eReach) : m_hWnd(hWnd), m_eReach(eReach) {}
    virtual ~CHostSite()
    {
        if (m_hWnd != nullptr)
            ::DestroyWindow(m_hWnd);
    }
    CHostSite(const CHostSite&) = delete;
    CHostSite& operator=(const CHostSite&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IServiceProvider)
            *ppv = static_cast<IServiceProvider*>(this);
        else if (riid == IID_IOleWindow && m_eReach != SiteReach::ServiceProvider &&
                 (m_hWnd != nullptr || m_eReach == SiteReach::NotImplemented))
            *ppv = static_cast<IOleWindow*>(this);
        if (*ppv == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(::InterlockedIncrement(&m_nRefs)); }
    STDMETHOD_(ULONG, Release)() override
    {
        const LONG n = ::InterlockedDecrement(&m_nRefs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHOD(GetWindow)(HWND* phwnd) override
    {
        if (phwnd == nullptr)
            return E_POINTER;
        *phwnd = nullptr;
        if (m_eReach == SiteReach::NotImplemented)
            return E_NOTIMPL;
        *phwnd = m_hWnd;
        return m_hWnd != nullptr ? S_OK : E_FAIL;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    STDMETHOD(QueryService)(REFGUID guidService, REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (guidService != IID_IOleWindow || riid != IID_IOleWindow || m_hWnd == nullptr)
            return E_NOINTERFACE;
        *ppv = static_cast<IOleWindow*>(this);
        AddRef();
        return S_OK;
    }

private:
    LONG m_nRefs = 1;
    HWND m_hWnd;
    SiteReach m_eReach;
};

}  // namespace

const wchar_t* HostSiteWindowClass(HostSite eSite) noexcept
{
    switch (eSite)
    {
    case HostSite::Classic:
        return L"SHELLDLL_DefView";
    case HostSite::Tree:
        return L"NamespaceTreeControl";
    case HostSite::None:
    case HostSite::NotImpl:
    case HostSite::Service:
        break;
    }
    return nullptr;
}

IUnknown* CreateCommandSite(const wchar_t* pszClass, SiteReach eReach)
{
    HWND hWnd = nullptr;
    if (pszClass != nullptr)
    {
        if (!EnsureWindowClass(pszClass))
            return nullptr;
        hWnd = ::CreateWindowExW(0, pszClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                                 nullptr);
        if (hWnd == nullptr)
            return nullptr;
    }
    auto* pSite = new (std::nothrow) CHostSite(hWnd, eReach);
    if (pSite == nullptr && hWnd != nullptr)
        ::DestroyWindow(hWnd);
    return static_cast<IServiceProvider*>(pSite);
}

HRESULT SiteCommand(IUnknown* pCommand, HostSite eSite, CInterfacePtr<IUnknown>& site)
{
    if (eSite == HostSite::None)
        return S_OK;
    // The service-provider-only site leads to a folder view's window, as the
    // new menu's site may lead to Explorer's own.
    const wchar_t* pszClass = eSite == HostSite::Service ? L"SHELLDLL_DefView" : HostSiteWindowClass(eSite);
    const SiteReach eReach = eSite == HostSite::Service   ? SiteReach::ServiceProvider
                             : eSite == HostSite::NotImpl ? SiteReach::NotImplemented
                                                          : SiteReach::Direct;
    site = CInterfacePtr<IUnknown>(CreateCommandSite(pszClass, eReach));
    if (!site)
        return E_OUTOFMEMORY;
    CInterfacePtr<IObjectWithSite> withSite;
    HRESULT hr = pCommand->QueryInterface(IID_IObjectWithSite, withSite.ReceiveVoid());
    return FAILED(hr) ? hr : withSite->SetSite(site.Get());
}
