#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ShellExt/registration/RegScript.h"
#include "tools/msi/MemoryRegistry.h"
#include "tools/common/Utf8.h"

namespace {

using Op = CMemoryRegistry::Op;

constexpr RegRootKey kHKCR = RegRootKey::ClassesRoot;
constexpr RegRootKey kHKCU = RegRootKey::CurrentUser;
constexpr RegRootKey kHKLM = RegRootKey::LocalMachine;

constexpr char16_t kModulePath[] = u"C:\\Program Files\\O'Brien\\OrvaneShlExt64F.dll";
constexpr char16_t kModuleEscaped[] = u"C:\\Program Files\\O''Brien\\OrvaneShlExt64F.dll";
constexpr char16_t kLongestName[] = u"N234567890123456789012345678901";   // 31 characters
constexpr char16_t kTooLongName[] = u"N2345678901234567890123456789012"; // 32 characters

std::u16string Lines(std::initializer_list<std::u16string_view> lstLines)
{
    std::u16string strText;
    for (std::u16string_view strLine : lstLines)
    {
        strText.append(strLine);
        strText.append(u"\r\n");
    }
    return strText;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view strText)
{
    return CMemoryRegistry::StringValue(strText).vecData;
}

class RegScriptTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_registrar.AddSubstitution(u"APPID", u"{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B3FF}"), RegHr::kOk);
        ASSERT_EQ(m_registrar.AddSubstitution(u"Module", kModuleEscaped), RegHr::kOk);
        ASSERT_EQ(m_registrar.AddSubstitution(u"Module_Raw", kModuleEscaped), RegHr::kOk);
    }

    // Every run, on every path, must give back each handle it opened.
    int32_t Run(std::u16string_view strText, bool bRegister, bool bPerUser = false)
    {
        const int32_t hr = m_registrar.RunScript(std::u16string(strText).c_str(), bRegister, bPerUser);
        EXPECT_EQ(m_registry.OpenHandleCount(), 0u) << "handle leak running: " << Utf16ToUtf8(strText);
        return hr;
    }

    int32_t Register(std::u16string_view strText, bool bPerUser = false) { return Run(strText, true, bPerUser); }
    int32_t Unregister(std::u16string_view strText, bool bPerUser = false) { return Run(strText, false, bPerUser); }

    std::u16string Expand(std::u16string_view strText, bool bPerUser, int32_t& hr)
    {
        std::u16string strOut;
        hr = m_registrar.ExpandScript(std::u16string(strText).c_str(), bPerUser, strOut);
        return strOut;
    }

    CMemoryRegistry m_registry;
    CRegObject m_registrar{m_registry};
};

// ---------------------------------------------------------------------------
// Expansion

struct ExpandCase
{
    std::u16string_view strText;
    bool bPerUser;
    int32_t hr;
    std::u16string_view strExpected;
};

