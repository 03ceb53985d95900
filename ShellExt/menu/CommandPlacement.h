// Where the Windows 11 command shows "Mark File", without any Windows
// dependency.
//
// Windows 11 offers a packaged command to the classic menus as well ("Show
// more options", Shift+right-click, Shift+F10, other programs' Open and Save
// dialogs, 32-bit programs through the surrogate), where the classic handler
// already adds "Mark File". The command tells those menus apart by its site,
// as the shell's own helper IUnknown_GetWindow answers for it: a classic menu's
// site has a window interface of its own with the folder view's (or the
// dialog's) window; the navigation pane's tree gives its own window, of class
// NamespaceTreeControl, and shows the new menu; the new menu's site has no
// window interface of its own. The site's IServiceProvider is never asked: a
// service query from the new menu's site may lead to Explorer's own window.
#pragma once

#include <cstdint>
#include <string_view>

// The window class of the navigation pane's tree.
constexpr std::u16string_view kNamespaceTreeClass = u"NamespaceTreeControl";

// What the command's site answered when asked for its window, the way the
// shell's own IUnknown_GetWindow asks it: no site at all, a site without a
// window interface of its own (E_NOINTERFACE), one whose GetWindow answered
// E_NOTIMPL, one whose GetWindow failed otherwise or gave no window, or a
// window of a class.
enum class SiteAnswer
{
    NoSite,
    NoInterface,
    NotImplemented,
    NoWindow,
    Window,
};

struct CommandSiteWindow
{
    SiteAnswer eAnswer = SiteAnswer::NoSite;
    std::u16string_view strClass;  // with SiteAnswer::Window: its class; empty when unreadable
};

// Shown for one or more items, unless a classic menu asks for it and the
// user has not asked for the command there too (bShowInClassicMenus, the
// per-user switch for machines where the site misleads). A classic menu is
// a window other than the tree's (one whose class cannot be read included:
// the classic handler is there) or a GetWindow that answers E_NOTIMPL. No
// site, no window interface, and a GetWindow that fails otherwise or gives
// no window are the new menu's.
bool IsCommandShown(const CommandSiteWindow& site, bool bShowInClassicMenus, uint32_t nItems) noexcept;

// The answer as the trace names it: nosite, nointerface, notimpl, nowindow,
// or the window's class (empty when unreadable).
std::u16string_view SiteTraceText(const CommandSiteWindow& site) noexcept;
