// Entry points that not every Windows release has (or that no import
// library offers) are found by name at run time.
#pragma once

#include <windows.h>

// The function pszName of hModule typed as Function, or null when the
// module or the function is missing. The cast goes through a generic
// function pointer so that the compiler accepts the change of signature.
template <class Function>
Function FindSystemFunction(HMODULE hModule, const char* pszName) noexcept
{
    if (hModule == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(hModule, pszName)));
}

// The same in a module this process has already loaded.
template <class Function>
Function FindSystemFunction(const wchar_t* pszModule, const char* pszName) noexcept
{
    return FindSystemFunction<Function>(::GetModuleHandleW(pszModule), pszName);
}

// The version Windows really is: RtlGetVersion answers whatever the
// program's manifest declares, unlike GetVersionEx. False if it cannot tell.
inline bool ReadTrueWindowsVersion(OSVERSIONINFOW& info) noexcept
{
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto pfnRtlGetVersion = FindSystemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    return pfnRtlGetVersion != nullptr && pfnRtlGetVersion(&info) == 0;
}