TEST_F(RegScriptTest, ExpandsSubstitutionsAndRedirectsPerUserRoots)
{
    ASSERT_EQ(m_registrar.AddSubstitution(u"Dup", u"first"), RegHr::kOk);
    ASSERT_EQ(m_registrar.AddSubstitution(u"DUP", u"second"), RegHr::kOk);
    ASSERT_EQ(m_registrar.AddSubstitution(kLongestName, u"long"), RegHr::kOk);
    ASSERT_EQ(m_registrar.AddSubstitution(kTooLongName, u"never"), RegHr::kOk);

    const std::u16string strLongRef = u"%" + std::u16string(kLongestName) + u"%";
    const std::u16string strTooLongRef = u"%" + std::u16string(kTooLongName) + u"%";
    const ExpandCase rgCases[] = {
        {u"%MODULE%", false, RegHr::kOk, kModuleEscaped},
        {u"%module%|%MoDuLe_raw%", false, RegHr::kOk,
         u"C:\\Program Files\\O''Brien\\OrvaneShlExt64F.dll|C:\\Program Files\\O''Brien\\OrvaneShlExt64F.dll"},
        {u"100%% sure", false, RegHr::kOk, u"100% sure"},
        {u"%%MODULE%%", false, RegHr::kOk, u"%MODULE%"},
        {u"%dup%", false, RegHr::kOk, u"first"},
        {strLongRef, false, RegHr::kOk, u"long"},
        {strTooLongRef, false, RegHr::kFail, u""},
        {u"%Nope%", false, RegHr::kDispException, u""},
        {u"50%", false, RegHr::kDispException, u""},
        {u"HKCR { }", false, RegHr::kOk, u"HKCR { }"},
        {u"HKCR\r\n{\r\n}\r\n", true, RegHr::kOk,
         u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses\r\n{\r\n\r\n\t}\r\n}\r\n}\r\n"},
        {u"HKCR { a = s '}' }", true, RegHr::kOk,
         u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { a = s '}' \r\n\t}\r\n}\r\n}"},
        {u"HKCR { 'it''s {' }", true, RegHr::kOk,
         u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { 'it''s {' \r\n\t}\r\n}\r\n}"},
        {u"hkcr { }", true, RegHr::kOk, u"hkcr { }"},
        {u"HKEY_CLASSES_ROOT { }", true, RegHr::kOk, u"HKEY_CLASSES_ROOT { }"},
        {u"HKCRX { }", true, RegHr::kOk, u"HKCRX { }"},
        {u"HKLM { HKCR }", true, RegHr::kOk, u"HKLM { HKCR }"},
    };
    for (const ExpandCase& testCase : rgCases)
    {
        int32_t hr = RegHr::kOk;
        const std::u16string strOut = Expand(testCase.strText, testCase.bPerUser, hr);
        EXPECT_EQ(hr, testCase.hr) << Utf16ToUtf8(testCase.strText);
        if (hr == RegHr::kOk)
        {
            EXPECT_EQ(strOut, testCase.strExpected) << Utf16ToUtf8(testCase.strText);
        }
    }
}

TEST_F(RegScriptTest, SubstitutionMapRejectsNullAndCanBeCleared)
{
    EXPECT_EQ(m_registrar.AddSubstitution(nullptr, u"x"), RegHr::kInvalidArg);
    EXPECT_EQ(m_registrar.AddSubstitution(u"x", nullptr), RegHr::kInvalidArg);
    EXPECT_EQ(m_registrar.ClearSubstitutions(), RegHr::kOk);
    EXPECT_EQ(m_registrar.FindSubstitution(u"Module"), nullptr);
    EXPECT_EQ(Register(u"HKCR { '%Module%' }"), RegHr::kDispException);
    EXPECT_EQ(m_registry.KeyCount(kHKCR), 0u);
}

// ---------------------------------------------------------------------------
// Malformed scripts

TEST_F(RegScriptTest, MalformedScriptsFailAndLeaveNothingBehind)
{
    m_registry.PutKey(kHKCR, u"Parent\\Child");
    const std::u16string strLongToken(4095, u'x');
    const std::u16string strLongQuoted = u"HKCR { v = s '" + strLongToken + u"' }";
    const std::u16string_view rgScripts[] = {
        u" \r\n\t ",
        u"HKXX { a }",
        u"HKCR a",
        u"HKCR",
        u"HKCR {",
        u"HKCR { a",
        u"HKCR { a\\b }",
        u"HKCR { ForceRemove a\\b }",
        u"HKCR { val x s y }",
        u"HKCR { val x }",
        u"HKCR { 'open }",
        u"HKCR { a = s }",
        u"HKCR { NoRemove Parent { '' } }",
        u"HKCR { NoRemove Parent { ForceRemove '' } }",
        u"HKCR { a { val x = s y { b } } }",
        strLongQuoted,
    };
    for (std::u16string_view strScript : rgScripts)
    {
        for (bool bRegister : {true, false})
        {
            EXPECT_EQ(Run(strScript, bRegister), RegHr::kDispException) << Utf16ToUtf8(strScript.substr(0, 60));
            EXPECT_EQ(m_registry.KeyCount(kHKCR), 2u) << Utf16ToUtf8(strScript.substr(0, 60));
            EXPECT_TRUE(m_registry.HasKey(kHKCR, u"Parent\\Child"));
        }
    }
}

TEST_F(RegScriptTest, EmptyTextSucceedsWithoutTouchingTheRegistry)
{
    EXPECT_EQ(Register(u""), RegHr::kOk);
    EXPECT_EQ(Unregister(u""), RegHr::kOk);
    EXPECT_EQ(m_registry.HandlesOpenedInTotal(), 0u);
}

