// Starting OrvaneShellExt.exe, the companion program beside this module,
// from a process that Explorer waits on or that Windows may end at any time
// (the Explorer command's surrogate): the companion does from its own
// process, after the caller has returned, what must not happen inside it.
#pragma once

#include <windows.h>

// Starts "<folder of this module>\OrvaneShellExt.exe <pszArguments>" without a
// window, out of the caller's job where the job allows it (a job that ends
// the surrogate's children must not end the companion), and returns at once.
// With hPassed, the companion inherits that handle (and no other) and finds
// its value as the last word of its command line. False when nothing was
// started.
bool StartCompanion(const wchar_t* pszArguments, HANDLE hPassed = nullptr) noexcept;
