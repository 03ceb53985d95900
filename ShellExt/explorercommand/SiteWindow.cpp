#include "ShellExt/explorercommand/SiteWindow.h"

#include <ole2.h>
#include <servprov.h>

#include "ShellExt/core/WideText.h"
#include "ShellExt/explorercommand/ComOwners.h"

namespace {

CComOwner<IOleWindow> QueryOleWindow(IUnknown* pSite) noexcept
{
    IOleWindow* pWindow = nullptr;
    if (SUCCEEDED(pSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&pWindow))) && pWindow != nullptr)
        return CComOwner<IOleWindow>(pWindow);
    IServiceProvider* pProvider = nullptr;
    if (FAILED(pSite->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&pProvider))) ||
        pProvider == nullptr)
        return CComOwner<IOleWindow>();
    CComOwner<IServiceProvider> provider(pProvider);
    pWindow = nullptr;
    if (FAILED(provider->QueryService(IID_IOleWindow, IID_IOleWindow, reinterpret_cast<void**>(&pWindow))))
        pWindow = nullptr;
    return CComOwner<IOleWindow>(pWindow);
}

}  // namespace

CommandSiteWindow SiteWindowInfo::ForPlacement() const noexcept
{
    CommandSiteWindow site;
    site.bHasWindow = eSite == TraceSite::Window;
    if (site.bHasWindow)
        site.strClass = AsUtf16(szClass);
    return site;
}

void ReadSiteWindow(IUnknown* pSite, SiteWindowInfo& info) noexcept
{
    info.szClass[0] = L'\0';
    info.eSite = TraceSite::NoSite;
    if (pSite == nullptr)
        return;
    info.eSite = TraceSite::NoWindow;
    CComOwner<IOleWindow> window = QueryOleWindow(pSite);
    HWND hWnd = nullptr;
    if (!window || FAILED(window->GetWindow(&hWnd)) || hWnd == nullptr)
        return;
    info.eSite = TraceSite::Window;
    if (::GetClassNameW(hWnd, info.szClass, static_cast<int>(kSiteClassCapacity)) <= 0)
        info.szClass[0] = L'\0';
}
