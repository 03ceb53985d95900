// What choosing a command item of the marker menu does, for every front end:
// the item's switch and arguments go to the main application, together with
// the selection file.
#pragma once

#include <windows.h>

#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/MenuItemRecord.h"

// How the main application is started: directly, from the process that
// chose the item (the classic handler, inside Explorer), or handed to the
// companion program (CompanionStart.h) for a front end that Explorer waits
// on in another process: the companion asks Explorer to start it
// (ExplorerStart.h) from its own process, after the choice has returned; a
// companion that cannot be started leaves the direct start.
enum class ProgramStart
{
    Direct,
    ThroughCompanion,
};

// Starts the main application with the record's switch and arguments for the
// selection file already written, after copying that file to its fixed
// per-user place. E_INVALIDARG for a record that is no command (nothing is
// started), HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE) when no selection file was
// written (nothing is started), E_OUTOFMEMORY when the command line cannot
// be built.
HRESULT HandOffChosenItem(const MenuItemRecord& record, const wchar_t* pszSelectionFile,
                          ProgramStart start = ProgramStart::Direct) noexcept;

// The same, writing the encoded selection's file first. The file is written
// even for a record that is no command: the main application may read the
// newest one whatever happened to the call.
HRESULT HandOffSelection(const MenuItemRecord& record, const SelectionFileEncoder& selection,
                         ProgramStart start = ProgramStart::Direct) noexcept;
