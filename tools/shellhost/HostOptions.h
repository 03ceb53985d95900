// The shell host's command line, and the menu-caption rules it matches items
// by. Platform-free, so that both are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class HostCommand
{
    Menu,      // print the context menu as a tree
    Invoke,    // choose one item, then pump messages for the hand-off
    Icon,      // ask the icon handler for each file's icon location
    Show,      // show the menu on screen for a picture, then close it
    Handlers,  // list the registered context-menu handlers for all files
    XMenu,     // print the Windows 11 menu's command tree (the Explorer command)
    XInvoke,   // invoke one subcommand of the Explorer command
    Help,
};

// The site the Explorer command is given (xmenu, xinvoke).
enum class HostSite
{
    None,     // no site at all, as the new menu's command sees it
    Classic,  // a classic menu: a window of the folder view's class
    Tree,     // the navigation pane: a NamespaceTreeControl window
    NotImpl,  // a window interface whose GetWindow answers E_NOTIMPL (a classic menu)
    Service,  // only a service provider, whose service leads to the folder view's window
};

struct HostOptions
{
    HostCommand eCommand = HostCommand::Help;
    bool bExtended = false;             // QueryContextMenu with CMF_EXTENDEDVERBS
    std::u16string strHandler = u"Orvane";
    std::u16string strClsid;            // overrides the handler lookup
    bool bHasItem = false;              // invoke: by caption
    std::u16string strItem;
    bool bHasOffset = false;            // invoke: by command offset
    int32_t nOffset = 0;
    int32_t nWaitSeconds = -1;          // -1: the command's default
    int32_t nOpenLevel = 1;             // show: 0 top menu, 1 marker submenu, 2 extended submenu
    int32_t nHoldMilliseconds = 2500;   // show: how long the opened menu stays up
    std::u16string strManifest;         // xmenu, xinvoke: the package manifest to read the class from
    std::u16string strDll;              // xmenu, xinvoke: the command DLL to load
    HostSite eSite = HostSite::None;    // xmenu, xinvoke: the command's site
    std::vector<std::u16string> vecFiles;
};

// The words after the program name. False with strError on a usage error.
bool ParseHostOptions(const std::vector<std::u16string>& vecArgs, HostOptions& options, std::string& strError);

// How long to pump messages after the command: the hand-off timer fires ten
// seconds after Initialize, so an invocation waits a little longer by default.
int32_t EffectiveWaitSeconds(const HostOptions& options);

const char* UsageText();

// A decimal number of at most nine digits, no sign, from nMin to nMax.
bool ParseDecimal(const std::u16string& str, int32_t nMin, int32_t nMax, int32_t& nValue);

// A caption as the menu shows it: "&&" is one "&", a single "&" only marks
// the access key and disappears.
std::u16string DisplayCaption(const std::u16string& strCaption);

// Whether a user's words name an item: the caption as displayed or as
// stored, ignoring ASCII case.
bool CaptionMatches(const std::u16string& strCaption, const std::u16string& strWanted);
