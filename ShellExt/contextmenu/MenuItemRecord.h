// What the menu build remembers about each command item, so that a later
// InvokeCommand can turn the chosen offset back into a switch and arguments.
#pragma once

#include <windows.h>

enum MenuItemType : int
{
    kItemMarker = 1,          // "-oi" with the icon library and index
    kItemMarkFile = 2,        // "-uo"
    kItemColor = 3,           // "-ci" with the colour
    kItemRemoveColor = 4,     // "-uc"
    kItemMoreIcons = 5,       // "-mi"
    kItemRestoreDefault = 6,  // "-rd"
    kItemExtendedSubmenu = 7, // opens the extended submenu; never recorded
};

struct MenuItemRecord
{
    int nType;
    COLORREF crColor;
    wchar_t szIconFile[MAX_PATH];
    int nIconIndex;
};
