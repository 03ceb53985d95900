// Files an elevated process writes into, or reads from, folders that the
// user owns (the profile, TEMP). Anything running as the user can put a
// junction or a symbolic link anywhere in those folders: an elevated write
// through it would land wherever the user chose, and an elevated read would
// fetch a file only the administrator may read, with the administrator's
// rights.
#pragma once

#include <windows.h>

#include "ShellExt/core/Handles.h"

// Opens pszPath (a full "X:\..." path) for writing with dwDisposition
// (CREATE_NEW, or OPEN_ALWAYS, after which the file is emptied) only when no
// folder on the way and not the file itself is a reparse point (junction,
// symbolic link, mount point), the file has no second name (hard link), and
// the handle's final path is the path asked for. The folders are held open
// without delete sharing while the file is opened, so none can be renamed
// and replaced meanwhile. An invalid handle otherwise, with the reason in
// GetLastError; a file this call made at a place it then refused is removed.
CFileHandle CreateFileOnPlainPath(const wchar_t* pszPath, DWORD dwDisposition) noexcept;

// Opens the existing file pszPath for reading (shared for reading only) under
// the same rules: no reparse point on the way or at the file, no second name,
// the final path the one asked for. An invalid handle otherwise.
CFileHandle OpenFileOnPlainPathForReading(const wchar_t* pszPath) noexcept;
