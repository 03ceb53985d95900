#include "tools/common/MessagePump.h"

void PumpPendingMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void PumpMessagesFor(DWORD dwMilliseconds)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        PumpPendingMessages();
        const DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwMilliseconds)
            return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, dwMilliseconds - dwElapsed, QS_ALLINPUT);
    }
}
