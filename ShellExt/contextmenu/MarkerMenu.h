// Pieces of the marker menu build that stand on their own.
#pragma once

#include <windows.h>

#include "ShellExt/module/Handles.h"

// Hands submenu over to hParent as a cascading entry at nPosition. On success
// the parent owns it and submenu is left empty; a submenu the parent did not
// take is destroyed here, so that a failed build leaks no menu.
bool InsertSubmenuEntry(HMENU hParent, UINT nPosition, CMenuHandle& submenu, const wchar_t* pszCaption) noexcept;

// The icon library path of a menu item: pszName itself when a file of that
// name opens for reading (relative names resolve against the host's current
// directory), otherwise pszInstallDir directly followed by "\icl\" and
// pszName. Cut to the buffer, never beyond it.
void ResolveIconLibrary(const wchar_t* pszName, const wchar_t* pszInstallDir, wchar_t (&szPath)[MAX_PATH]) noexcept;
