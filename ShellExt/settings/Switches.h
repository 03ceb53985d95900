// The per-user switches of the shell extension, for the first real machines:
// HKEY_CURRENT_USER\Software\Kelvoss\Orvane\ShellExt, DWORD values
//   Trace                      1: append one line per COM call to the trace
//   ShowCommandInClassicMenus  1: the Windows 11 command shows in classic
//                                 menus too, beside the classic handler
// Anything else, or no value at all, is off. An elevated process has no
// trace, whatever the switch says.
#pragma once

#include <windows.h>

extern const wchar_t kShellExtSwitchesKey[];

struct ShellExtSwitches
{
    bool bTrace = false;
    bool bShowCommandInClassicMenus = false;
};

// How long a process reuses the switches it read last.
constexpr ULONGLONG kSwitchesReuseMs = 2000;

// Reads both switches from the registry now.
ShellExtSwitches ReadShellExtSwitches() noexcept;

// The switches as the process read them less than kSwitchesReuseMs ago,
// read again when older. Objects take them once, when they are made: Explorer
// makes objects for every icon and every query, and a state request must not
// touch the registry (MarkFileCommand.h), so at most one registry read per
// process every two seconds reaches these switches.
ShellExtSwitches CurrentShellExtSwitches() noexcept;

// Makes the next CurrentShellExtSwitches read the registry, for a program
// that has just changed the switches itself.
void ForgetShellExtSwitches() noexcept;
