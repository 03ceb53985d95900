// The delayed hand-off of the Explorer command.
//
// The classic menu starts the main application with "-ad" ten seconds after
// every right-click, from a thread timer of the thread that initialised it.
// The command keeps that contract without a window or message loop of its
// own (it may run in a COM surrogate whose threads pump nothing):
//
// - When: the first state request of a top-level command object that comes
//   with a selection of one or more items. Explorer makes a new top-level
//   command for every opening of the menu and asks its state before showing
//   it, so this is once per opening; later state requests of the same
//   object (Explorer asks again, e.g. with fOkToBeSlow) start nothing.
// - How: a one-shot thread-pool timer due after 10 s. Its callback copies the
//   newest selection file of the process to the fixed copy and starts the
//   main application with "-ad", exactly as the classic timer does, with COM
//   initialised for the start and uninitialised again before it returns.
// - Lifetime: from the start until the callback has run, the hand-off holds
//   a module lock (DllCanUnloadNow answers S_FALSE) and a loader reference of
//   its own to the DLL. The callback gives the lock back and leaves the
//   loader reference to FreeLibraryWhenCallbackReturns, so the DLL cannot be
//   unloaded under the callback's last instructions even when a host frees
//   it the moment the lock count reaches zero. Releasing the command object
//   neither cancels nor delays the hand-off.
// - Failure: when no timer can be made, nothing is pending and no lock is
//   held; the menu works all the same.
#pragma once

// Starts one hand-off; false when no timer could be made.
bool StartPooledHandOff() noexcept;
