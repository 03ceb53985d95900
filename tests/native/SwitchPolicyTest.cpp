// The switches' policies and what HiddenMenuItems leaves of the menu.
#include <gtest/gtest.h>

#include <string>

#include "ShellExt/companion/StatusFindings.h"
#include "ShellExt/menu/MenuRows.h"
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
        {"user policy forces a user switch off", SwitchId::kShowCommandInClassicMenus, kAbsent, Dword(0), Dword(1), 0,
         SwitchSource::kUserPolicy},
        {"policy forces it on", SwitchId::kShowCommandInClassicMenus, Dword(1), kAbsent, Dword(0), 1,
         SwitchSource::kMachinePolicy},
        {"machine of the wrong type falls to the user policy", SwitchId::kTrace, kWrongType, Dword(1), kAbsent, 1,
         SwitchSource::kUserPolicy},
        {"out of range falls to the user switch", SwitchId::kTrace, Dword(2), Dword(7), Dword(1), 1,
         SwitchSource::kUserSwitch},
        {"user switch other than 1 is off", SwitchId::kTrace, kAbsent, kAbsent, Dword(5), 0, SwitchSource::kUserSwitch},
        {"user switch of the wrong type: default", SwitchId::kTrace, kAbsent, kAbsent, kWrongType, 0,
         SwitchSource::kDefault},
        {"no user switch for the Windows 11 command", SwitchId::kShowWindows11Command, kAbsent, kAbsent, Dword(0), 1,
         SwitchSource::kDefault},
        {"no user switch for hidden items", SwitchId::kHiddenMenuItems, kAbsent, kAbsent, Dword(3), 0,
         SwitchSource::kDefault},
        {"largest mask", SwitchId::kHiddenMenuItems, Dword(0x3FF), kAbsent, kAbsent, 0x3FF,
         SwitchSource::kMachinePolicy},
        {"mask beyond the items", SwitchId::kHiddenMenuItems, Dword(0x400), Dword(0x21), kAbsent, 0x21,
         SwitchSource::kUserPolicy},
    };
    for (const auto& c : cases)
    {
        RawSwitchValues raw;
        const size_t i = static_cast<size_t>(c.id);
        raw.machinePolicy[i] = c.machine;
        raw.userPolicy[i] = c.user;
        raw.userSwitch[i] = c.userSwitch;
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

// The plain menu's rows as the front ends show them: "M" an item, "-" a
// separator, "." a row left out; the offsets of what shows never move.
std::string Shown(uint32_t nHidden)
{
    std::string str;
    for (MenuRowSpan rows : {CommonMenuRows(), TailMenuRows(false)})
    {
        for (size_t i = 0; i < rows.nCount; ++i)
        {
            const bool bSeparator = rows.pRows[i].nType == kSeparatorRow;
            str += !IsMenuRowShown(rows, i, nHidden) ? '.' : bSeparator ? '-' : char('0' + rows.pRows[i].nOffset % 10);
        }
    }
    return str;
}

TEST(HiddenMenuItems, ItemsGoSeparatorsStaySensible)
{
    const struct
    {
        uint32_t nHidden;
        const char* pszShown;
    } cases[] = {
        {0, "012345-6789-01"},
        {0x009, ".12.45-6789-01"},
        {0x03F, ".......6789-01"},
        {0x3C0, "012345-.....01"},
        {0x3FF, "............01"},
        {0xFFFFFC00, "012345-6789-01"},  // bits beyond the items hide nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.pszShown, Shown(c.nHidden)) << std::hex << c.nHidden;
}

}  // namespace
