#include "ShellExt/companion/RepairPlan.h"

#include <algorithm>

namespace {

using Text = std::u16string;

const char16_t kBlockedKey[] = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Blocked";

bool SameText(const Text& a, const Text& b) noexcept
{
    auto lower = [](char16_t ch) { return (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch + 32) : ch; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

RegistryView NativeView(const StatusRecord& record) noexcept
{
    return record.bWindows64 ? RegistryView::k64 : RegistryView::k32;
}

const ClassRegistration* EntryOf(const StatusRecord& record, RegistryScope scope)
{
    for (const ClassRegistration& entry : record.vecClasses)
    {
        if (entry.scope == scope && entry.view == NativeView(record) && entry.classKey != KeyState::kAbsent)
            return &entry;
    }
    return nullptr;
}

bool NamesOwnDll(const StatusRecord& record, const ClassRegistration* pEntry)
{
    return pEntry != nullptr && pEntry->server.state == ValueState::kText &&
           SameText(pEntry->server.strText, record.strOwnDll);
}

bool IsOurHandler(const StatusRecord& record, const RegValue& value)
{
    return value.state == ValueState::kText && SameText(value.strText, record.strClassId);
}

bool NeedsUserServer(const StatusRecord& record)
{
    if (!IsPerUserInstallation(record))
        return false;
    const ClassRegistration* pUser = EntryOf(record, RegistryScope::kUser);
    return !NamesOwnDll(record, pUser) || pUser->file.state != PathState::kFile;
}

// HKCU's entry hides HKLM's: the user's scope mends a missing or foreign one.
bool NeedsUserMenuHandler(const StatusRecord& record)
{
    const ClassRegistration* pUser = EntryOf(record, RegistryScope::kUser);
    const ClassRegistration* pMachine = EntryOf(record, RegistryScope::kMachine);
    if (pUser == nullptr && pMachine == nullptr)
        return false;  // nothing registered to point at
    const RegValue* pUserValue = nullptr;
    const RegValue* pMachineValue = nullptr;
    for (const ClassRegistration& entry : record.vecClasses)
    {
        if (entry.view != NativeView(record))
            continue;
        (entry.scope == RegistryScope::kUser ? pUserValue : pMachineValue) = &entry.menuHandler;
    }
    if (pUserValue != nullptr && pUserValue->state != ValueState::kAbsent)
        return !IsOurHandler(record, *pUserValue);
    return pMachineValue == nullptr || !IsOurHandler(record, *pMachineValue);
}

bool NeedsPackage(const StatusRecord& record)
{
    if (!record.bPackageChecked || record.packageRepository == KeyState::kUnreadable || !record.bPackageBeside)
        return false;
    if (record.vecPackages.empty())
        return true;
    return std::any_of(record.vecPackages.begin(), record.vecPackages.end(), [](const PackageRegistration& p) {
        return p.folder.state != ValueState::kText || p.commandDll.state != PathState::kFile;
    });
}

void AddLeft(RepairPlan& plan, Text strText, Text strCommand)
{
    plan.vecLeftToAdministrator.push_back(
        Finding{Severity::kNote, u"repair-left", std::move(strText), u"An administrator runs: " + strCommand});
}

void PlanAdministratorSteps(const StatusRecord& record, RepairPlan& plan)
{
    for (const ListPlace& place : record.vecBlocked)
    {
        if (place.listed != KeyState::kPresent)
            continue;
        const Text strKey = Text(place.scope == RegistryScope::kMachine ? u"HKLM" : u"HKCU") + kBlockedKey;
        AddLeft(plan, strKey + u" lists the classic handler (a list an administrator keeps).",
                u"reg delete \"" + strKey + u"\" /v " + record.strClassId + u" /reg:" +
                    (place.view == RegistryView::k64 ? u"64" : u"32") + u" /f");
    }
    // Not this user's installation, and its files or machine-wide keys gone.
    const ClassRegistration* pMachine = EntryOf(record, RegistryScope::kMachine);
    if (!IsPerUserInstallation(record) && (pMachine == nullptr || pMachine->file.state != PathState::kFile))
        AddLeft(plan, u"The installation for every user is incomplete: " + record.strOwnDll + u" or its "
                u"machine-wide registration is missing.",
                u"msiexec /fa on the MSI, or Installed apps > Orvane Shell Extension > Modify > Repair "
                u"(a zip installation: install.cmd from an elevated prompt)");
    for (SwitchId id : {SwitchId::kShowWindows11Command, SwitchId::kHiddenMenuItems})
    {
        const EffectiveSwitch effective = ResolveSwitch(id, record.switches);
        const bool bPolicy =
            effective.source == SwitchSource::kMachinePolicy || effective.source == SwitchSource::kUserPolicy;
        if (bPolicy && effective.nValue != SwitchDefinitionOf(id).nDefault)
            AddLeft(plan,
                    Text(u"A policy sets ") + SwitchDefinitionOf(id).pszName + u": it is meant to be so.",
                    u"gpedit.msc, Administrative Templates > Orvane shell extension (or reg delete \"" +
                        (effective.source == SwitchSource::kMachinePolicy ? Text(u"HKLM\\") : Text(u"HKCU\\")) +
                        kPolicyKeyText + u"\" /v " + SwitchDefinitionOf(id).pszName + u" /f)");
    }
}

}  // namespace

const char16_t kRepairMends[] = u" Or run \"<install folder>\\OrvaneShellExt.exe\" repair, which mends this.";

bool IsPerUserInstallation(const StatusRecord& record)
{
    return record.ownDll.state == PathState::kFile && !NamesOwnDll(record, EntryOf(record, RegistryScope::kMachine));
}

RepairPlan PlanRepair(const StatusRecord& record)
{
    RepairPlan plan;
    plan.bRegisterUserServer = NeedsUserServer(record);
    plan.bWriteUserMenuHandler = NeedsUserMenuHandler(record);
    plan.bRegisterPackage = NeedsPackage(record);
    PlanAdministratorSteps(record, plan);
    return plan;
}
