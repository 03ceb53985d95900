#include "ShellExt/settings/Switches.h"

#include <atomic>

#include "ShellExt/core/Handles.h"
#include "ShellExt/settings/Elevation.h"

const wchar_t kShellExtSwitchesKey[] = L"Software\\Kelvoss\\Orvane\\ShellExt";

namespace {

const uint64_t kTraceBit = 1;
const uint64_t kShowInClassicBit = 2;
const uint64_t kReadBit = 4;
const unsigned kTickShift = 3;

// The switches and the tick count of their reading in one word, so that a
// reader never sees one half of an update.
std::atomic<uint64_t> s_cachedSwitches{0};

bool IsSwitchOn(HKEY hKey, const wchar_t* pszName) noexcept
{
    DWORD dwValue = 0;
    DWORD dwType = 0;
    DWORD cbData = sizeof(dwValue);
    return ::RegQueryValueExW(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbData) ==
               ERROR_SUCCESS &&
           dwType == REG_DWORD && cbData == sizeof(dwValue) && dwValue == 1;
}

}  // namespace

ShellExtSwitches ReadShellExtSwitches() noexcept
{
    ShellExtSwitches switches;
    CRegKeyHandle key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellExtSwitchesKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.Receive()) != ERROR_SUCCESS)
        return switches;
    // An elevated process writes no trace: the per-user switch and the
    // per-user folder are both the user's to point elsewhere.
    switches.bTrace = IsSwitchOn(key.Get(), L"Trace") && !IsProcessElevated();
    switches.bShowCommandInClassicMenus = IsSwitchOn(key.Get(), L"ShowCommandInClassicMenus");
    return switches;
}

ShellExtSwitches CurrentShellExtSwitches() noexcept
{
    const ULONGLONG nNow = ::GetTickCount64();
    uint64_t nCached = s_cachedSwitches.load(std::memory_order_acquire);
    if (!(nCached & kReadBit) || nNow - (nCached >> kTickShift) >= kSwitchesReuseMs)
    {
        const ShellExtSwitches read = ReadShellExtSwitches();
        nCached = (static_cast<uint64_t>(nNow) << kTickShift) | kReadBit | (read.bTrace ? kTraceBit : 0) |
                  (read.bShowCommandInClassicMenus ? kShowInClassicBit : 0);
        s_cachedSwitches.store(nCached, std::memory_order_release);
    }
    ShellExtSwitches switches;
    switches.bTrace = (nCached & kTraceBit) != 0;
    switches.bShowCommandInClassicMenus = (nCached & kShowInClassicBit) != 0;
    return switches;
}

void ForgetShellExtSwitches() noexcept
{
    s_cachedSwitches.store(0, std::memory_order_release);
}