TEST_F(RegScriptTest, TokenOfMaximumLengthIsAccepted)
{
    const std::u16string strValue(4094, u'v');
    ASSERT_EQ(Register(u"HKCR { a = s '" + strValue + u"' }"), RegHr::kOk);
    EXPECT_EQ(m_registry.GetString(kHKCR, u"a", u""), strValue);
}

TEST_F(RegScriptTest, DeepNestingFailsInsteadOfExhaustingTheStack)
{
    std::u16string strScript = u"HKCR {";
    for (int i = 0; i < 600; ++i)
        strScript += u" k {";
    for (int i = 0; i <= 600; ++i)
        strScript += u" }";
    EXPECT_EQ(Register(strScript), RegHr::kDispException);
    EXPECT_EQ(m_registry.KeyCount(kHKCR), 0u);
    EXPECT_EQ(Unregister(strScript), RegHr::kDispException);
}

// ---------------------------------------------------------------------------
// Registering

TEST_F(RegScriptTest, QuotedTokensKeepSpacesBracesAndDoubledQuotes)
{
    ASSERT_EQ(Register(u"HKCR { 'Key With Spaces' = s 'O''Brien''s {x} = y' { val 'Val Name' = s '' } }"), RegHr::kOk);
    EXPECT_EQ(m_registry.GetString(kHKCR, u"Key With Spaces", u""), u"O'Brien's {x} = y");
    EXPECT_EQ(m_registry.GetString(kHKCR, u"key with spaces", u"val name"), u"");
}

struct ValueCase
{
    std::u16string_view strAssignment;
    int32_t hr;
    uint32_t nType;
    std::vector<uint8_t> vecData;
};

TEST_F(RegScriptTest, WritesEachValueType)
{
    const ValueCase rgCases[] = {
        {u"s 'abc'", RegHr::kOk, RegValueType::kString, Utf16Bytes(u"abc")},
        {u"M 'a\\0b'", RegHr::kOk, RegValueType::kMultiString, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
        {u"m 'c:\\d\\0e'", RegHr::kOk, RegValueType::kMultiString,
         {'c', 0, ':', 0, '\\', 0, 'd', 0, 0, 0, 'e', 0, 0, 0, 0, 0}},
        {u"m ''", RegHr::kOk, RegValueType::kMultiString, {0, 0}},
        {u"D 305", RegHr::kOk, RegValueType::kDword, {0x31, 0x01, 0, 0}},
        {u"d '&H10'", RegHr::kOk, RegValueType::kDword, {0x10, 0, 0, 0}},
        {u"D 4294967295", RegHr::kOk, RegValueType::kDword, {0xFF, 0xFF, 0xFF, 0xFF}},
        {u"D x1", RegHr::kDispTypeMismatch, 0, {}},
        {u"D 4294967296", RegHr::kDispOverflow, 0, {}},
        {u"B 0aFf", RegHr::kOk, RegValueType::kBinary, {0x0A, 0xFF}},
        {u"b zz12", RegHr::kOk, RegValueType::kBinary, {0x00, 0x12}},
        {u"B ''", RegHr::kOk, RegValueType::kBinary, {}},
        {u"B abc", RegHr::kFail, 0, {}},
        {u"Q 'x'", RegHr::kDispException, 0, {}},
        {u"SS 'x'", RegHr::kDispException, 0, {}},
    };
    for (const ValueCase& testCase : rgCases)
    {
        const std::u16string strScript = u"HKCR { Key { val Name = " + std::u16string(testCase.strAssignment) + u" } }";
        ASSERT_EQ(Register(strScript), testCase.hr) << Utf16ToUtf8(strScript);
        const auto value = m_registry.GetValue(kHKCR, u"Key", u"Name");
        if (testCase.hr != RegHr::kOk)
        {
            EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Key")) << "not undone: " << Utf16ToUtf8(strScript);
            continue;
        }
        ASSERT_TRUE(value.has_value()) << Utf16ToUtf8(strScript);
        EXPECT_EQ(value->nType, testCase.nType) << Utf16ToUtf8(strScript);
        EXPECT_EQ(value->vecData, testCase.vecData) << Utf16ToUtf8(strScript);
        ASSERT_EQ(Unregister(strScript), RegHr::kOk);
        EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Key"));
    }
}

TEST_F(RegScriptTest, ForceRemoveReplacesWhatAnEarlierRegistrationLeft)
{
    m_registry.PutKey(kHKCR, u"CLSID\\{Other}");
    const std::u16string_view strFirst = u"HKCR { NoRemove CLSID { ForceRemove {G} = s 'v1' { Old } } }";
    const std::u16string_view strSecond = u"HKCR { NoRemove CLSID { ForceRemove {G} = s 'v2' { New } } }";
    ASSERT_EQ(Register(strFirst), RegHr::kOk);
    m_registry.PutKey(kHKCR, u"CLSID\\{G}\\Foreign\\Deeper");
    m_registry.PutString(kHKCR, u"CLSID\\{G}", u"Extra", u"x");
    ASSERT_EQ(Register(strSecond), RegHr::kOk);
    ASSERT_EQ(Register(strSecond), RegHr::kOk);

    EXPECT_EQ(m_registry.GetString(kHKCR, u"CLSID\\{G}", u""), u"v2");
    EXPECT_EQ(m_registry.SubKeyCount(kHKCR, u"CLSID\\{G}"), 1u);
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"CLSID\\{G}\\New"));
    EXPECT_EQ(m_registry.ValueCount(kHKCR, u"CLSID\\{G}"), 1u);
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"CLSID\\{Other}"));
}

