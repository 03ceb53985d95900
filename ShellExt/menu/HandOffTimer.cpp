// The classic handler's hand-off timer, apart from the copy and the start
// so that programs without the module objects (OrvaneShellExt.exe) can use
// those.
#include "ShellExt/menu/HandOff.h"

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "ShellExt/module/Module.h"

namespace {

const UINT kHandOffDelayMs = 10000;
// A slot whose timer has not fired this long after it was due belongs to a
// thread that ended first (its timer with it): it is given back then.
const ULONGLONG kOverdueMs = 20000;

// The pending hand-off slots (PendingHandOff.h) of the process's timers, each
// held until its timer fires.
struct HeldSlot
{
    UINT_PTR idEvent;
    uint64_t nKey;
    HANDLE hSlot;  // null for a right-click whose slot another timer here holds
    ULONGLONG nDue;
};

class CHeldSlots
{
public:
    // Takes hSlot over: held until Release(idEvent), or closed now when it
    // cannot be kept.
    void Hold(UINT_PTR idEvent, uint64_t nKey, HANDLE hSlot) noexcept
    {
        const ULONGLONG nNow = ::GetTickCount64();
        ::AcquireSRWLockExclusive(&m_lock);
        CloseOverdue(nNow);
        try
        {
            m_vecSlots.push_back({idEvent, nKey, hSlot, nNow + kHandOffDelayMs});
            hSlot = nullptr;
        }
        catch (const std::bad_alloc&)
        {
        }
        ::ReleaseSRWLockExclusive(&m_lock);
        if (hSlot != nullptr)
            ::CloseHandle(hSlot);
    }

    void Release(UINT_PTR idEvent) noexcept
    {
        ::AcquireSRWLockExclusive(&m_lock);
        for (size_t i = 0; i < m_vecSlots.size(); ++i)
        {
            if (m_vecSlots[i].idEvent == idEvent)
            {
                if (m_vecSlots[i].hSlot != nullptr)
                    ::CloseHandle(m_vecSlots[i].hSlot);
                m_vecSlots.erase(m_vecSlots.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        ::ReleaseSRWLockExclusive(&m_lock);
    }

    bool IsHeld(uint64_t nKey) noexcept
    {
        ::AcquireSRWLockExclusive(&m_lock);
        bool bHeld = false;
        for (const HeldSlot& held : m_vecSlots)
            bHeld = bHeld || (held.nKey == nKey && held.hSlot != nullptr);
        ::ReleaseSRWLockExclusive(&m_lock);
        return bHeld;
    }

private:
    void CloseOverdue(ULONGLONG nNow) noexcept
    {
        for (size_t i = m_vecSlots.size(); i-- > 0;)
        {
            if (nNow > m_vecSlots[i].nDue + kOverdueMs)
            {
                if (m_vecSlots[i].hSlot != nullptr)
                    ::CloseHandle(m_vecSlots[i].hSlot);
                m_vecSlots.erase(m_vecSlots.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }

    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<HeldSlot> m_vecSlots;
};

CHeldSlots s_heldSlots;

}  // namespace

void StartHandOffTimer(uint64_t nKey, HANDLE hSlot) noexcept
{
    // The lock belongs to this thread: a thread that ends before its message
    // loop has run the timer takes the timer with it, and gives the lock back.
    AddThreadModuleLock();
    // A thread timer without a window: the system picks the identifier, and
    // the callback runs from this thread's message loop.
    const UINT_PTR idEvent = ::SetTimer(nullptr, 1, kHandOffDelayMs, SelectionTimerProc);
    if (idEvent == 0)
    {
        ReleaseThreadModuleLock();
        if (hSlot != nullptr)
            ::CloseHandle(hSlot);
        return;
    }
    s_heldSlots.Hold(idEvent, nKey, hSlot);
}

bool IsHandOffTimerPending(uint64_t nKey) noexcept
{
    return s_heldSlots.IsHeld(nKey);
}

void CALLBACK SelectionTimerProc(HWND /*hwnd*/, UINT /*uMsg*/, UINT_PTR idEvent, DWORD /*dwTime*/)
{
    ::KillTimer(nullptr, idEvent);
    CopySelectionFile();
    StartMainApplication(L"-ad");
    s_heldSlots.Release(idEvent);
    ReleaseThreadModuleLock();
}
