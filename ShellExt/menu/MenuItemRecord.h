// What the menu build remembers about each command item, so that a later
// InvokeCommand can turn the chosen offset back into a switch and arguments.
#pragma once

#include <windows.h>

#include "ShellExt/menu/MenuRows.h"

struct MenuItemRecord
{
    int nType;
    COLORREF crColor;
    wchar_t szIconFile[MAX_PATH];
    int nIconIndex;
};

// The record of one row; a marker's library is resolved against the
// installation folder.
MenuItemRecord MakeMenuItemRecord(const MenuRow& row, const wchar_t* pszInstallDir) noexcept;

// The icon library path of a menu item: pszName itself when a file of that
// name opens for reading (relative names resolve against the host's current
// directory), otherwise pszInstallDir directly followed by "\icl\" and
// pszName. Cut to the buffer, never beyond it.
void ResolveIconLibrary(const wchar_t* pszName, const wchar_t* pszInstallDir, wchar_t (&szPath)[MAX_PATH]) noexcept;