TEST_F(RegScriptTest, ForceRemoveAndDeleteNeverRemoveProtectedKeys)
{
    const std::u16string_view rgNames[] = {
        u"AppID", u"clsid", u"COMPONENT CATEGORIES", u"FileType", u"interface", u"HARDWARE",
        u"Mime",  u"sam",   u"Security",             u"system",   u"\u017Foftware", u"typelib",
    };
    for (std::u16string_view strName : rgNames)
    {
        m_registry.PutKey(kHKCR, std::u16string(strName) + u"\\Child");
        for (std::u16string_view strPrefix : {u"ForceRemove", u"Delete"})
        {
            const std::u16string strScript =
                u"HKCR { " + std::u16string(strPrefix) + u" '" + std::u16string(strName) + u"' }";
            EXPECT_EQ(Register(strScript), RegHr::kOk) << Utf16ToUtf8(strScript);
            EXPECT_TRUE(m_registry.HasKey(kHKCR, std::u16string(strName) + u"\\Child")) << Utf16ToUtf8(strScript);
        }
    }
}

TEST_F(RegScriptTest, ForceRemoveAndDeleteClearWholeTrees)
{
    m_registry.PutString(kHKCR, u"App\\A\\B\\C", u"v", u"1");
    m_registry.PutKey(kHKCR, u"App\\D");
    m_registry.PutKey(kHKCR, u"Old\\Sub\\Leaf");
    ASSERT_EQ(Register(u"HKCR { ForceRemove App = s new Delete Old = s ignored }"), RegHr::kOk);
    EXPECT_EQ(m_registry.SubKeyCount(kHKCR, u"App"), 0u);
    EXPECT_EQ(m_registry.GetString(kHKCR, u"App", u""), u"new");
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Old"));
}

// A prefix pair names the key after both prefixes; "NoRemove" is never taken
// for the name of the key to clear.
TEST_F(RegScriptTest, ForceRemoveOrDeleteFollowedByNoRemoveActsOnTheNamedKey)
{
    m_registry.PutKey(kHKCR, u"App\\Old");
    m_registry.PutKey(kHKCR, u"NoRemove\\Bystander");
    ASSERT_EQ(Register(u"HKCR { ForceRemove NoRemove App = s x }"), RegHr::kOk);
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"App\\Old"));
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"NoRemove\\Bystander"));
    ASSERT_EQ(Unregister(u"HKCR { ForceRemove NoRemove App = s x }"), RegHr::kOk);
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"App"));

    ASSERT_EQ(Register(u"HKCR { Delete NoRemove App }"), RegHr::kOk);
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"App"));
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"NoRemove\\Bystander"));
}

struct PerUserCase
{
    std::u16string_view strRoot;
    RegRootKey root;
    std::u16string_view strPath;
};

