// Icon locations as Explorer commands hand them out: a file and an index in
// one string, which the shell itself opens and extracts.
#pragma once

#include <windows.h>

#include <string>

// "<this DLL>,-id": an icon resource of this DLL. Empty when the DLL's own
// path cannot be had. May throw std::bad_alloc.
std::wstring ModuleIconLocation(WORD wResourceId);

// "<library>,index" for an icon library that exists, else empty: the item
// then has no icon rather than one the shell cannot load. May throw
// std::bad_alloc.
std::wstring LibraryIconLocation(const wchar_t* pszLibrary, int nIndex);
