// The switches of the shell extension (SwitchTable.inc), DWORD values read
// from three places, the first that holds a valid value winning
// (SwitchPolicy.h):
//   HKEY_LOCAL_MACHINE\Software\Policies\Kelvoss\Orvane\ShellExt  machine policy
//   HKEY_CURRENT_USER\Software\Policies\Kelvoss\Orvane\ShellExt   user policy
//   HKEY_CURRENT_USER\Software\Kelvoss\Orvane\ShellExt            the user's own
// The values:
//   ShowWindows11Command       0: the Windows 11 command hides in every menu
//                                 (policy only; the classic handler stays)
//   ShowCommandInClassicMenus  1: the Windows 11 command shows in classic
//                                 menus too, beside the classic handler
//   Trace                      1: append one line per COM call to the trace;
//                                 a policy 0 forbids it, and an elevated
//                                 process has none, whatever the values say
//   HiddenMenuItems            policy only: one bit per marker and colour in
//                                 the menu's order (bit 0 "High Priority" ..
//                                 bit 9 "Gray"); both front ends leave those out
#pragma once

#include <windows.h>

#include <cstdint>

#include "ShellExt/settings/SwitchPolicy.h"

extern const wchar_t kShellExtSwitchesKey[];
extern const wchar_t kShellExtPolicyKey[];

struct ShellExtSwitches
{
    bool bTrace = false;
    bool bShowCommandInClassicMenus = false;
    bool bShowWindows11Command = true;
    uint32_t nHiddenMenuItems = 0;
};

// How long a process reuses the switches it read last.
constexpr ULONGLONG kSwitchesReuseMs = 2000;

// Every value of the three places as it is now, for status and for the
// switches below. Values are read typed (RRF_RT_REG_DWORD): another type
// counts as the wrong type, never as a number.
RawSwitchValues ReadRawSwitchValues() noexcept;

// Reads and resolves the switches from the registry now.
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
