// Where the Windows 11 command shows "Mark File", without any Windows
// dependency.
//
// Windows 11 offers a packaged command to the classic menus as well ("Show
// more options", Shift+right-click, Shift+F10, other programs' Open and Save
// dialogs, 32-bit programs through the surrogate), where the classic handler
// already adds "Mark File". The command tells those menus apart by its site:
// a classic menu gives it a site that offers IOleWindow with the folder
// view's window; the new menu gives none; the navigation pane's tree gives
// its own window, of class NamespaceTreeControl, and shows the new menu.
#pragma once

#include <cstdint>
#include <string_view>

// The window class of the navigation pane's tree.
constexpr std::u16string_view kNamespaceTreeClass = u"NamespaceTreeControl";

struct CommandSiteWindow
{
    bool bHasWindow = false;          // the site offered IOleWindow with a window
    std::u16string_view strClass;     // that window's class; empty when unreadable
};

// Shown for one or more items, unless a classic menu asks for it and the
// user has not asked for the command there too (bShowInClassicMenus, the
// per-user switch for machines where the site misleads). A window whose class
// cannot be read counts as a classic menu's: the classic handler is there.
bool IsCommandShown(const CommandSiteWindow& site, bool bShowInClassicMenus, uint32_t nItems) noexcept;
