// The site Explorer gives its commands (IObjectWithSite::SetSite), as the
// host plays it: classic menus' sites offer IOleWindow with the folder
// view's window, the navigation pane's tree offers its NamespaceTreeControl
// window, and the new menu gives no window of its own (a site may still be a
// service provider that leads to Explorer's window).
#pragma once

#include <windows.h>

#include "tools/shellhost/ComPtr.h"
#include "tools/shellhost/HostOptions.h"

// The window class each site's window has (null: no window to be had from
// the site itself).
const wchar_t* HostSiteWindowClass(HostSite eSite) noexcept;

// How the site hands out IOleWindow.
enum class SiteReach
{
    Direct,           // QueryInterface(IID_IOleWindow)
    ServiceProvider,  // only IServiceProvider::QueryService(IID_IOleWindow)
    NotImplemented,   // QueryInterface(IID_IOleWindow), whose GetWindow answers E_NOTIMPL
};

// A site whose IOleWindow answers a message-only window of class pszClass
// (registered in this process when no class of that name exists), or, with
// pszClass null, a site without a window (IOleWindow refused). Null when the
// window cannot be made. The window lives as long as the site.
IUnknown* CreateCommandSite(const wchar_t* pszClass, SiteReach eReach);

// Gives a command the site of eSite (none: nothing is called). S_OK when
// there is nothing to give.
HRESULT SiteCommand(IUnknown* pCommand, HostSite eSite, CInterfacePtr<IUnknown>& site);