TEST_F(RegScriptTest, PerUserModeRedirectsOnlyTheUpperCaseShortRoot)
{
    m_registry.PutKey(kHKCU, u"Software\\Classes\\.txt");
    const PerUserCase rgCases[] = {
        {u"HKCR", kHKCU, u"Software\\Classes\\Foo"},
        {u"hkcr", kHKCR, u"Foo"},
        {u"HKEY_CLASSES_ROOT", kHKCR, u"Foo"},
        {u"HKLM", kHKLM, u"Foo"},
    };
    for (const PerUserCase& testCase : rgCases)
    {
        const std::u16string strScript = std::u16string(testCase.strRoot) + u"\r\n{\r\n\tFoo = s x\r\n}\r\n";
        ASSERT_EQ(Register(strScript, true), RegHr::kOk) << Utf16ToUtf8(strScript);
        EXPECT_EQ(m_registry.GetString(testCase.root, testCase.strPath, u""), u"x") << Utf16ToUtf8(strScript);
        EXPECT_EQ(m_registry.KeyCount(kHKCR) + m_registry.KeyCount(kHKCU) + m_registry.KeyCount(kHKLM), 4u);
        ASSERT_EQ(Unregister(strScript, true), RegHr::kOk);
        EXPECT_FALSE(m_registry.HasKey(testCase.root, testCase.strPath));
        EXPECT_TRUE(m_registry.HasKey(kHKCU, u"Software\\Classes\\.txt"));
    }
    EXPECT_EQ(Register(u"HKCRX { Foo }", true), RegHr::kDispException);
}

// ---------------------------------------------------------------------------
// Undoing a failed registration

TEST_F(RegScriptTest, FailedRegistrationUndoesItsRootBlockOnly)
{
    m_registry.PutKey(kHKCR, u"Keep\\Mine");
    const std::u16string_view strScript =
        u"HKLM { Done } HKCR { NoRemove Keep { New = s x { Deep } } Second = s y { val Bad = b 123 } } HKCU { Never }";
    EXPECT_EQ(Register(strScript), RegHr::kFail);
    EXPECT_TRUE(m_registry.HasKey(kHKLM, u"Done"));
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"Keep\\Mine"));
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Keep\\New"));
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Second"));
    EXPECT_EQ(m_registry.KeyCount(kHKCU), 0u);

    // A syntax error anywhere is found before anything is written.
    EXPECT_EQ(Register(u"HKU { Early } HKCR { Late"), RegHr::kDispException);
    EXPECT_EQ(m_registry.KeyCount(RegRootKey::Users), 0u);
}

struct FaultCase
{
    Op op;
    std::u16string_view strName;
    int32_t nError;
    uint32_t nAccessMask;
    int32_t hr;
};

TEST_F(RegScriptTest, RegistryErrorsDuringRegistrationAreReturnedAndUndone)
{
    const std::u16string_view strScript = u"HKCR { Top = s t { Child { val V = s v } } }";
    const FaultCase rgCases[] = {
        {Op::Create, u"Child", RegError::kAccessDenied, 0, RegHr::FromWin32(RegError::kAccessDenied)},
        {Op::SetValue, u"V", RegError::kOutOfMemory, 0, RegHr::kOutOfMemory},
        {Op::SetValue, u"", 1234, 0, RegHr::FromWin32(1234)},
        // Open for writing refused, read-only open works: the value cannot be set.
        {Op::Open, u"Top", RegError::kAccessDenied, RegAccess::kSetValue, RegHr::FromWin32(RegError::kAccessDenied)},
    };
    for (const FaultCase& testCase : rgCases)
    {
        m_registry.PutKey(kHKCR, u"Top");
        m_registry.InjectFault(testCase.op, testCase.strName, testCase.nError, testCase.nAccessMask);
        EXPECT_EQ(Register(strScript), testCase.hr) << Utf16ToUtf8(testCase.strName);
        m_registry.ClearFaults();
        EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Top\\Child")) << Utf16ToUtf8(testCase.strName);
        EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Top")) << Utf16ToUtf8(testCase.strName);
    }
}

// ---------------------------------------------------------------------------
// Unregistering

TEST_F(RegScriptTest, UnregisteringAbsentKeysSucceeds)
{
    m_registry.PutKey(kHKCR, u"CLSID\\{Other}");
    EXPECT_EQ(Unregister(u"HKCR { NoRemove CLSID { ForceRemove {G} = s x { Inproc { val v = s y } } } Gone }"),
              RegHr::kOk);
    EXPECT_EQ(m_registry.KeyCount(kHKCR), 2u);
}

