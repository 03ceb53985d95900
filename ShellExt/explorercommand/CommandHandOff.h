// The delayed hand-off of the Explorer command.
//
// The classic menu starts the main application with "-ad" ten seconds after
// every right-click, from a thread timer inside Explorer. The command runs
// in a COM surrogate (dllhost.exe) that Windows may end soon after the menu
// has closed, so the ten seconds are waited out by a process of our own:
//
// - When: a state request that answers "shown", with a selection. Explorer
//   asks several times per right-click, from new command objects and (for
//   "Show more options") from the classic handler in Explorer too; only the
//   first of them, per selection, within the hand-off's ten seconds, starts
//   one: the others find the selection's named slot (menu/PendingHandOff.h)
//   and start nothing.
// - How: the slot is made here and its handle handed to
//   "OrvaneShellExt.exe handoff <key> <handle>" (the program beside this
//   DLL), started at once without a window and out of the surrogate's job
//   where the job allows it. The waiter inherits the handle, so it holds the
//   slot from its first instruction and never opens it by name; it waits ten
//   seconds, copies the newest selection file to the fixed copy (whatever
//   was chosen meanwhile, by either front end: never a path recorded
//   earlier) and starts the main application with "-ad" through Explorer.
// - Failure: no slot still hands off (without deduplication); no waiter
//   (the program missing, no process to be had, the handle not to be
//   passed) leaves nothing pending, in this process or elsewhere, and the
//   next request tries again; the menu works all the same. Nothing of this
//   DLL is in use once the request has returned.
#pragma once

#include <windows.h>
#include <shobjidl.h>


// Starts the hand-off of this right-click unless one is pending already.
void StartSelectionHandOff(IShellItemArray* psiItemArray) noexcept;
