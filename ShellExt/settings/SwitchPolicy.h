// How the value of each switch is decided, without any Windows dependency:
// a machine policy, else a user policy, else the user's own switch (where the
// user may set one), else the default. A policy value of the wrong type or
// beyond its largest value is ignored, as if it were not there.
#pragma once

#include <cstddef>
#include <cstdint>

enum class SwitchId : uint8_t
{
#define ORVANE_SWITCH_KEY(kind, path)
#define ORVANE_SWITCH(name, def, max, user) k##name,
#include "ShellExt/settings/SwitchTable.inc"
#undef ORVANE_SWITCH
#undef ORVANE_SWITCH_KEY
};

#define ORVANE_SWITCH_KEY(kind, path)
#define ORVANE_SWITCH(name, def, max, user) +1
constexpr size_t kSwitchCount = 0
#include "ShellExt/settings/SwitchTable.inc"
    ;
#undef ORVANE_SWITCH
#undef ORVANE_SWITCH_KEY

#define ORVANE_SWITCH(name, def, max, user)
#define ORVANE_SWITCH_KEY(kind, path) constexpr char16_t k##kind##KeyText[] = u"" path;
#include "ShellExt/settings/SwitchTable.inc"
#undef ORVANE_SWITCH
#undef ORVANE_SWITCH_KEY

struct SwitchDefinition
{
    const char16_t* pszName;
    uint32_t nDefault;
    uint32_t nMaximum;
    bool bUserMaySet;
};

// The table's line of one switch.
const SwitchDefinition& SwitchDefinitionOf(SwitchId id) noexcept;

// Where a value was read, and where an effective value came from.
enum class SwitchSource : uint8_t
{
    kDefault,
    kUserSwitch,
    kUserPolicy,
    kMachinePolicy,
};

// One registry value as read, before it is judged.
enum class RawState : uint8_t
{
    kAbsent,      // no key, no value, or a key that could not be opened
    kNumber,      // a REG_DWORD, in nNumber
    kWrongType,   // any other type
};

struct RawSwitchValue
{
    RawState state = RawState::kAbsent;
    uint32_t nNumber = 0;
};

// Everything the three places hold, per switch (SwitchId order).
struct RawSwitchValues
{
    RawSwitchValue machinePolicy[kSwitchCount];
    RawSwitchValue userPolicy[kSwitchCount];
    RawSwitchValue userSwitch[kSwitchCount];
};

struct EffectiveSwitch
{
    uint32_t nValue = 0;
    SwitchSource source = SwitchSource::kDefault;
};

// Whether a policy value counts; a value that does not is reported by status.
bool IsPolicyValueAccepted(SwitchId id, const RawSwitchValue& raw) noexcept;

// The value one switch takes and where it came from. A user switch is on
// only as a REG_DWORD 1; any other REG_DWORD turns it off.
EffectiveSwitch ResolveSwitch(SwitchId id, const RawSwitchValues& raw) noexcept;