TEST_F(RegScriptTest, UnregisteringKeepsKeysWithForeignSubkeysAndNoRemoveEntries)
{
    const std::u16string_view strScript =
        u"HKCR { NoRemove Root { App = s x { Sub { val v = s y } } Other { val a = s 1 NoRemove val b = s 2 } } }";
    ASSERT_EQ(Register(strScript), RegHr::kOk);
    m_registry.PutKey(kHKCR, u"Root\\App\\Foreign");
    m_registry.PutString(kHKCR, u"Root\\Other", u"Extra", u"e");
    m_registry.PutKey(kHKCR, u"Root\\Kept\\Inner");

    ASSERT_EQ(Unregister(strScript), RegHr::kOk);
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"Root\\App\\Foreign"));
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Root\\App\\Sub"));
    EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Root\\Other")); // extra values do not keep a key
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"Root\\Kept\\Inner"));

    ASSERT_EQ(Register(u"HKCR { NoRemove Vals { val a = s 1 NoRemove val b = s 2 } }"), RegHr::kOk);
    ASSERT_EQ(Unregister(u"HKCR { NoRemove Vals { val a = s 1 NoRemove val b = s 2 val c = s 3 } }"), RegHr::kOk);
    EXPECT_FALSE(m_registry.GetValue(kHKCR, u"Vals", u"a").has_value());
    EXPECT_TRUE(m_registry.GetValue(kHKCR, u"Vals", u"b").has_value());
}

TEST_F(RegScriptTest, RegistryErrorsDuringUnregistrationAreReturned)
{
    const std::u16string_view strScript = u"HKCR { Top { val V = s v Child } }";
    const FaultCase rgCases[] = {
        {Op::Open, u"Top", RegError::kAccessDenied, 0, RegHr::FromWin32(RegError::kAccessDenied)},
        {Op::DeleteValue, u"V", RegError::kAccessDenied, 0, RegHr::FromWin32(RegError::kAccessDenied)},
        {Op::DeleteSubKey, u"Child", RegError::kAccessDenied, 0, RegHr::FromWin32(RegError::kAccessDenied)},
        {Op::Close, u"Top", RegError::kInvalidHandle, 0, RegHr::FromWin32(RegError::kInvalidHandle)},
        {Op::DeleteValue, u"V", RegError::kFileNotFound, 0, RegHr::kOk},
    };
    for (const FaultCase& testCase : rgCases)
    {
        ASSERT_EQ(Register(strScript), RegHr::kOk);
        m_registry.InjectFault(testCase.op, testCase.strName, testCase.nError, testCase.nAccessMask);
        EXPECT_EQ(Unregister(strScript), testCase.hr) << Utf16ToUtf8(testCase.strName);
        m_registry.ClearFaults();
        ASSERT_EQ(Unregister(strScript), RegHr::kOk);
        EXPECT_FALSE(m_registry.HasKey(kHKCR, u"Top"));
    }
}

// A syntax error inside the block of an absent key must not be skipped over:
// reading on out of step would take "x" for a key and delete CLSID\x.
TEST_F(RegScriptTest, SyntaxErrorBelowAnAbsentKeyStopsUnregistration)
{
    m_registry.PutKey(kHKCR, u"CLSID\\x");
    EXPECT_EQ(Unregister(u"HKCR { NoRemove CLSID { Absent { val = s x } Other }"), RegHr::kDispException);
    EXPECT_TRUE(m_registry.HasKey(kHKCR, u"CLSID\\x"));
}

// ---------------------------------------------------------------------------
// The module's own scripts

constexpr char16_t kCompRegClsid[] = u"{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B301}";
constexpr char16_t kShellExtClsid[] = u"{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B302}";
constexpr char16_t kLibId[] = u"{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B300}";

const std::u16string kScript101 = Lines({
    u"HKCR",
    u"{",
    u"\tNoRemove CLSID",
    u"\t{",
    u"\t\tForceRemove {6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B301} = s 'CompReg Class'",
    u"\t\t{",
    u"\t\t\tInprocServer32 = s '%MODULE%'",
    u"\t\t\t{",
    u"\t\t\t\tval ThreadingModel = s 'Apartment'",
    u"\t\t\t}",
    u"\t\t\tTypeLib = s '{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B300}'",
    u"\t\t\tVersion = s '2.0'",
    u"\t\t}",
    u"\t}",
    u"}",
});

