// The full path of a loaded module, however long.
#pragma once

#include <windows.h>

#include <string>

// The path of hModule (nullptr: this process's program), or empty when it
// cannot be had whole: a cut path would name another file. May throw
// std::bad_alloc.
std::wstring FullModulePath(HMODULE hModule);
