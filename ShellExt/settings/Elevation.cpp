#include "ShellExt/settings/Elevation.h"

#include <windows.h>

#include "ShellExt/core/Handles.h"

namespace {

// A process's own token never changes its elevation: the first answer that
// could be read holds for the process's life. 0: not read yet, 1: not
// elevated, 2: elevated.
volatile LONG s_nElevation = 0;

// The token's answer; elevated when it cannot be read.
bool QueryElevation(bool& bRead) noexcept
{
    bRead = false;
    CKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()))
        return true;
    TOKEN_ELEVATION elevation = {};
    DWORD cbReturned = 0;
    if (!::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &cbReturned))
        return true;
    bRead = true;
    return elevation.TokenIsElevated != 0;
}

}  // namespace

bool IsProcessElevated() noexcept
{
    const LONG nKnown = ::InterlockedCompareExchange(&s_nElevation, 0, 0);
    if (nKnown != 0)
        return nKnown == 2;
    bool bRead = false;
    const bool bElevated = QueryElevation(bRead);
    // A query that failed is not remembered: the next call asks again.
    if (bRead)
        ::InterlockedExchange(&s_nElevation, bElevated ? 2 : 1);
    return bElevated;
}
