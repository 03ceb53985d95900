// The paths of the product's own files, built in one bounded way.
#pragma once

#include <windows.h>

#include <cstddef>
#include <initializer_list>
#include <string_view>

// "<pszFolder>\Kelvoss\Orvane\" followed by the pieces of lstTail, for the
// per-user files under AppData. All or nothing: a path that does not fit in
// cchPath characters would name another file, so pszPath is left empty and
// the answer is false.
bool BuildProductPath(wchar_t* pszPath, size_t cchPath, const wchar_t* pszFolder,
                      std::initializer_list<std::u16string_view> lstTail) noexcept;

// "<pszInstallDir>\icl\<pszName>", the directory used as stored (no separator
// added or removed). Cut to the buffer, never beyond it: the main application
// has always received the library path so.
void BuildIconLibraryPath(const wchar_t* pszInstallDir, const wchar_t* pszName, wchar_t (&szPath)[MAX_PATH]) noexcept;
