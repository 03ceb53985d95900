// The message loop of a host's thread. The extension's hand-off timers are
// thread timers: they fire only while the thread that set them pumps.
#pragma once

#include <windows.h>

// Runs whatever the thread's queue holds, and returns.
void PumpPendingMessages();
// Pumps for the given time.
void PumpMessagesFor(DWORD dwMilliseconds);
