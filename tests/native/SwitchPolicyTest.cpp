// The switches' policies: which value wins, and what status says of it.
#include <gtest/gtest.h>

#include <string>

#include "ShellExt/companion/StatusFindings.h"
#include "ShellExt/settings/SwitchPolicy.h"

namespace {

const RawSwitchValue kAbsent{};
RawSwitchValue Dword(uint32_t n) { return {RawState::kNumber, n}; }
const RawSwitchValue kWrongType{RawState::kWrongType, 0};

TEST(SwitchPolicy, MachineThenUserPolicyThenUserSwitchThenDefault)
{
    const struct
    {
        const char* pszCase;
        SwitchId id;
        RawSwitchValue machine, user, userSwitch;
        uint32_t nValue;
        SwitchSource source;
    } cases[] = {
        {"nothing set", SwitchId::kShowWindows11Command, kAbsent, kAbsent, kAbsent, 1, SwitchSource::kDefault},
        {"machine wins over user", SwitchId::kTrace, Dword(0), Dword(1), Dword(1), 0, SwitchSource::kMachinePolicy},
        {"policy forces it on", SwitchId::kShowCommandInClassicMenus, Dword(1), kAbsent, Dword(0), 1,
         SwitchSource::kMachinePolicy},
        {"machine of the wrong type falls to the user policy", SwitchId::kTrace, kWrongType, Dword(1), kAbsent, 1,
         SwitchSource::kUserPolicy},
        {"out of range falls to the user switch", SwitchId::kTrace, Dword(2), Dword(7), Dword(1), 1,
         SwitchSource::kUserSwitch},
        {"user switch other than 1 is off", SwitchId::kTrace, kAbsent, kAbsent, Dword(5), 0, SwitchSource::kUserSwitch},
        {"user switch of the wrong type: default", SwitchId::kTrace, kAbsent, kAbsent, kWrongType, 0,
         SwitchSource::kDefault},
        {"no user switch for hidden items", SwitchId::kHiddenMenuItems, kAbsent, kAbsent, Dword(3), 0,
         SwitchSource::kDefault},
        {"mask beyond the items", SwitchId::kHiddenMenuItems, Dword(0x400), Dword(0x21), kAbsent, 0x21,
         SwitchSource::kUserPolicy},
    };
    for (const auto& c : cases)
    {
        RawSwitchValues raw;
        raw.machinePolicy[size_t(c.id)] = c.machine, raw.userPolicy[size_t(c.id)] = c.user;
        raw.userSwitch[size_t(c.id)] = c.userSwitch;
        const EffectiveSwitch effective = ResolveSwitch(c.id, raw);
        EXPECT_EQ(c.nValue, effective.nValue) << c.pszCase;
        EXPECT_EQ(c.source, effective.source) << c.pszCase;
    }
}

TEST(SwitchPolicy, StatusNamesEachValueItsSourceAndWhatIsIgnored)
{
    StatusRecord record;
    record.switches.machinePolicy[size_t(SwitchId::kTrace)] = Dword(0);
    record.switches.userSwitch[size_t(SwitchId::kTrace)] = Dword(1);
    record.switches.userPolicy[size_t(SwitchId::kHiddenMenuItems)] = Dword(0x208);
    record.switches.machinePolicy[size_t(SwitchId::kShowWindows11Command)] = kWrongType;
    const std::u16string strText = FormatStatusText(JudgeStatus(record));
    for (const char16_t* pszLine : {u"[switch] Trace = 0 (machine policy)",
                                    u"[switch] HiddenMenuItems = 520: hides Done Work, Gray (user policy)",
                                    u"[switch] ShowWindows11Command = 1 (default)",
                                    u"[switch] ShowCommandInClassicMenus = 0 (default)",
                                    u"[policy-ignored] HKLM\\Software\\Policies\\Kelvoss\\Orvane\\ShellExt, "
                                    u"ShowWindows11Command is not a REG_DWORD"})
        EXPECT_NE(std::u16string::npos, strText.find(pszLine)) << std::string(pszLine, pszLine + 40);
}

}  // namespace
