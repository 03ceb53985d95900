#include "ShellExt/settings/SwitchPolicy.h"

#include "ShellExt/settings/SwitchValue.h"

namespace {

const SwitchDefinition kSwitchDefinitions[] = {
#define ORVANE_SWITCH_KEY(kind, path)
#define ORVANE_SWITCH(name, def, max, user) {u"" #name, def, max, user != 0},
#include "ShellExt/settings/SwitchTable.inc"
#undef ORVANE_SWITCH
#undef ORVANE_SWITCH_KEY
};

static_assert(sizeof(kSwitchDefinitions) / sizeof(kSwitchDefinitions[0]) == kSwitchCount, "one line per switch");

}  // namespace

const SwitchDefinition& SwitchDefinitionOf(SwitchId id) noexcept
{
    return kSwitchDefinitions[static_cast<size_t>(id)];
}

bool IsPolicyValueAccepted(SwitchId id, const RawSwitchValue& raw) noexcept
{
    return raw.state == RawState::kNumber && raw.nNumber <= SwitchDefinitionOf(id).nMaximum;
}

EffectiveSwitch ResolveSwitch(SwitchId id, const RawSwitchValues& raw) noexcept
{
    const size_t nIndex = static_cast<size_t>(id);
    const SwitchDefinition& definition = SwitchDefinitionOf(id);
    if (IsPolicyValueAccepted(id, raw.machinePolicy[nIndex]))
        return {raw.machinePolicy[nIndex].nNumber, SwitchSource::kMachinePolicy};
    if (IsPolicyValueAccepted(id, raw.userPolicy[nIndex]))
        return {raw.userPolicy[nIndex].nNumber, SwitchSource::kUserPolicy};
    const RawSwitchValue& user = raw.userSwitch[nIndex];
    if (definition.bUserMaySet && user.state == RawState::kNumber)
        return {IsSwitchValueOn(user.nNumber) ? 1u : 0u, SwitchSource::kUserSwitch};
    return {definition.nDefault, SwitchSource::kDefault};
}
