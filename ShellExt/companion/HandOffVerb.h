// "OrvaneShellExt.exe handoff <key>": the waiter of the Explorer command's
// delayed hand-off (explorercommand/CommandHandOff.h). It holds the
// selection's slot (menu/PendingHandOff.h) for ten seconds, then copies the
// slot's selection file to the fixed copy and starts the main application
// with "-ad" through Explorer, and exits. A second waiter of the same slot
// does nothing.
#pragma once

int RunHandOffVerb(int nArgs, wchar_t** ppszArgs);
