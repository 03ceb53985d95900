// The Explorer command's reading of large selections as the surrogate meets
// it: an IShellItemArray that charges a round trip for every call on it, on
// its enumerator, its items and its data object, as Explorer's proxy does.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "tools/bench/Floors.h"
#include "tools/bench/Timing.h"

struct CommandSelectionRun
{
    IClassFactory* pFactory;          // the command DLL's class object
    FloorState* pFloor;               // settings read and a menu built, as for the classic InvokeCommand
    std::vector<std::wstring> vecFiles;
    double dScale;
    int nFailures = 0;
};

// "command: GetState shown (N files)" and "command: Invoke, start skipped (N
// files)" against their floors (one transfer of the drop list and one pass
// over it), each with the per-item walk of an array without a data object
// beside it (bNaive), where that finishes in reasonable time.
std::vector<Comparison> TimeCommandSelection(CommandSelectionRun& run, const char* pszSize, bool bWithWalk);
