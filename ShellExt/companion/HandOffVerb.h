// The companion's hand-offs to the main application, for the Explorer
// command, whose surrogate Explorer waits on and Windows may end at any time.
//
// "OrvaneShellExt.exe handoff <key> [<handle>]": the waiter of the delayed
// hand-off (explorercommand/CommandHandOff.h). It holds the selection's slot
// (menu/PendingHandOff.h), inherited as <handle>, for ten seconds, then
// copies the newest selection file to the fixed copy and starts the main
// application with "-ad" through Explorer, and exits.
//
// "OrvaneShellExt.exe start <parameters>": a chosen subcommand's start of
// the main application with the rest of the command line as its parameters,
// through Explorer (menu/ExplorerStart.h) from this process, after the
// command's Invoke has returned.
#pragma once

int RunHandOffVerb(int nArgs, wchar_t** ppszArgs);
int RunStartVerb(int nArgs, wchar_t** ppszArgs);
