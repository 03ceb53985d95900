#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ShellExt/companion/RepairPlan.h"
#include "ShellExt/companion/StatusFindings.h"
#include "ShellExt/settings/ProductValueChoice.h"

namespace {

const std::u16string kClsid = u"{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}";

FileFacts File(uint16_t nMachine = kMachineUnknown, SignatureState signature = SignatureState::kNotChecked)
{
    FileFacts facts;
    facts.state = PathState::kFile;
    facts.nMachine = nMachine;
    facts.signature = signature;
    return facts;
}

RegValue Text(std::u16string str)
{
    RegValue value;
    value.state = ValueState::kText;
    value.strText = std::move(str);
    return value;
}

ClassRegistration Registration(RegistryScope scope, RegistryView view, const std::u16string& strPath, uint16_t nMachine)
{
    ClassRegistration entry;
    entry.scope = scope;
    entry.view = view;
    entry.classKey = KeyState::kPresent;
    entry.server = Text(strPath);
    entry.file = File(nMachine, SignatureState::kUnsigned);
    entry.menuHandler = Text(kClsid);
    return entry;
}

// A 64-bit Windows 10 with the 64-bit handler registered for every user and
// the main application in place: nothing is wrong.
StatusRecord CleanRecord()
{
    StatusRecord record;
    record.strClassId = kClsid;
    record.bVersionKnown = true;
    record.nMajor = 10;
    record.nBuild = 19045;
    record.bWindows64 = true;
    record.nNativeMachine = kMachineAmd64;
    record.vecClasses.push_back(Registration(RegistryScope::kMachine, RegistryView::k64, u"C:\\O\\64.dll", kMachineAmd64));
    record.vecBlocked = {{RegistryScope::kMachine, RegistryView::k64, KeyState::kAbsent},
                         {RegistryScope::kUser, RegistryView::k64, KeyState::kAbsent}};
    record.machineProduct.key = KeyState::kPresent;
    record.machineProduct.appPath = Text(u"C:\\O\\Orvane.exe");
    record.machineProduct.installDir = Text(u"C:\\O");
    record.kelvossUserKey = KeyState::kPresent;
    record.strAppPath = u"C:\\O\\Orvane.exe";
    record.strInstallDir = u"C:\\O";
    record.app = File();
    record.installDir.state = PathState::kDirectory;
    record.iconLibrary = File();
    record.strLanguage = u"english";
    record.languageFile.state = PathState::kMissing;
    // As the MSI leaves it: the system's accounts change it, users read it.
    const std::vector<AccessEntry> vecProper = {{u"S-1-5-18", 0x1F01FF}, {u"S-1-5-32-544", 0x1F01FF},
        {u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", 0x1F01FF}, {u"S-1-3-0", 0x10000000},
        {u"S-1-5-32-545", 0x1200A9}, {u"S-1-1-0", 0x100}};
    record.vecInstallAccess = {{u"C:\\O", true, true, 0, false, vecProper}, {u"C:\\O\\64.dll", false, true, 0, false, vecProper}};
    return record;
}

void Grant(StatusRecord& r, size_t nPath, const char16_t* pszSid, uint32_t nMask)
{
    r.vecInstallAccess[nPath].vecAllowed.push_back({pszSid, nMask});
}

std::set<std::u16string> FaultIds(const StatusRecord& record)
{
    std::set<std::u16string> setIds;
    for (const Finding& finding : JudgeStatus(record))
    {
        if (finding.severity == Severity::kFault)
            setIds.insert(finding.strId);
    }
    return setIds;
}

struct FaultCase
{
    const char* pszName;
    std::function<void(StatusRecord&)> plant;
    std::set<std::u16string> setExpected;
};

TEST(StatusFindings, EachPlantedStateGivesExactlyItsFaults)
{
    const RegistryScope hklm = RegistryScope::kMachine;
    const RegistryScope hkcu = RegistryScope::kUser;
    const std::vector<FaultCase> vecCases = {
        {"clean", [](StatusRecord&) {}, {}},
        {"blocked for the user", [](StatusRecord& r) { r.vecBlocked[1].listed = KeyState::kPresent; }, {u"blocked"}},
        {"DLL removed", [](StatusRecord& r) { r.vecClasses[0].file.state = PathState::kMissing; }, {u"class-file-missing"}},
        {"path of MAX_PATH or more", [](StatusRecord& r) { r.vecClasses[0].file.state = PathState::kTooLong; }, {u"class-file-missing"}},
        {"32-bit DLL in the 64-bit view", [](StatusRecord& r) { r.vecClasses[0].file.nMachine = kMachineI386; }, {u"class-wrong-view"}},
        {"64-bit DLL in the 32-bit view",
         [&](StatusRecord& r) { r.vecClasses.push_back(Registration(hklm, RegistryView::k32, u"C:\\O\\x.dll", kMachineAmd64)); },
         {u"class-wrong-view"}},
        {"x64 DLL on ARM64 Windows", [](StatusRecord& r) { r.nNativeMachine = kMachineArm64; }, {u"class-wrong-view"}},
        {"a per-user key both views share",
         [&](StatusRecord& r) {
             r.vecClasses.push_back(Registration(hkcu, RegistryView::k64, u"C:\\U\\64.dll", kMachineAmd64));
             r.vecClasses.push_back(Registration(hkcu, RegistryView::k32, u"c:\\u\\64.DLL", kMachineAmd64));
         },
         {}},
        {"a stale per-user entry hides the good one",
         [&](StatusRecord& r) {
             r.vecClasses.push_back(Registration(hkcu, RegistryView::k64, u"C:\\Old\\64.dll", kMachineAmd64));
             r.vecClasses.back().file.state = PathState::kMissing;
         },
         {u"class-file-missing"}},
        {"not registered", [](StatusRecord& r) { r.vecClasses.clear(); }, {u"class-not-registered"}},
        {"class key unreadable", [](StatusRecord& r) { r.vecClasses[0].classKey = KeyState::kUnreadable; }, {u"class-unreadable"}},
        {"server value a DWORD",
         [](StatusRecord& r) { r.vecClasses[0].server = RegValue{ValueState::kWrongType, u"", 0, 4, 0}; },
         {u"class-no-server"}},
        {"menu handler missing", [](StatusRecord& r) { r.vecClasses[0].menuHandler = RegValue(); }, {u"menu-handler-missing"}},
        {"menu handler names another class", [](StatusRecord& r) { r.vecClasses[0].menuHandler = Text(u"{0}"); }, {u"menu-handler-other"}},
        {"signature broken", [](StatusRecord& r) { r.vecClasses[0].file.signature = SignatureState::kBroken; }, {u"signature-broken"}},
        {"untrusted signature is only a note", [](StatusRecord& r) { r.vecClasses[0].file.signature = SignatureState::kUntrusted; }, {}},
        {"tweak present", [](StatusRecord& r) { r.classicMenuTweak = KeyState::kPresent; }, {u"classic-menu-tweak"}},
        {"approval enforced", [](StatusRecord& r) { r.bApprovalEnforced = true; }, {u"not-approved"}},
        {"approval enforced and approved",
         [](StatusRecord& r) {
             r.bApprovalEnforced = true;
             r.vecApproved = {{RegistryScope::kMachine, RegistryView::k64, KeyState::kPresent}};
         },
         {}},
        {"Windows 11 without the package", [](StatusRecord& r) { r.bPackageChecked = true; }, {u"package-missing"}},
        {"Windows 11, package folder without its DLL",
         [](StatusRecord& r) {
             r.bPackageChecked = true;
             r.vecPackages.push_back(PackageRegistration{u"Kelvoss.Orvane.ShellExt_2.2.0.0_x64__abc", Text(u"C:\\O\\pkg"), {}});
             r.vecPackages.back().commandDll.state = PathState::kMissing;
         },
         {u"package-dll-missing"}},
        {"main application not installed, HKCU\\Software\\Kelvoss missing",
         [](StatusRecord& r) {
             r.machineProduct = ProductKeyFacts();
             r.kelvossUserKey = KeyState::kAbsent;
         },
         {u"app-not-installed"}},
        {"main application missing", [](StatusRecord& r) { r.app.state = PathState::kMissing; }, {u"app-missing"}},
        {"OrvanePath a DWORD in HKCU",
         [](StatusRecord& r) {
             r.userProduct.key = KeyState::kPresent;
             r.userProduct.appPath = RegValue{ValueState::kWrongType, u"", 0, 4, 0};
         },
         {u"product-value"}},
        {"elevated, HKLM names no program: HKCU's is not taken",
         [](StatusRecord& r) {
             r.bElevated = true;
             r.machineProduct.appPath = RegValue();
             r.userProduct.key = KeyState::kPresent;
             r.userProduct.appPath = Text(u"C:\\U\\evil.exe");
             r.strAppPath.clear();
         },
         {u"app-not-set"}},
        {"OrvaneDir too long in HKCU: the extension keeps HKLM's",
         [](StatusRecord& r) {
             r.userProduct.key = KeyState::kPresent;
             r.userProduct.installDir.state = ValueState::kTooLong;
         },
         {u"product-value"}},
        {"install folder gone", [](StatusRecord& r) { r.installDir.state = PathState::kMissing; }, {u"install-dir-missing"}},
        {"icon library missing", [](StatusRecord& r) { r.iconLibrary.state = PathState::kMissing; }, {u"icon-library-missing"}},
        {"chosen language's file missing", [](StatusRecord& r) { r.strLanguage = u"deutsch"; }, {u"language-file-missing"}},
        {"Users may modify the install folder", [](StatusRecord& r) { Grant(r, 0, u"S-1-5-32-545", 0x1301BF); }, {u"install-writable"}},
        {"a user's own SID owns the DLL", [](StatusRecord& r) { Grant(r, 1, u"S-1-5-21-1-2-3-1000", 0x1F01FF); }, {u"install-writable"}},
        {"Authenticated Users may delete the DLL", [](StatusRecord& r) { Grant(r, 1, u"S-1-5-11", 0x10000); }, {u"install-writable"}},
        {"Everyone generic write", [](StatusRecord& r) { Grant(r, 0, u"S-1-1-0", 0x40000000); }, {u"install-writable"}},
        {"no access list at all", [](StatusRecord& r) { r.vecInstallAccess[0].bNullDacl = true; }, {u"install-writable"}},
        {"unreadable access list is only a note", [](StatusRecord& r) { r.vecInstallAccess[1].bRead = false; }, {}},
        {"trace of the wrong type is only a note",
         [](StatusRecord& r) { r.switches.userSwitch[size_t(SwitchId::kTrace)].state = RawState::kWrongType; }, {}},
        {"a policy out of range is only a note",
         [](StatusRecord& r) {
             r.switches.machinePolicy[size_t(SwitchId::kHiddenMenuItems)] = {RawState::kNumber, 0x400};
         },
         {}},
    };
    for (const FaultCase& c : vecCases)
    {
        StatusRecord record = CleanRecord();
        c.plant(record);
        EXPECT_EQ(c.setExpected, FaultIds(record)) << c.pszName;
    }
}

// What repair does for this user ("S" server, "H" menu handler, "P"
// package) and how many things it leaves to an administrator.
TEST(RepairPlan, MendsOnlyThisUsersScopeAndNamesTheRest)
{
    auto perUser = [](StatusRecord& r) {
        r.strOwnDll = u"C:\\U\\OrvaneShlExt64F.dll";
        r.ownDll = File(kMachineAmd64);
        r.vecClasses.clear();
    };
    const struct
    {
        const char* pszName;
        std::function<void(StatusRecord&)> plant;
        const char* pszSteps;
        size_t nLeft;
    } cases[] = {
        {"nothing wrong", [](StatusRecord& r) { r.strOwnDll = u"c:\\o\\64.DLL"; r.ownDll = File(); }, "", 0},
        {"per-user installation without its registration", perUser, "S", 0},
        {"per-user registration naming another file",
         [&](StatusRecord& r) {
             perUser(r);
             r.vecClasses.push_back(Registration(RegistryScope::kUser, RegistryView::k64, u"D:\\old.dll", 0x8664));
         },
         "S", 0},
        {"HKLM's menu handler gone", [](StatusRecord& r) { r.vecClasses[0].menuHandler = RegValue(); }, "H", 0},
        {"HKLM's menu handler foreign", [](StatusRecord& r) { r.vecClasses[0].menuHandler = Text(u"{0}"); }, "H", 0},
        {"HKCU's menu handler foreign over HKLM's",
         [](StatusRecord& r) {
             r.vecClasses.push_back(Registration(RegistryScope::kUser, RegistryView::k64, u"C:\\O\\64.dll", 0x8664));
             r.vecClasses.back().menuHandler = Text(u"{0}");
         },
         "H", 0},
        {"Windows 11 without the package",
         [](StatusRecord& r) { r.bPackageChecked = r.bPackageBeside = true; }, "P", 0},
        {"Windows 11 without the package, none beside", [](StatusRecord& r) { r.bPackageChecked = true; }, "", 0},
        {"blocked machine-wide",
         [](StatusRecord& r) { r.vecBlocked[0].listed = KeyState::kPresent; }, "", 1},
        {"the command hidden by policy",
         [](StatusRecord& r) {
             r.switches.machinePolicy[size_t(SwitchId::kShowWindows11Command)] = {RawState::kNumber, 0};
         },
         "", 1},
        {"a per-machine DLL gone",
         [](StatusRecord& r) { r.vecClasses[0].file.state = PathState::kMissing; }, "", 1},
    };
    for (const auto& c : cases)
    {
        StatusRecord record = CleanRecord();
        c.plant(record);
        const RepairPlan plan = PlanRepair(record);
        const std::string strSteps = std::string(plan.bRegisterUserServer ? "S" : "") +
                                     (plan.bWriteUserMenuHandler ? "H" : "") + (plan.bRegisterPackage ? "P" : "");
        EXPECT_EQ(c.pszSteps, strSteps) << c.pszName;
        EXPECT_EQ(c.nLeft, plan.vecLeftToAdministrator.size()) << c.pszName;
        // Every fault repair mends says so in its fix, and no other does.
        for (const Finding& finding : JudgeStatus(record))
        {
            const bool bSays = finding.strFix.find(kRepairMends) != std::u16string::npos;
            EXPECT_TRUE(!bSays || !strSteps.empty()) << c.pszName;
            if (finding.severity == Severity::kFault && !strSteps.empty())
                EXPECT_TRUE(bSays) << c.pszName << " " << std::string(finding.strId.begin(), finding.strId.end());
        }
    }
}

TEST(StatusFindings, TextAndJsonCarryEveryFindingSafely)
{
    std::vector<Finding> vecFindings = {{Severity::kOk, u"a", u"fine", u""},
                                        {Severity::kFault, u"b", u"bad\x01\n\"x\"\\", u"mend"}};
    EXPECT_EQ(u"ok    [a] fine\r\nFAULT [b] bad??\"x\"\\  Fix: mend\r\n1 fault.\r\n", FormatStatusText(vecFindings));
    const std::u16string strJson = FormatStatusJson(vecFindings);
    EXPECT_NE(std::u16string::npos, strJson.find(u"\"faults\": 1,"));
    EXPECT_NE(std::u16string::npos, strJson.find(u"\"text\": \"bad\\u0001\\n\\\"x\\\"\\\\\", \"fix\": \"mend\"}"));

    const std::vector<std::pair<std::u16string, std::u16string>> vecEscapes = {
        {u"plain \u00e9", u"plain \u00e9"},
        {u"\t\r", u"\\t\\r"},
        {u"\x7f", u"\\u007f"},
        {std::u16string{0xD83D, 0xDE00}, std::u16string{0xD83D, 0xDE00}},  // a pair stays
        {std::u16string{u'a', 0xD83D}, u"a\\ud83d"},                       // lone halves are escaped
        {std::u16string{0xDE00, u'b'}, u"\\ude00b"},
    };
    for (const auto& [strIn, strOut] : vecEscapes)
        EXPECT_EQ(strOut, EscapeJson(strIn));
}

// The trace is on exactly when the extension takes the switch to be on, and
// fixes name the DLL of the machine's own processor.
TEST(StatusFindings, TraceAndFixesAsTheMachineHasThem)
{
    auto findingText = [](const StatusRecord& record, const std::u16string& strId) {
        std::u16string strAll;
        for (const Finding& finding : JudgeStatus(record))
            if (finding.strId == strId)
                strAll += finding.strText + u" | " + finding.strFix + u"\n";
        return strAll;
    };
    const struct
    {
        uint32_t nValue;
        const char16_t* pszId;
        std::u16string strWanted;
    } traces[] = {{0, u"switch", u"Trace = 0 (user switch)"},
                  {1, u"switch", u"Trace = 1 (user switch)"},
                  {2, u"switch", u"Trace = 0 (user switch)"},
                  {2, u"switch-value", u"Trace is 2: only 1 turns it on; the switch is off"}};
    for (const auto& c : traces)
    {
        StatusRecord record = CleanRecord();
        record.switches.userSwitch[size_t(SwitchId::kTrace)] = {RawState::kNumber, c.nValue};
        EXPECT_NE(std::u16string::npos, findingText(record, c.pszId).find(c.strWanted)) << c.nValue;
    }
    for (const uint16_t nMachine : {kMachineAmd64, kMachineArm64})
    {
        StatusRecord record = CleanRecord();
        record.nNativeMachine = nMachine;
        record.vecClasses.clear();
        const std::u16string strDll = nMachine == kMachineArm64 ? u"OrvaneShlExtA64F.dll" : u"OrvaneShlExt64F.dll";
        EXPECT_NE(std::u16string::npos, findingText(record, u"class-not-registered").find(strDll)) << nMachine;
    }
}

TEST(StatusFindings, AWritableInstallNamesTheHolderAndTheFolderToMend)
{
    StatusRecord record = CleanRecord();
    Grant(record, 1, u"S-1-5-21-1-2-3-1000", 0x1F01FF);
    Grant(record, 1, u"S-1-5-32-545", 0x2);
    const std::vector<Finding> vecFindings = JudgeStatus(record);
    const auto it = std::find_if(vecFindings.begin(), vecFindings.end(),
                                 [](const Finding& f) { return f.strId == u"install-writable"; });
    ASSERT_NE(vecFindings.end(), it);
    EXPECT_NE(std::u16string::npos, it->strText.find(u"C:\\O\\64.dll can be changed by S-1-5-21-1-2-3-1000, Users (S-1-5-32-545)"));
    EXPECT_NE(std::u16string::npos, it->strFix.find(u"icacls \"C:\\O\" /inheritance:r"));
    EXPECT_NE(std::u16string::npos, it->strFix.find(u"/remove:g *S-1-5-21-1-2-3-1000 /T"));
    EXPECT_EQ(std::u16string::npos, it->strFix.find(u"/remove:g *S-1-5-32-545"));
}

TEST(StatusFindings, PeMachineIsReadOnlyFromWholeHeaders)
{
    std::vector<uint8_t> vecImage(0x90, 0);
    vecImage[0] = 'M';
    vecImage[1] = 'Z';
    vecImage[0x3C] = 0x80;
    vecImage[0x80] = 'P';
    vecImage[0x81] = 'E';
    vecImage[0x84] = 0x64;
    vecImage[0x85] = 0x86;
    EXPECT_EQ(kMachineAmd64, PeMachineOf(vecImage.data(), vecImage.size()));
    EXPECT_EQ(kMachineUnknown, PeMachineOf(vecImage.data(), 0x85));  // cut inside the machine field
    EXPECT_EQ(kMachineUnknown, PeMachineOf(vecImage.data(), 0x3F));
    vecImage[0x3C] = 0xFF;
    vecImage[0x3F] = 0xFF;  // e_lfanew far beyond the bytes
    EXPECT_EQ(kMachineUnknown, PeMachineOf(vecImage.data(), vecImage.size()));
    vecImage[0] = 'X';
    EXPECT_EQ(kMachineUnknown, PeMachineOf(vecImage.data(), vecImage.size()));
    EXPECT_EQ(kMachineUnknown, PeMachineOf(nullptr, 0));
}

}  // namespace

TEST(ProductValueChoice, AnElevatedProcessTakesOnlyTheMachinesText)
{
    using S = ProductValueState;
    using R = ProductValueSource;
    struct Case
    {
        bool bElevated;
        S machine;
        S user;
        R expected;
    } cases[] = {
        {false, S::kText, S::kText, R::kUser},          {false, S::kText, S::kAbsent, R::kMachine},
        {false, S::kText, S::kWrongType, R::kMachine},  {false, S::kText, S::kTooLong, R::kMachine},
        {false, S::kAbsent, S::kText, R::kUser},        {false, S::kWrongType, S::kUnreadable, R::kNone},
        {true, S::kText, S::kText, R::kMachine},        {true, S::kAbsent, S::kText, R::kNone},
        {true, S::kWrongType, S::kText, R::kNone},      {true, S::kTooLong, S::kAbsent, R::kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ChooseProductValue(c.bElevated, c.machine, c.user))
            << c.bElevated << " " << static_cast<int>(c.machine) << " " << static_cast<int>(c.user);
}
