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

// The newest selection file in the temporary folder, as the last chosen
// command of any front end left it; empty when there is none. Read when it
// is needed, never remembered: an earlier right-click's file is older.
void FindNewestSelectionFile(wchar_t (&szSelectionFile)[MAX_PATH]) noexcept;