const std::u16string kScript106 = Lines({
    u"HKCR",
    u"{",
    u"\tNoRemove CLSID",
    u"\t{",
    u"\t\tForceRemove {6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B302} = s 'Orvane Shell Extension'",
    u"\t\t{",
    u"\t\t\tInprocServer32 = s '%MODULE%'",
    u"\t\t\t{",
    u"\t\t\t\tval ThreadingModel = s 'Apartment'",
    u"\t\t\t}",
    u"\t\t\tTypeLib = s '{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B300}'",
    u"\t\t\tVersion = s '2.1'",
    u"\t\t}",
    u"\t}",
    u"\tNoRemove *",
    u"\t{",
    u"\t\tNoRemove shellex",
    u"\t\t{",
    u"\t\t\tNoRemove ContextMenuHandlers",
    u"\t\t\t{",
    u"\t\t\t\tForceRemove 'Orvane' = s '{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B302}'",
    u"\t\t\t}",
    u"\t\t}",
    u"\t}",
    u"}",
});

struct ExpectedString
{
    std::u16string strPath;
    std::u16string_view strName;
    std::u16string_view strData;
};

std::vector<ExpectedString> ModuleEntries(std::u16string_view strBase)
{
    const std::u16string strBaseKey(strBase);
    const std::u16string strCompReg = strBaseKey + u"CLSID\\" + kCompRegClsid;
    const std::u16string strShellExt = strBaseKey + u"CLSID\\" + kShellExtClsid;
    return {
        {strCompReg, u"", u"CompReg Class"},
        {strCompReg + u"\\InprocServer32", u"", kModulePath},
        {strCompReg + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
        {strCompReg + u"\\TypeLib", u"", kLibId},
        {strCompReg + u"\\Version", u"", u"2.0"},
        {strShellExt, u"", u"Orvane Shell Extension"},
        {strShellExt + u"\\InprocServer32", u"", kModulePath},
        {strShellExt + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
        {strShellExt + u"\\TypeLib", u"", kLibId},
        {strShellExt + u"\\Version", u"", u"2.1"},
        {strBaseKey + u"*\\shellex\\ContextMenuHandlers\\Orvane", u"", kShellExtClsid},
    };
}

TEST_F(RegScriptTest, ModuleScriptsRegisterTwiceAndUnregisterCleanly)
{
    for (bool bPerUser : {false, true})
    {
        const RegRootKey root = bPerUser ? kHKCU : kHKCR;
        const std::u16string_view strBase = bPerUser ? u"Software\\Classes\\" : u"";
        m_registry.PutKey(kHKCR, u"CLSID\\{Other}");
        m_registry.PutKey(kHKCU, u"Software\\Classes\\CLSID\\{Other}");
        m_registry.PutKey(root, std::u16string(strBase) + u"*\\shellex\\ContextMenuHandlers\\Other");
        const size_t nMachineKeys = m_registry.KeyCount(kHKCR);
        for (int nRun = 0; nRun < 2; ++nRun)
        {
            ASSERT_EQ(Register(kScript101, bPerUser), RegHr::kOk);
            ASSERT_EQ(Register(kScript106, bPerUser), RegHr::kOk);
        }
        for (const ExpectedString& entry : ModuleEntries(strBase))
            EXPECT_EQ(m_registry.GetString(root, entry.strPath, entry.strName), entry.strData) << Utf16ToUtf8(entry.strPath);
        if (bPerUser)
        {
            EXPECT_EQ(m_registry.KeyCount(kHKCR), nMachineKeys);
        }

        ASSERT_EQ(Unregister(kScript106, bPerUser), RegHr::kOk);
        ASSERT_EQ(Unregister(kScript101, bPerUser), RegHr::kOk);
        for (const ExpectedString& entry : ModuleEntries(strBase))
            EXPECT_FALSE(m_registry.HasKey(root, entry.strPath)) << Utf16ToUtf8(entry.strPath);
        EXPECT_TRUE(m_registry.HasKey(root, std::u16string(strBase) + u"CLSID\\{Other}"));
        EXPECT_TRUE(m_registry.HasKey(root, std::u16string(strBase) + u"*\\shellex\\ContextMenuHandlers\\Other"));
    }
}

} // namespace
