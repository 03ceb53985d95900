// Shows a built context menu on screen the way Explorer does (TrackPopupMenu
// with an owner window), walks into its submenus with the keyboard so that
// a screenshot can catch them, and closes it again with EndMenu.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/shellhost/MenuTree.h"

// The key presses that open the menus down to nLevel: 0 none, 1 the
// cascading item at indexMenu of the host menu, 2 also the first cascading
// item inside that submenu.
std::vector<WORD> KeysToOpen(const std::vector<MenuEntry>& vecHostMenu, UINT nIndexMenu, int nLevel);

struct ShowResult
{
    bool bShown = false;
    UINT nChosenId = 0;  // 0: closed without a choice
    std::string strError;
};

// Blocks while the menu is up: the keys go in one by one, then pfnOpened is
// called (for "menu open" on the console), and after dwHoldMs the menu is
// closed.
ShowResult ShowMenu(HMENU hMenu, const std::vector<std::wstring>& vecFiles, const std::vector<WORD>& vecKeys,
                    DWORD dwHoldMs, void (*pfnOpened)());
