#include "ShellExt/settings/Switches.h"

#include <atomic>

#include "ShellExt/core/Handles.h"
#include "ShellExt/settings/Elevation.h"

#define ORVANE_SWITCH(name, def, max, user)
#define ORVANE_SWITCH_KEY(kind, path) const wchar_t kShellExt##kind##Key[] = L"" path;
#include "ShellExt/settings/SwitchTable.inc"
#undef ORVANE_SWITCH
#undef ORVANE_SWITCH_KEY

namespace {

// The packed word: the switches and the tick count of their reading in one,
// so that a reader never sees one half of an update.
const uint64_t kTraceBit = 1;
const uint64_t kShowInClassicBit = 2;
const uint64_t kReadBit = 4;
const uint64_t kShowWindows11Bit = 8;
const unsigned kHiddenShift = 4;
const uint64_t kHiddenMask = 0x3FF;
const unsigned kTickShift = 14;

std::atomic<uint64_t> s_cachedSwitches{0};

RawSwitchValue ReadDword(HKEY hKey, const char16_t* pszName) noexcept
{
    RawSwitchValue raw;
    DWORD dwValue = 0;
    DWORD cbData = sizeof(dwValue);
    const LSTATUS nStatus = ::RegGetValueW(hKey, nullptr, reinterpret_cast<const wchar_t*>(pszName),
                                           RRF_RT_REG_DWORD, nullptr, &dwValue, &cbData);
    if (nStatus == ERROR_SUCCESS)
    {
        raw.state = RawState::kNumber;
        raw.nNumber = dwValue;
    }
    else if (nStatus == ERROR_UNSUPPORTED_TYPE || nStatus == ERROR_MORE_DATA)
    {
        raw.state = RawState::kWrongType;
    }
    return raw;
}

// Every switch of one place; a key that cannot be opened holds nothing.
void ReadPlace(HKEY hRoot, const wchar_t* pszKey, RawSwitchValue (&values)[kSwitchCount]) noexcept
{
    CRegKeyHandle key;
    if (::RegOpenKeyExW(hRoot, pszKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
        return;
    for (size_t i = 0; i < kSwitchCount; ++i)
        values[i] = ReadDword(key.Get(), SwitchDefinitionOf(static_cast<SwitchId>(i)).pszName);
}

uint64_t Pack(const ShellExtSwitches& switches, ULONGLONG nTick) noexcept
{
    return (static_cast<uint64_t>(nTick) << kTickShift) | kReadBit | (switches.bTrace ? kTraceBit : 0) |
           (switches.bShowCommandInClassicMenus ? kShowInClassicBit : 0) |
           (switches.bShowWindows11Command ? kShowWindows11Bit : 0) |
           ((switches.nHiddenMenuItems & kHiddenMask) << kHiddenShift);
}

ShellExtSwitches Unpack(uint64_t nPacked) noexcept
{
    ShellExtSwitches switches;
    switches.bTrace = (nPacked & kTraceBit) != 0;
    switches.bShowCommandInClassicMenus = (nPacked & kShowInClassicBit) != 0;
    switches.bShowWindows11Command = (nPacked & kShowWindows11Bit) != 0;
    switches.nHiddenMenuItems = static_cast<uint32_t>((nPacked >> kHiddenShift) & kHiddenMask);
    return switches;
}

}  // namespace

RawSwitchValues ReadRawSwitchValues() noexcept
{
    RawSwitchValues raw;
    ReadPlace(HKEY_LOCAL_MACHINE, kShellExtPolicyKey, raw.machinePolicy);
    ReadPlace(HKEY_CURRENT_USER, kShellExtPolicyKey, raw.userPolicy);
    ReadPlace(HKEY_CURRENT_USER, kShellExtSwitchesKey, raw.userSwitch);
    return raw;
}

ShellExtSwitches ReadShellExtSwitches() noexcept
{
    const RawSwitchValues raw = ReadRawSwitchValues();
    ShellExtSwitches switches;
    // An elevated process writes no trace: the user's switch and the
    // user's folder are both the user's to point elsewhere.
    switches.bTrace = ResolveSwitch(SwitchId::kTrace, raw).nValue != 0 && !IsProcessElevated();
    switches.bShowCommandInClassicMenus = ResolveSwitch(SwitchId::kShowCommandInClassicMenus, raw).nValue != 0;
    switches.bShowWindows11Command = ResolveSwitch(SwitchId::kShowWindows11Command, raw).nValue != 0;
    switches.nHiddenMenuItems = ResolveSwitch(SwitchId::kHiddenMenuItems, raw).nValue;
    return switches;
}

ShellExtSwitches CurrentShellExtSwitches() noexcept
{
    const ULONGLONG nNow = ::GetTickCount64();
    uint64_t nCached = s_cachedSwitches.load(std::memory_order_acquire);
    if (!(nCached & kReadBit) || nNow - (nCached >> kTickShift) >= kSwitchesReuseMs)
    {
        nCached = Pack(ReadShellExtSwitches(), nNow);
        s_cachedSwitches.store(nCached, std::memory_order_release);
    }
    return Unpack(nCached);
}

void ForgetShellExtSwitches() noexcept
{
    s_cachedSwitches.store(0, std::memory_order_release);
}
