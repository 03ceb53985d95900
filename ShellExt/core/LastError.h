#pragma once

#include <windows.h>

// The HRESULT of the calling thread's last error. A failing call that left no
// error code still has to be reported as a failure.
inline HRESULT LastErrorHr() noexcept
{
    const DWORD dwError = ::GetLastError();
    return dwError == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(dwError);
}
