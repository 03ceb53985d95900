// Fault injection for a loaded DLL, for tests only: the DLL's import address
// table entries of calls that can fail are pointed at stand-ins that count
// the calls made on one thread and fail exactly the chosen one, the way the
// real call fails (its failure result and the error code it sets). Every
// other call goes through unchanged. The DLL itself carries nothing for this.
//
// Calls reached through GetProcAddress (functions looked up at run time) are
// counted too: the stand-in of GetProcAddress hands out their stand-ins.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace ImportFaults {

// Points the failable imports of hModule at the stand-ins; returns how many
// entries were patched. Call it before the DLL's first call into the system
// that should be counted.
size_t PatchModule(HMODULE hModule);

// Starts counting the calls the patched modules make on this thread; with
// nFailAt > 0 the nFailAt-th of them fails. Names are recorded only while
// counting without a failure.
void Arm(unsigned nFailAt);
// Stops counting and returns the number of calls counted since Arm.
unsigned Disarm();

// The name of the n-th (1-based) call of the last counting run.
const char* RecordedCall(unsigned n);
// Where the n-th call came from: its offset into the patched module.
uintptr_t RecordedCaller(unsigned n);
// The call that was made to fail in the last run, or null if none was.
const char* FailedCall();

// How often a failing call found x18 not holding the thread's TEB and put it
// back (ARM64 under Debian's arm64 Wine only; see KeepPlatformRegister).
unsigned PlatformRegisterRestored();

// How many calls of a function the patched modules made that did not fail,
// on any thread, armed or not.
unsigned PassedThrough(const char* pszFunction);

// Replaces what a function does when it does not fail (for example, a
// program start that is only recorded). pfnInstead must have the function's
// signature. False when the function is not one of the failable imports.
bool ReplacePassThrough(const char* pszFunction, void* pfnInstead);

}  // namespace ImportFaults
