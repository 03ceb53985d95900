// Pieces of the marker menu build that stand on their own.
#pragma once

#include <windows.h>

#include "ShellExt/core/Handles.h"

// Hands submenu over to hParent as a cascading entry at nPosition. On success
// the parent owns it and submenu is left empty; a submenu the parent did not
// take is destroyed here, so that a failed build leaks no menu.
bool InsertSubmenuEntry(HMENU hParent, UINT nPosition, CMenuHandle& submenu, const wchar_t* pszCaption) noexcept;

