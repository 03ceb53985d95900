#include "ShellExt/settings/Elevation.h"

#include <windows.h>

#include "ShellExt/core/Handles.h"

bool IsProcessElevated() noexcept
{
    CKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()))
        return true;
    TOKEN_ELEVATION elevation = {};
    DWORD cbReturned = 0;
    if (!::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &cbReturned))
        return true;
    return elevation.TokenIsElevated != 0;
}
