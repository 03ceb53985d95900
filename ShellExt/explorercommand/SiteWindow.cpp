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
        if (const CComOwner<IOleWindow> window = QueryAs<IOleWindow>(pSite, *piid))
            return window->GetWindow(&hWnd);
    }
    return E_NOINTERFACE;
}

SiteAnswer AnswerOf(HRESULT hr, HWND hWnd) noexcept
{
    if (hr == E_NOINTERFACE)
        return SiteAnswer::NoInterface;
    if (hr == E_NOTIMPL)
        return SiteAnswer::NotImplemented;
    return SUCCEEDED(hr) && hWnd != nullptr ? SiteAnswer::Window : SiteAnswer::NoWindow;
}

}  // namespace

CommandSiteWindow ReadSiteWindow(IUnknown* pSite, wchar_t (&szClass)[kSiteClassCapacity]) noexcept
{
    szClass[0] = L'\0';
    CommandSiteWindow site;
    if (pSite == nullptr)
        return site;
    HWND hWnd = nullptr;
    const HRESULT hr = GetSiteWindow(pSite, hWnd);
    site.eAnswer = AnswerOf(hr, hWnd);
    if (site.eAnswer != SiteAnswer::Window)
        return site;
    if (::GetClassNameW(hWnd, szClass, static_cast<int>(kSiteClassCapacity)) <= 0)
        szClass[0] = L'\0';
    site.strClass = AsUtf16(szClass);
    return site;
}
