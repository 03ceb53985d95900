// Full paths Windows hands out: a loaded module's, however long, and a file's
// in the system folder.
#pragma once

#include <windows.h>

#include <string>

// The path of hModule (nullptr: this process's program), or empty when it
// cannot be had whole: a cut path would name another file. May throw
// std::bad_alloc.
std::wstring FullModulePath(HMODULE hModule);

// "<system folder>\<pszRelative>", or empty when the folder cannot be had.
// May throw std::bad_alloc.
std::wstring SystemFilePath(const wchar_t* pszRelative);
