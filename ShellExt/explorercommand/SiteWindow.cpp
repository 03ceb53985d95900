#include "ShellExt/explorercommand/SiteWindow.h"

#include <ole2.h>
#include <shobjidl.h>
#include <urlmon.h>

#include "ShellExt/core/WideText.h"
#include "ShellExt/explorercommand/ComOwners.h"

namespace {

// GetWindow of the first window interface the site itself has; E_NOINTERFACE
// when it has none. GetWindow is the first method of each of the three
// (IInternetSecurityMgrSite declares it itself, at the same place).
HRESULT GetSiteWindow(IUnknown* pSite, HWND& hWnd) noexcept
{
    for (const IID* piid : {&IID_IOleWindow, &IID_IShellView, &IID_IInternetSecurityMgrSite})
    {
        IOleWindow* pRawWindow = nullptr;
        if (FAILED(pSite->QueryInterface(*piid, reinterpret_cast<void**>(&pRawWindow))) || pRawWindow == nullptr)
            continue;
        CComOwner<IOleWindow> window(pRawWindow);
        return window->GetWindow(&hWnd);
    }
    return E_NOINTERFACE;
}

TraceSite SiteAnswer(HRESULT hr, HWND hWnd) noexcept
{
    if (hr == E_NOINTERFACE)
        return TraceSite::NoInterface;
    if (hr == E_NOTIMPL)
        return TraceSite::NotImplemented;
    return SUCCEEDED(hr) && hWnd != nullptr ? TraceSite::Window : TraceSite::NoWindow;
}

}  // namespace

CommandSiteWindow SiteWindowInfo::ForPlacement() const noexcept
{
    CommandSiteWindow site;
    site.eSite = eSite;
    if (eSite == TraceSite::Window)
        site.strClass = AsUtf16(szClass);
    return site;
}

void ReadSiteWindow(IUnknown* pSite, SiteWindowInfo& info) noexcept
{
    info.szClass[0] = L'\0';
    info.eSite = TraceSite::NoSite;
    if (pSite == nullptr)
        return;
    HWND hWnd = nullptr;
    const HRESULT hr = GetSiteWindow(pSite, hWnd);
    info.eSite = SiteAnswer(hr, hWnd);
    if (info.eSite == TraceSite::Window && ::GetClassNameW(hWnd, info.szClass, static_cast<int>(kSiteClassCapacity)) <= 0)
        info.szClass[0] = L'\0';
}
