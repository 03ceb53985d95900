// The ordinary icon of a file type, for files the main application has not
// marked: the association's default icon, or for types whose icon is an
// indirect resource string, the copy kept in the main application's icon
// cache.
#pragma once

#include <windows.h>

// Per-user key where the main application names its cached icon files: one
// string value per indirect default-icon text, named after the resolved text
// followed by ",0".
extern const wchar_t kIconCacheKey[];

// Writes the default icon of the type with the given extension (".txt") into
// pszLocation (cchLocation characters, terminator included) and *pnIndex.
// False when the type has no usable default icon: unknown type, empty text,
// an indirect string that does not resolve or has no cache entry, or a
// location too long for its buffer. pszLocation is then empty and *pnIndex
// is left alone.
bool GetDefaultIconLocation(const wchar_t* pszExtension, wchar_t* pszLocation, UINT cchLocation,
                            int* pnIndex) noexcept;
