// Where a file's icon is, for the shell's per-file icon requests: the marker
// stream the main application wrote into the file, else the ordinary icon of
// its type. Only a place is named; the shell extracts the icon itself.
#pragma once

#include <windows.h>
#include <shlobj.h>

// Keeps a copy of the file name the shell hands over. A name too long for
// the buffer, or none, leaves it empty and is refused.
HRESULT RememberIconFile(const wchar_t* pszFileName, wchar_t (&szFileName)[2 * MAX_PATH]) noexcept;

// The icon location of pszFileName (empty: not known) into pszIconFile
// (cchMax characters) and *piIndex, with GIL_DONTCACHE in *pwFlags. S_FALSE
// asks the shell for its own default icon.
HRESULT GetFileIconLocation(const wchar_t* pszFileName, PWSTR pszIconFile, UINT cchMax, int* piIndex,
                            UINT* pwFlags) noexcept;
