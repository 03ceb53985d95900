// The classic handler's hand-off timer, apart from the copy and the start
// so that programs without the module objects (OrvaneShellExt.exe) can use
// those.
#include "ShellExt/menu/HandOff.h"

#include "ShellExt/module/Module.h"

namespace {

const UINT kHandOffDelayMs = 10000;

}  // namespace

void StartHandOffTimer() noexcept
{
    // The lock belongs to this thread: a thread that ends before its message
    // loop has run the timer takes the timer with it, and gives the lock back.
    AddThreadModuleLock();
    // A thread timer without a window: the system picks the identifier, and
    // the callback runs from this thread's message loop.
    if (::SetTimer(nullptr, 1, kHandOffDelayMs, SelectionTimerProc) == 0)
        ReleaseThreadModuleLock();
}

void CALLBACK SelectionTimerProc(HWND /*hwnd*/, UINT /*uMsg*/, UINT_PTR idEvent, DWORD /*dwTime*/)
{
    ::KillTimer(nullptr, idEvent);
    CopySelectionFile();
    StartMainApplication(L"-ad");
    ReleaseThreadModuleLock();
}
