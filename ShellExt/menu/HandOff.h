// The hand-off to the Orvane main application: the newest selection file of
// the process, its fixed per-user copy, the program start, and the timer that
// repeats the hand-off with "-ad" ten seconds after every right-click.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ShellExt/settings/SharedValues.h"

// The selection file written last in the process, by any object.
extern CSharedBuffer<MAX_PATH> g_szSelectionFile;

// Copies the newest selection file over "<AppData>\Kelvoss\Orvane\selectedfiles.dat".
void CopySelectionFile() noexcept;
// The same for a selection file the caller has just written and holds a copy
// of its name: another thread may write a newer one in between.
void CopySelectionFileFrom(const wchar_t* pszSelectionFile) noexcept;

// Starts g_szAppPath with the given parameters, without waiting for it and
// without any error UI.
void StartMainApplication(const wchar_t* pszParameters) noexcept;

// Starts one ten-second hand-off timer on the calling thread. While it is
// pending it holds a module lock: its callback is code of this DLL, and a
// host that unloaded the DLL in between would crash when the timer fires.
// The lock goes back when the timer fires, or when the thread ends first
// (the timer ends with it). hSlot, the pending hand-off slot of the
// right-click's selection nKey (PendingHandOff.h) or null, is taken over and
// held until the timer fires.
void StartHandOffTimer(uint64_t nKey = 0, HANDLE hSlot = nullptr) noexcept;

// Whether a timer of this process holds the slot of the selection nKey: a
// classic right-click of the same selection again, which gets its own timer
// as every right-click does, where a slot of the Explorer command's waiter
// means that right-click's hand-off is on its way already.
bool IsHandOffTimerPending(uint64_t nKey) noexcept;

void CALLBACK SelectionTimerProc(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
