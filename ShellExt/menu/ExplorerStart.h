// Starting a program as itself, through Explorer.
//
// A program that the Explorer command starts from its surrogate, or that
// the waiter starts, would inherit what the starter carries: the sparse
// package's identity (its own taskbar group, AppData redirected into the
// package, and ended when the package is updated or removed). Explorer's own
// ShellExecute, reached through the desktop's shell view, starts it as if
// the user had opened it from the desktop. The classic handler runs inside
// Explorer already and keeps its direct start.
#pragma once

#include <windows.h>

// Asks the running Explorer to start pszFile with pszParameters. False when
// there is no Explorer desktop to ask (no shell running, another shell,
// Wine) or it refused; nothing has been started then. Needs COM initialised
// on the calling thread.
bool ShellExecuteThroughExplorer(const wchar_t* pszFile, const wchar_t* pszParameters) noexcept;

// StartMainApplication through Explorer where possible, directly otherwise;
// nothing at all for a program that does not exist. For the companion
// program only: never from a process that Explorer waits on.
void StartMainApplicationAsItself(const wchar_t* pszParameters) noexcept;
