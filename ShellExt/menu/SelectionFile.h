// The selection file: the chosen files' paths, written for the main
// application to read, one new file for every chosen command.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ShellExt/menu/HandOffFormat.h"

// Writes vecPaths to a new file in the temporary folder, records it in
// g_szSelectionFile and gives its name to the caller: empty unless the whole
// selection was written to a file this call made. Deletes the user's
// selection files older than a day first (DeleteOldSelectionFiles), in a
// process's first call and then at most once an hour.
void WriteSelectionFile(const std::vector<std::wstring>& vecPaths, wchar_t (&szSelectionFile)[MAX_PATH]) noexcept;
// The same for a selection already encoded.
void WriteSelectionFile(const SelectionFileEncoder& encoder, wchar_t (&szSelectionFile)[MAX_PATH]) noexcept;

// Deletes the selection files in pszFolder last written more than a day ago:
// plain files named as this extension names them ("orvane100000.dat" to
// "orvane132767.dat"), never a folder, a link or any other name. The fixed
// copy lives elsewhere and is never touched.
void DeleteOldSelectionFiles(const wchar_t* pszFolder) noexcept;

// The newest selection file in the temporary folder, as the last chosen
// command of any front end left it; empty when there is none. Read when it
// is needed, never remembered: an earlier right-click's file is older.
void FindNewestSelectionFile(wchar_t (&szSelectionFile)[MAX_PATH]) noexcept;
