#include "ShellExt/explorercommand/CommandHandOff.h"

#include <windows.h>
#include <objbase.h>

#include <utility>

#include "ShellExt/core/Handles.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/module/Module.h"

namespace {

const LONGLONG kHandOffDelay100ns = 10LL * 1000 * 1000 * 10;

struct ThreadpoolTimerTraits
{
    using HandleType = PTP_TIMER;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::CloseThreadpoolTimer(h); }
};
using CThreadpoolTimerHandle = CUniqueHandle<ThreadpoolTimerTraits>;

// COM for the length of one callback: thread-pool threads must leave as
// they came.
class CCallbackApartment
{
public:
    CCallbackApartment() noexcept : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CCallbackApartment()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CCallbackApartment(const CCallbackApartment&) = delete;
    CCallbackApartment& operator=(const CCallbackApartment&) = delete;

private:
    HRESULT m_hr;
};

void CALLBACK HandOffTimerFired(PTP_CALLBACK_INSTANCE pInstance, PVOID pContext, PTP_TIMER pTimer)
{
    {
        CCallbackApartment apartment;
        CopySelectionFile();
        StartMainApplication(L"-ad");
    }
    // Closing a timer inside its own callback frees it once the callback
    // has returned.
    ::CloseThreadpoolTimer(pTimer);
    g_pModule->ReleaseModuleLock();
    ::FreeLibraryWhenCallbackReturns(pInstance, static_cast<HMODULE>(pContext));
}

}  // namespace

bool StartPooledHandOff() noexcept
{
    HMODULE hSelf = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&HandOffTimerFired), &hSelf))
        return false;
    CLibraryHandle self(hSelf);
    CThreadpoolTimerHandle timer(::CreateThreadpoolTimer(HandOffTimerFired, hSelf, nullptr));
    if (!timer)
        return false;

    // From here on the callback owns the timer, the loader reference and
    // the lock; all three are handed over before the timer can fire.
    g_pModule->AddModuleLock();
    self.Detach();
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-kHandOffDelay100ns);  // negative: relative to now
    FILETIME ftDue = {due.LowPart, due.HighPart};
    ::SetThreadpoolTimer(timer.Detach(), &ftDue, 0, 0);
    return true;
}
