// The window behind the command's site, which tells a classic menu from the
// new one (menu/CommandPlacement.h).
#pragma once

#include <windows.h>

#include "ShellExt/menu/CommandPlacement.h"

// Window class names are at most 256 characters.
constexpr size_t kSiteClassCapacity = 257;

// Asks the site for its window as the shell's IUnknown_GetWindow does: the
// site's own IOleWindow, IShellView or IInternetSecurityMgrSite, in that
// order, and GetWindow on the first it has; never a service of the site.
// Reads the window's class into szClass, which the answer's strClass views.
// No file or registry work: only calls on the site and the window manager.
CommandSiteWindow ReadSiteWindow(IUnknown* pSite, wchar_t (&szClass)[kSiteClassCapacity]) noexcept;
