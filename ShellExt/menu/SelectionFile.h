// The selection file: the chosen files' paths, written for the main
// application to read, one new file for every chosen command.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Writes vecPaths to a new file in the temporary folder, records it in
// g_szSelectionFile and gives its name to the caller (empty when no file
// could be named).
void WriteSelectionFile(const std::vector<std::wstring>& vecPaths, wchar_t (&szSelectionFile)[MAX_PATH]) noexcept;
