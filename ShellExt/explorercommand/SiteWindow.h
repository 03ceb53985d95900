// The window behind the command's site, which tells a classic menu from the
// new one (menu/CommandPlacement.h).
#pragma once

#include <windows.h>

#include "ShellExt/core/TraceLine.h"
#include "ShellExt/menu/CommandPlacement.h"

// Window class names are at most 256 characters.
constexpr size_t kSiteClassCapacity = 257;

struct SiteWindowInfo
{
    TraceSite eSite = TraceSite::NoSite;
    wchar_t szClass[kSiteClassCapacity] = {};

    CommandSiteWindow ForPlacement() const noexcept;
};

// Asks the site for IOleWindow, directly or through IServiceProvider (the
// shell's sites answer one or the other), and reads its window's class. No
// file or registry work: only calls on the site and the window manager.
void ReadSiteWindow(IUnknown* pSite, SiteWindowInfo& info) noexcept;
