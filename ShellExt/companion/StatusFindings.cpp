#include "ShellExt/companion/StatusFindings.h"

#include <algorithm>

#include "ShellExt/companion/CompanionIds.h"
#include "ShellExt/companion/RepairPlan.h"
#include "ShellExt/companion/UserRegistrationPolicy.h"
#include "ShellExt/core/AsciiCase.h"
#include "ShellExt/menu/MenuRows.h"

namespace {

using Text = std::u16string;
using TextView = std::u16string_view;

const char16_t kClassesOfMachine[] = u"HKLM\\Software\\Classes";
const char16_t kClassesOfUser[] = u"HKCU\\Software\\Classes";
const char16_t kMenuHandlerKey[] = u"*\\shellex\\ContextMenuHandlers\\Orvane";
const char16_t kShellExtensionsKey[] = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\";
const char16_t kTweakKey[] = u"HKCU\\Software\\Classes\\CLSID\\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}";
const char16_t kProductKeyText[] = u"\\Software\\Kelvoss\\Orvane";
const char16_t kRestartExplorer[] = u", then restart Explorer (or sign out and in)";
const char16_t kReinstall[] = u"Run install.cmd (every user) or install-user.cmd (this user) from the install folder";

Text Decimal(uint32_t n)
{
    char16_t sz[16];
    size_t i = sizeof(sz) / sizeof(sz[0]);
    do
    {
        sz[--i] = static_cast<char16_t>(u'0' + n % 10);
        n /= 10;
    } while (n != 0 && i > 0);
    return Text(sz + i, sizeof(sz) / sizeof(sz[0]) - i);
}

Text Hex(uint32_t n)
{
    return HexText(n);
}

TextView HiveOf(RegistryScope scope) noexcept
{
    return scope == RegistryScope::kMachine ? u"HKLM" : u"HKCU";
}

TextView ClassesOf(RegistryScope scope) noexcept
{
    return scope == RegistryScope::kMachine ? kClassesOfMachine : kClassesOfUser;
}

TextView BitsOf(RegistryView view) noexcept
{
    return view == RegistryView::k64 ? u"64" : u"32";
}

TextView MachineName(uint16_t nMachine) noexcept
{
    switch (nMachine)
    {
    case kMachineI386: return u"32-bit x86";
    case kMachineAmd64: return u"64-bit x64";
    case kMachineArm64: return u"64-bit ARM64";
    default: return u"unknown machine";
    }
}

TextView RegistryTypeName(uint32_t nType) noexcept
{
    switch (nType)
    {
    case 0: return u"REG_NONE";
    case 1: return u"REG_SZ";
    case 2: return u"REG_EXPAND_SZ";
    case 3: return u"REG_BINARY";
    case 4: return u"REG_DWORD";
    case 7: return u"REG_MULTI_SZ";
    case 11: return u"REG_QWORD";
    default: return u"an unusual type";
    }
}

// "holds REG_DWORD, not text", "is too long", ... for a value that is not
// what its reader wants; empty for a usable or absent value.
Text ValueTrouble(const RegValue& value, TextView strWanted = u"text")
{
    switch (value.state)
    {
    case ValueState::kWrongType:
        return Text(u"holds ") + Text(RegistryTypeName(value.nType)) + u", not " + Text(strWanted);
    case ValueState::kTooLong: return u"is longer than the reader's buffer";
    case ValueState::kUnreadable: return u"cannot be read (error " + Decimal(value.nError) + u")";
    default: return Text();
    }
}

Text PathTrouble(const FileFacts& file, TextView strWanted)
{
    switch (file.state)
    {
    case PathState::kMissing: return u"does not exist";
    case PathState::kTooLong: return u"is MAX_PATH (260) characters or longer";
    case PathState::kUnreadable: return u"cannot be read (error " + Decimal(file.nError) + u")";
    case PathState::kDirectory: return strWanted == u"file" ? u"is a folder, not a file" : Text();
    case PathState::kFile: return strWanted == u"folder" ? u"is a file, not a folder" : Text();
    default: return Text();
    }
}

// ", version 2.2.0.0", or nothing for a file without a version resource.
Text VersionSuffix(const FileFacts& file)
{
    if (!file.bHasVersion)
        return Text();
    return u", version " + Decimal(file.nVersion[0]) + u"." + Decimal(file.nVersion[1]) + u"." +
           Decimal(file.nVersion[2]) + u"." + Decimal(file.nVersion[3]);
}

Text Quoted(TextView str)
{
    return u"\"" + Text(str) + u"\"";
}

// The rights that let a holder change a file or folder, replace or remove
// it, or give itself more: write data, append or add a folder, write
// extended attributes, delete, delete a child, write the access list or the
// owner, and the generic and "all the holder may" forms.
const uint32_t kChangeRights = 0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 | 0x00010000 | 0x00040000 |
                               0x00080000 | 0x02000000 | 0x10000000 | 0x40000000;

// SYSTEM, Administrators, TrustedInstaller and CREATOR OWNER (which stands
// for whoever made a child, and is not a holder itself).
bool IsAdministrativeSid(TextView strSid) noexcept
{
    for (TextView strTrusted : {u"S-1-5-18", u"S-1-5-32-544",
                                u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", u"S-1-3-0"})
        if (EqualsAsciiNoCase(strSid, strTrusted))
            return true;
    return false;
}

// The holder as a person reads it: the well-known groups by name.
Text HolderName(TextView strSid)
{
    static const struct { const char16_t* pszSid; const char16_t* pszName; } kNames[] = {
        {u"S-1-1-0", u"Everyone"},           {u"S-1-5-11", u"Authenticated Users"},
        {u"S-1-5-32-545", u"Users"},         {u"S-1-5-4", u"INTERACTIVE"},
        {u"S-1-15-2-1", u"All Application Packages"},
    };
    for (const auto& name : kNames)
        if (EqualsAsciiNoCase(strSid, name.pszSid))
            return Text(name.pszName) + u" (" + Text(strSid) + u")";
    return Text(strSid);
}

TextView SourceName(SwitchSource source) noexcept
{
    switch (source)
    {
    case SwitchSource::kMachinePolicy: return u"machine policy";
    case SwitchSource::kUserPolicy: return u"user policy";
    case SwitchSource::kUserSwitch: return u"user switch";
    default: return u"default";
    }
}

// A switch's value as a person reads it: the hidden items by name.
Text SwitchValueText(SwitchId id, uint32_t nValue)
{
    if (id != SwitchId::kHiddenMenuItems)
        return Decimal(nValue);
    Text str = Decimal(nValue);
    const MenuRowSpan rows = CommonMenuRows();
    TextView strSeparator = u": hides ";
    for (size_t i = 0; i < rows.nCount; ++i)
    {
        if (rows.pRows[i].nType != kSeparatorRow && !IsMenuRowShown(rows, i, nValue))
        {
            str += Text(strSeparator) + rows.pRows[i].pszFallback;
            strSeparator = u", ";
        }
    }
    return str;
}

class CJudge
{
public:
    explicit CJudge(const StatusRecord& record) : m_record(record), m_plan(PlanRepair(record)) {}

    std::vector<Finding> Run()
    {
        JudgeWindows();
        JudgeClassEntries();
        JudgeInstallAccess();
        JudgeRegistrationPerView();
        JudgeMenuHandler();
        JudgeLists();
        JudgeIconHandlers();
        JudgeTweak();
        JudgePackage();
        JudgeMainApplication();
        JudgeSwitches();
        return std::move(m_vecFindings);
    }

private:
    void Add(Severity severity, TextView strId, Text strText, Text strFix = Text())
    {
        m_vecFindings.push_back(Finding{severity, Text(strId), std::move(strText), std::move(strFix)});
    }

    Text ClassKey(RegistryScope scope) const
    {
        return Text(ClassesOf(scope)) + u"\\CLSID\\" + m_record.strClassId;
    }

    // The place of one registration as a person reads it and reg.exe takes it.
    Text Place(RegistryScope scope, RegistryView view) const
    {
        return ClassKey(scope) + u" (" + Text(BitsOf(view)) + u"-bit view)";
    }

    Text RegDelete(const Text& strKey, RegistryView view) const
    {
        return u"reg delete " + Quoted(strKey) + u" /reg:" + Text(BitsOf(view)) + u" /f";
    }

    // The 64-bit view's DLL is the machine's own: ARM64 Explorer loads
    // only the ARM64 one.
    TextView DllFor(RegistryView view) const
    {
        if (view != RegistryView::k64)
            return ORVANE_CLASSIC_DLL_X86;
        return m_record.nNativeMachine == kMachineArm64 ? ORVANE_CLASSIC_DLL_ARM64 : ORVANE_CLASSIC_DLL_X64;
    }

    RegistryView NativeView() const
    {
        return m_record.bWindows64 ? RegistryView::k64 : RegistryView::k32;
    }

    uint16_t MachineOfView(RegistryView view) const
    {
        if (view == RegistryView::k32)
            return kMachineI386;
        return m_record.nNativeMachine == kMachineArm64 ? kMachineArm64 : kMachineAmd64;
    }

    void JudgeWindows()
    {
        if (!m_record.bVersionKnown)
            Add(Severity::kNote, u"windows", u"The Windows version could not be read.");
        else
            Add(Severity::kOk, u"windows",
                u"Windows " + Decimal(m_record.nMajor) + u"." + Decimal(m_record.nMinor) + u" build " +
                    Decimal(m_record.nBuild) + u", " + Text(MachineName(m_record.nNativeMachine)) +
                    (m_record.nBuild >= kFirstWindows11Build ? u" (Windows 11)" : u""));
        Add(Severity::kOk, u"program",
            u"OrvaneShellExt.exe" + VersionSuffix(m_record.program) + u", " +
                Text(MachineName(m_record.program.nMachine)));
    }

    // Is this entry the same key as the other view's? Wine keeps
    // HKCU\Software\Classes in one view, so a per-user registration shows
    // in both with the same path; it is judged in the view that fits it.
    bool IsSharedUserEntry(const ClassRegistration& entry) const
    {
        if (entry.scope != RegistryScope::kUser || !m_record.bWindows64)
            return false;
        for (const ClassRegistration& other : m_record.vecClasses)
        {
            if (other.scope == entry.scope && other.view != entry.view && other.classKey == KeyState::kPresent &&
                entry.server.state == ValueState::kText && other.server.state == ValueState::kText &&
                EqualsAsciiNoCase(other.server.strText, entry.server.strText))
                return true;
        }
        return false;
    }

    bool UserServerMended(const ClassRegistration& entry) const
    {
        return entry.scope == RegistryScope::kUser && entry.view == NativeView() && m_plan.bRegisterUserServer;
    }

    void JudgeClassEntries()
    {
        for (const ClassRegistration& entry : m_record.vecClasses)
        {
            if (entry.classKey == KeyState::kAbsent)
                continue;
            const Text strPlace = Place(entry.scope, entry.view);
            if (entry.classKey == KeyState::kUnreadable)
            {
                Add(Severity::kFault, u"class-unreadable", strPlace + u" cannot be opened.",
                    u"Give your account read access to that key in regedit.");
                continue;
            }
            if (entry.server.state != ValueState::kText || entry.server.strText.empty())
            {
                const Text strTrouble = ValueTrouble(entry.server);
                Add(Severity::kFault, u"class-no-server",
                    strPlace + u": InprocServer32 " + (strTrouble.empty() ? Text(u"names no file") : strTrouble) +
                        u", so Explorer cannot load the handler.",
                    Text(kReinstall) + u"." + Mends(UserServerMended(entry)));
                continue;
            }
            JudgeClassFile(entry, strPlace);
        }
    }

    void JudgeClassFile(const ClassRegistration& entry, const Text& strPlace)
    {
        const FileFacts& file = entry.file;
        const Text strPath = entry.server.strText;
        const Text strTrouble = PathTrouble(file, u"file");
        if (!strTrouble.empty())
        {
            Add(Severity::kFault, u"class-file-missing",
                strPlace + u" names " + strPath + u", which " + strTrouble + u".",
                Text(kReinstall) + u", or remove the stale entry: " + RegDelete(ClassKey(entry.scope), entry.view) +
                    u"." + Mends(UserServerMended(entry)));
            return;
        }
        Text strFacts = strPlace + u": " + strPath;
        strFacts += VersionSuffix(file);
        strFacts += u", " + Text(MachineName(file.nMachine));
        Add(Severity::kOk, u"class", std::move(strFacts));

        const uint16_t nWanted = MachineOfView(entry.view);
        if (file.nMachine == kMachineUnknown)
            Add(Severity::kFault, u"class-not-a-dll", strPath + u" is not a Windows DLL.", Text(kReinstall) + u".");
        else if (file.nMachine != nWanted && !IsSharedUserEntry(entry))
            Add(Severity::kFault, u"class-wrong-view",
                strPlace + u" names a " + Text(MachineName(file.nMachine)) + u" DLL, which " +
                    Text(BitsOf(entry.view)) + u"-bit programs cannot load.",
                u"Remove it (" + RegDelete(ClassKey(entry.scope), entry.view) + u") and register " +
                    Text(DllFor(entry.view)) + u" with the " + Text(BitsOf(entry.view)) +
                    u"-bit regsvr32 (64-bit: %SystemRoot%\\System32, 32-bit: %SystemRoot%\\SysWOW64).");
        JudgeSignature(file, strPath);
    }

    void JudgeInstallAccess()
    {
        for (const AccessFacts& access : m_record.vecInstallAccess)
        {
            if (!access.bRead)
            {
                Add(Severity::kNote, u"install-access", u"Who may change " + access.strPath +
                                                            u" could not be read (error " + Decimal(access.nError) +
                                                            u").");
                continue;
            }
            std::vector<Text> vecSids;
            for (const AccessEntry& entry : access.vecAllowed)
            {
                if ((entry.nMask & kChangeRights) != 0 && !IsAdministrativeSid(entry.strSid) &&
                    std::find(vecSids.begin(), vecSids.end(), entry.strSid) == vecSids.end())
                    vecSids.push_back(entry.strSid);
            }
            if (access.bNullDacl || !vecSids.empty())
                AddInstallWritable(access, vecSids);
        }
    }

    // The fix is for the whole folder, whose files inherit it: the system's
    // accounts and Administrators may change it, users and apps only read it.
    void AddInstallWritable(const AccessFacts& access, const std::vector<Text>& vecSids)
    {
        const Text strFolder =
            access.bFolder ? access.strPath : access.strPath.substr(0, access.strPath.find_last_of(u'\\'));
        Text strWho = access.bNullDacl ? Text(u"everyone (it has no access list)") : Text();
        Text strRemove;
        for (const Text& strSid : vecSids)
        {
            strWho += (strWho.empty() ? u"" : u", ") + HolderName(strSid);
            if (!EqualsAsciiNoCase(strSid, u"S-1-5-32-545") && !EqualsAsciiNoCase(strSid, u"S-1-15-2-1"))
                strRemove += u" & icacls " + Quoted(strFolder) + u" /remove:g *" + strSid + u" /T";
        }
        Add(Severity::kFault, u"install-writable",
            access.strPath + u" can be changed by " + strWho +
                u", not only by administrators: what Explorer loads and every logon runs can be replaced.",
            u"Reinstall with the MSI, or as an administrator run: icacls " + Quoted(strFolder) +
                u" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX "
                u"*S-1-15-2-1:(OI)(CI)RX /T" + strRemove);
    }

    void JudgeSignature(const FileFacts& file, const Text& strPath)
    {
        switch (file.signature)
        {
        case SignatureState::kVerified:
            Add(Severity::kOk, u"signature", strPath + u": the signature verifies.");
            break;
        case SignatureState::kUnsigned:
            Add(Severity::kNote, u"signature", strPath + u" is not signed (a test build; releases are signed).");
            break;
        case SignatureState::kUntrusted:
            Add(Severity::kNote, u"signature",
                strPath + u" is signed, but Windows does not trust the certificate (" + Hex(file.nTrustResult) +
                    u").",
                u"For test-signed builds, import Orvane-Test-Signing.cer as the install folder's INSTALL.txt says.");
            break;
        case SignatureState::kBroken:
            Add(Severity::kFault, u"signature-broken",
                strPath + u" was changed after signing (" + Hex(file.nTrustResult) + u").",
                u"Unpack a freshly downloaded package and run its install.cmd or install-user.cmd.");
            break;
        case SignatureState::kUnavailable:
            Add(Severity::kNote, u"signature", u"Signatures cannot be checked here (no WinVerifyTrust).");
            break;
        case SignatureState::kNotChecked:
            break;
        }
    }

    // The class as a view's programs see it: HKCU's entry hides HKLM's.
    const ClassRegistration* EffectiveEntry(RegistryView view) const
    {
        const ClassRegistration* pMachine = nullptr;
        for (const ClassRegistration& entry : m_record.vecClasses)
        {
            if (entry.view != view || entry.classKey == KeyState::kAbsent)
                continue;
            if (entry.scope == RegistryScope::kUser)
                return &entry;
            pMachine = &entry;
        }
        return pMachine;
    }

    void JudgeRegistrationPerView()
    {
        const RegistryView nativeView = NativeView();
        if (EffectiveEntry(nativeView) == nullptr)
            Add(Severity::kFault, u"class-not-registered",
                u"The classic handler " + m_record.strClassId + u" is not registered for " +
                    Text(BitsOf(nativeView)) + u"-bit Explorer.",
                Text(kReinstall) + u" (or: regsvr32 \"<install folder>\\" + Text(DllFor(nativeView)) + u"\")." +
                    Mends(m_plan.bRegisterUserServer));
        if (m_record.bWindows64 && EffectiveEntry(RegistryView::k32) == nullptr)
            Add(Severity::kNote, u"class-32-missing",
                u"The classic handler is not registered for 32-bit programs: their Open and Save dialogs show no "
                u"Mark File.",
                u"%SystemRoot%\\SysWOW64\\regsvr32 \"<install folder>\\" + Text(ORVANE_CLASSIC_DLL_X86) + u"\"");
    }

    void JudgeMenuHandler()
    {
        const RegistryView nativeView = NativeView();
        bool bSeen = false;
        for (const ClassRegistration& entry : m_record.vecClasses)
        {
            if (entry.view != nativeView)
                continue;
            const Text strKey = Text(ClassesOf(entry.scope)) + u"\\" + kMenuHandlerKey;
            const RegValue& value = entry.menuHandler;
            if (value.state == ValueState::kAbsent)
                continue;
            bSeen = true;
            if (value.state == ValueState::kText && EqualsAsciiNoCase(value.strText, m_record.strClassId))
                continue;
            const Text strTrouble = ValueTrouble(value);
            Add(Severity::kFault, u"menu-handler-other",
                strKey + u" " + (strTrouble.empty() ? u"names " + Quoted(value.strText) : strTrouble) +
                    u" instead of the classic handler " + m_record.strClassId + u".",
                Text(kReinstall) + u"." + Mends(m_plan.bWriteUserMenuHandler));
        }
        if (!bSeen && EffectiveEntry(nativeView) != nullptr)
            Add(Severity::kFault, u"menu-handler-missing",
                Text(u"*\\shellex\\ContextMenuHandlers\\Orvane is missing (HKLM and HKCU): Explorer never asks the "
                     u"handler for its menu."),
                Text(kReinstall) + u"." + Mends(m_plan.bWriteUserMenuHandler));
    }

    void JudgeLists()
    {
        for (const ListPlace& place : m_record.vecBlocked)
        {
            const Text strKey = Text(HiveOf(place.scope)) + kShellExtensionsKey + u"Blocked";
            if (place.listed == KeyState::kPresent)
                Add(Severity::kFault, u"blocked",
                    strKey + u" (" + Text(BitsOf(place.view)) + u"-bit view) lists the classic handler: Explorer "
                    u"will not load it.",
                    u"reg delete " + Quoted(strKey) + u" /v " + m_record.strClassId + u" /reg:" +
                        Text(BitsOf(place.view)) + u" /f" +
                        (place.scope == RegistryScope::kMachine ? u" (as an administrator)" : u"") +
                        kRestartExplorer + u".");
            else if (place.listed == KeyState::kUnreadable)
                Add(Severity::kNote, u"blocked-unreadable", strKey + u" cannot be read; it may block the handler.");
        }
        bool bApproved = false;
        for (const ListPlace& place : m_record.vecApproved)
            bApproved = bApproved || place.listed == KeyState::kPresent;
        if (bApproved)
            Add(Severity::kOk, u"approved", u"The classic handler is on the Approved list.");
        else if (m_record.bApprovalEnforced)
            Add(Severity::kFault, u"not-approved",
                u"A policy (EnforceShellExtensionSecurity) admits only approved shell extensions, and the classic "
                u"handler is not approved.",
                u"As an administrator: reg add \"HKLM" + Text(kShellExtensionsKey) + u"Approved\" /v " +
                    m_record.strClassId + u" /d \"Orvane Shell Extension\" /reg:64 /f" + kRestartExplorer + u".");
    }

    void JudgeIconHandlers()
    {
        if (m_record.vecIconHandlerTypes.empty())
            return;
        Text strTypes;
        for (const Text& strType : m_record.vecIconHandlerTypes)
            strTypes += (strTypes.empty() ? u"" : u", ") + strType;
        if (m_record.bIconHandlerListCut)
            strTypes += u", ...";
        Add(Severity::kOk, u"icon-handlers", u"File types whose icons the handler gives: " + strTypes + u".");
    }

    void JudgeTweak()
    {
        if (m_record.classicMenuTweak == KeyState::kAbsent)
            return;
        Add(Severity::kFault, u"classic-menu-tweak",
            Text(kTweakKey) + u"\\InprocServer32 is set: it forces the old menu, where Windows 11's packaged "
                              u"commands show unreliably (greyed out or missing).",
            u"reg delete " + Quoted(kTweakKey) + u" /f" + kRestartExplorer +
                u"; keep it only if you want the old menu (Mark File then comes from the classic handler).");
    }

    void JudgePackage()
    {
        if (!m_record.bPackageChecked)
        {
            Add(Severity::kOk, u"package", u"Before Windows 11: the Windows 11 menu package is not used here.");
            return;
        }
        if (m_record.packageRepository == KeyState::kUnreadable)
        {
            Add(Severity::kNote, u"package", u"This user's package list cannot be read.");
            return;
        }
        const Text strRegister = u"Run \"<install folder>\\OrvaneShellExt.exe\" register-user" +
                                 Text(kRestartExplorer) + u"." + Mends(m_plan.bRegisterPackage);
        if (m_record.vecPackages.empty())
        {
            Add(Severity::kFault, u"package-missing",
                u"The package " + m_record.strPackageName + u" is not registered for this user: Windows 11's menu "
                u"shows Mark File only under \"Show more options\".",
                strRegister);
            return;
        }
        for (const PackageRegistration& package : m_record.vecPackages)
        {
            if (package.folder.state != ValueState::kText || package.folder.strText.empty())
            {
                Add(Severity::kFault, u"package-folder",
                    u"The package " + package.strFullName + u" has no readable folder.", strRegister);
                continue;
            }
            const Text strDll = package.folder.strText + u"\\" + m_record.strCommandDllName;
            const Text strTrouble = PathTrouble(package.commandDll, u"file");
            if (!strTrouble.empty())
                Add(Severity::kFault, u"package-dll-missing",
                    u"The package " + package.strFullName + u" points to " + package.folder.strText + u", but " +
                        strDll + u" " + strTrouble + u".",
                    strRegister);
            else
                Add(Severity::kOk, u"package",
                    u"The package " + package.strFullName + u" is registered for this user and points to " +
                        package.folder.strText + u".");
        }
    }

    // The extension found no path (strPath, its own reading) because a value
    // it reads is broken: that value's fault is reported, and there is no
    // path to judge.
    bool LostToBrokenValue(const Text& strPath, const RegValue& machine, const RegValue& user) const noexcept
    {
        const auto broken = [](const RegValue& value) {
            return value.state != ValueState::kText && value.state != ValueState::kAbsent;
        };
        return strPath.empty() && (broken(machine) || (!m_record.bElevated && broken(user)));
    }

    void JudgeProductValue(const ProductKeyFacts& facts, RegistryScope scope, TextView strName, const RegValue& value)
    {
        if (facts.key != KeyState::kPresent)
            return;
        const Text strTrouble = ValueTrouble(value);
        if (!strTrouble.empty())
            Add(Severity::kFault, u"product-value",
                Text(HiveOf(scope)) + kProductKeyText + u", " + Text(strName) + u" " + strTrouble + u".",
                u"Reinstall the Orvane main application, or set " + Text(strName) + u" to a full path of text.");
    }

    void JudgeMainApplication()
    {
        const ProductKeyFacts& machine = m_record.machineProduct;
        const ProductKeyFacts& user = m_record.userProduct;
        for (const ProductKeyFacts* pFacts : {&machine, &user})
        {
            if (pFacts->key == KeyState::kUnreadable)
                Add(Severity::kFault, u"product-unreadable",
                    Text(HiveOf(pFacts == &machine ? RegistryScope::kMachine : RegistryScope::kUser)) +
                        kProductKeyText + u" cannot be opened.",
                    u"Give your account read access to that key in regedit.");
        }
        if (m_record.bElevated)
            Add(Severity::kNote, u"elevated",
                u"This program runs elevated: like every elevated program, Mark File then takes OrvanePath and "
                u"OrvaneDir from HKLM" + Text(kProductKeyText) + u" only, and the paths below are those.");
        if (machine.key == KeyState::kAbsent && user.key == KeyState::kAbsent)
        {
            Add(Severity::kFault, u"app-not-installed",
                u"Neither HKLM" + Text(kProductKeyText) + u" nor HKCU" + kProductKeyText +
                    u" exists: the Orvane main application is not installed, and Mark File has nothing to start.",
                u"Install the Orvane main application.");
            return;
        }
        if (m_record.kelvossUserKey == KeyState::kAbsent)
            Add(Severity::kNote, u"user-key",
                u"HKCU\\Software\\Kelvoss is missing: this user's settings come from HKLM.");
        JudgeProductValue(machine, RegistryScope::kMachine, u"OrvanePath", machine.appPath);
        JudgeProductValue(user, RegistryScope::kUser, u"OrvanePath", user.appPath);
        JudgeProductValue(machine, RegistryScope::kMachine, u"OrvaneDir", machine.installDir);
        JudgeProductValue(user, RegistryScope::kUser, u"OrvaneDir", user.installDir);

        if (!LostToBrokenValue(m_record.strAppPath, machine.appPath, user.appPath))
            JudgeProductPath(u"app", u"OrvanePath", m_record.strAppPath, m_record.app, u"file",
                             u"The main application");
        if (LostToBrokenValue(m_record.strInstallDir, machine.installDir, user.installDir))
            return;
        if (!JudgeProductPath(u"install-dir", u"OrvaneDir", m_record.strInstallDir, m_record.installDir,
                              u"folder", u"The main application's folder"))
            return;
        JudgeIconLibrary();
        JudgeLanguageFile();
    }

    bool JudgeProductPath(TextView strId, TextView strName, const Text& strPath, const FileFacts& facts,
                          TextView strWanted, TextView strWhat)
    {
        if (strPath.empty())
        {
            Add(Severity::kFault, Text(strId) + u"-not-set",
                Text(strName) + u" is set in neither HKLM nor HKCU" + kProductKeyText + u".",
                u"Reinstall the Orvane main application.");
            return false;
        }
        const Text strTrouble = PathTrouble(facts, strWanted);
        if (!strTrouble.empty())
        {
            Add(Severity::kFault, Text(strId) + u"-missing",
                Text(strWhat) + u" " + strPath + u" (" + Text(strName) + u") " + strTrouble + u".",
                u"Reinstall the Orvane main application, or correct " + Text(strName) + u" under HKLM or HKCU" +
                    kProductKeyText + u".");
            return false;
        }
        Text strFacts = Text(strWhat) + u": " + strPath;
        strFacts += VersionSuffix(facts);
        Add(Severity::kOk, strId, std::move(strFacts));
        return true;
    }

    void JudgeIconLibrary()
    {
        const Text strTrouble = PathTrouble(m_record.iconLibrary, u"file");
        if (strTrouble.empty())
            Add(Severity::kOk, u"icon-library", u"Icon library: " + m_record.strIconLibrary);
        else
            Add(Severity::kFault, u"icon-library-missing",
                u"The icon library " + m_record.strIconLibrary + u" " + strTrouble + u": the markers have no "
                u"pictures.",
                u"Reinstall the Orvane main application.");
    }

    void JudgeLanguageFile()
    {
        const Text strTrouble = PathTrouble(m_record.languageFile, u"file");
        if (strTrouble.empty())
            Add(Severity::kOk, u"language", u"Language file: " + m_record.strLanguageFile);
        else if (EqualsAsciiNoCase(m_record.strLanguage, u"english"))
            Add(Severity::kNote, u"language",
                u"The language file " + m_record.strLanguageFile + u" " + strTrouble + u": the menu shows its "
                u"built-in English captions.");
        else
            Add(Severity::kFault, u"language-file-missing",
                u"The settings name the language " + Quoted(m_record.strLanguage) + u", but " +
                    m_record.strLanguageFile + u" " + strTrouble + u": the menu falls back to English.",
                u"Choose an installed language in the main application, or reinstall it.");
    }

    // Each switch's value and where it came from, then every value that
    // does not count: a policy of the wrong type or out of range, a user
    // switch that is no REG_DWORD.
    void JudgeSwitches()
    {
        for (size_t i = 0; i < kSwitchCount; ++i)
        {
            const SwitchId id = static_cast<SwitchId>(i);
            const SwitchDefinition& definition = SwitchDefinitionOf(id);
            const EffectiveSwitch effective = ResolveSwitch(id, m_record.switches);
            Add(Severity::kOk, u"switch",
                Text(definition.pszName) + u" = " + SwitchValueText(id, effective.nValue) + u" (" +
                    Text(SourceName(effective.source)) + u")");
            JudgePolicyValue(id, u"HKLM", m_record.switches.machinePolicy[i]);
            JudgePolicyValue(id, u"HKCU", m_record.switches.userPolicy[i]);
            JudgeUserSwitch(id, m_record.switches.userSwitch[i]);
        }
    }

    // A user switch that does not count: no REG_DWORD, or a number other
    // than the 0 and 1 the switch knows (only 1 turns it on).
    void JudgeUserSwitch(SwitchId id, const RawSwitchValue& raw)
    {
        const SwitchDefinition& definition = SwitchDefinitionOf(id);
        if (!definition.bUserMaySet)
            return;
        const Text strKey = Text(u"HKCU\\") + kSwitchesKeyText;
        const Text strFix = u"reg add " + Quoted(strKey) + u" /v " + definition.pszName +
                            u" /t REG_DWORD /d 1 /f (0 turns it off).";
        if (raw.state == RawState::kWrongType)
            Add(Severity::kNote, u"switch-value",
                strKey + u", " + definition.pszName + u" is not a REG_DWORD: the switch stays off.", strFix);
        else if (raw.state == RawState::kNumber && raw.nNumber > 1)
            Add(Severity::kNote, u"switch-value",
                strKey + u", " + definition.pszName + u" is " + Decimal(raw.nNumber) +
                    u": only 1 turns it on; the switch is off.",
                strFix);
    }

    void JudgePolicyValue(SwitchId id, TextView strHive, const RawSwitchValue& raw)
    {
        if (raw.state == RawState::kAbsent || IsPolicyValueAccepted(id, raw))
            return;
        const SwitchDefinition& definition = SwitchDefinitionOf(id);
        const Text strKey = Text(strHive) + u"\\" + kPolicyKeyText;
        const Text strTrouble = raw.state == RawState::kWrongType
                                    ? Text(u"is not a REG_DWORD")
                                    : u"is " + Decimal(raw.nNumber) + u", beyond its largest value " +
                                          Decimal(definition.nMaximum);
        Add(Severity::kNote, u"policy-ignored",
            strKey + u", " + definition.pszName + u" " + strTrouble + u": the policy is ignored.",
            u"An administrator sets it in the Group Policy editor (Orvane shell extension), or: reg add " +
                Quoted(strKey) + u" /v " + definition.pszName + u" /t REG_DWORD /d <0.." +
                Decimal(definition.nMaximum) + u"> /f");
    }

    // The fix of a fault that `repair` would mend says so.
    static Text Mends(bool bMended)
    {
        return bMended ? Text(kRepairMends) : Text();
    }

    const StatusRecord& m_record;
    const RepairPlan m_plan;
    std::vector<Finding> m_vecFindings;
};

// A severity as the text's column shows it (one width for all) and as JSON
// names it.
struct SeverityNames
{
    TextView strColumn;
    TextView strJson;
};

SeverityNames NamesOf(Severity severity) noexcept
{
    switch (severity)
    {
    case Severity::kFault: return {u"FAULT", u"fault"};
    case Severity::kNote: return {u"note ", u"note"};
    default: return {u"ok   ", u"ok"};
    }
}

void AppendPrintable(Text& strOut, TextView strText)
{
    for (char16_t ch : strText)
        strOut += (ch < 0x20 || ch == 0x7F) ? u'?' : ch;
}

size_t CountFaults(const std::vector<Finding>& vecFindings) noexcept
{
    return static_cast<size_t>(std::count_if(vecFindings.begin(), vecFindings.end(),
                                             [](const Finding& f) { return f.severity == Severity::kFault; }));
}

}  // namespace

std::u16string HexText(uint32_t n)
{
    std::u16string str = u"0x";
    for (int nShift = 28; nShift >= 0; nShift -= 4)
        str += u"0123456789ABCDEF"[(n >> nShift) & 0xF];
    return str;
}

std::vector<Finding> JudgeStatus(const StatusRecord& record)
{
    return CJudge(record).Run();
}

bool HasFault(const std::vector<Finding>& vecFindings) noexcept
{
    return CountFaults(vecFindings) != 0;
}

std::u16string FormatStatusText(const std::vector<Finding>& vecFindings)
{
    Text strOut;
    for (const Finding& finding : vecFindings)
    {
        strOut += NamesOf(finding.severity).strColumn;
        strOut += u" [";
        AppendPrintable(strOut, finding.strId);
        strOut += u"] ";
        AppendPrintable(strOut, finding.strText);
        if (!finding.strFix.empty())
        {
            strOut += u"  Fix: ";
            AppendPrintable(strOut, finding.strFix);
        }
        strOut += u"\r\n";
    }
    const size_t nFaults = CountFaults(vecFindings);
    if (nFaults == 0)
        strOut += u"Nothing is wrong.\r\n";
    else
        strOut += Decimal(static_cast<uint32_t>(nFaults)) + (nFaults == 1 ? u" fault.\r\n" : u" faults.\r\n");
    return strOut;
}

std::u16string FormatStatusJson(const std::vector<Finding>& vecFindings)
{
    Text strOut = u"{\r\n  \"faults\": " + Decimal(static_cast<uint32_t>(CountFaults(vecFindings))) +
                  u",\r\n  \"findings\": [";
    bool bFirst = true;
    for (const Finding& finding : vecFindings)
    {
        strOut += bFirst ? u"\r\n" : u",\r\n";
        bFirst = false;
        strOut += u"    {\"severity\": \"" + Text(NamesOf(finding.severity).strJson) + u"\", \"id\": \"" +
                  EscapeJson(finding.strId) + u"\", \"text\": \"" + EscapeJson(finding.strText) + u"\", \"fix\": \"" +
                  EscapeJson(finding.strFix) + u"\"}";
    }
    strOut += u"\r\n  ]\r\n}\r\n";
    return strOut;
}

std::u16string EscapeJson(std::u16string_view strText)
{
    auto escapeUnit = [](Text& strOut, char16_t ch) {
        strOut += u"\\u";
        for (int nShift = 12; nShift >= 0; nShift -= 4)
            strOut += u"0123456789abcdef"[(ch >> nShift) & 0xF];
    };
    Text strOut;
    strOut.reserve(strText.size());
    for (size_t i = 0; i < strText.size(); ++i)
    {
        const char16_t ch = strText[i];
        const bool bHigh = ch >= 0xD800 && ch <= 0xDBFF;
        const bool bLow = ch >= 0xDC00 && ch <= 0xDFFF;
        if (ch == u'"' || ch == u'\\')
        {
            strOut += u'\\';
            strOut += ch;
        }
        else if (ch == u'\n')
            strOut += u"\\n";
        else if (ch == u'\r')
            strOut += u"\\r";
        else if (ch == u'\t')
            strOut += u"\\t";
        else if (ch < 0x20 || ch == 0x7F)
            escapeUnit(strOut, ch);
        else if (bHigh && i + 1 < strText.size() && strText[i + 1] >= 0xDC00 && strText[i + 1] <= 0xDFFF)
        {
            strOut += ch;
            strOut += strText[++i];
        }
        else if (bHigh || bLow)
            escapeUnit(strOut, ch);  // a lone half would make the UTF-8 text invalid
        else
            strOut += ch;
    }
    return strOut;
}

uint16_t PeMachineOf(const uint8_t* pBytes, size_t cbBytes) noexcept
{
    auto read16 = [&](size_t n) { return static_cast<uint16_t>(pBytes[n] | (pBytes[n + 1] << 8)); };
    auto read32 = [&](size_t n) {
        return static_cast<uint32_t>(pBytes[n]) | (static_cast<uint32_t>(pBytes[n + 1]) << 8) |
               (static_cast<uint32_t>(pBytes[n + 2]) << 16) | (static_cast<uint32_t>(pBytes[n + 3]) << 24);
    };
    const size_t kNewHeaderOffset = 0x3C;
    if (pBytes == nullptr || cbBytes < kNewHeaderOffset + 4 || pBytes[0] != 'M' || pBytes[1] != 'Z')
        return kMachineUnknown;
    const uint32_t nPe = read32(kNewHeaderOffset);
    if (nPe > cbBytes || cbBytes - nPe < 6)
        return kMachineUnknown;
    if (pBytes[nPe] != 'P' || pBytes[nPe + 1] != 'E' || pBytes[nPe + 2] != 0 || pBytes[nPe + 3] != 0)
        return kMachineUnknown;
    return read16(nPe + 4);
}
