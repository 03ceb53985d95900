// Where the extension finds the main application and the user's language:
// real registry values in the test prefix and a real ViewSettings.ini.
#include <gtest/gtest.h>

#include <windows.h>

#include "ShellExt/core/Handles.h"
#include "ShellExt/settings/Elevation.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        g_szAppPath.Clear();
    }
    void TearDown() override
    {
        DeleteProductKeys();
        g_szAppPath.Clear();
    }

    std::wstring AppPath() const
    {
        wchar_t sz[MAX_PATH];
        g_szAppPath.CopyTo(sz);
        return sz;
    }

    std::wstring LoadInstallDir()
    {
        wchar_t szInstallDir[MAX_PATH] = {};
        LoadSettings(szInstallDir);
        return szInstallDir;
    }

    ViewSettingsFile m_viewSettings;
};

TEST_F(SettingsTest, PerUserValuesWinValueByValue)
{
    struct Case
    {
        const wchar_t* pszMachinePath;
        const wchar_t* pszMachineDir;
        const wchar_t* pszUserPath;
        const wchar_t* pszUserDir;
        const wchar_t* pszExpectedPath;
        const wchar_t* pszExpectedDir;
    } cases[] = {
        {L"C:\\M\\orvane.exe", L"C:\\M", nullptr, nullptr, L"C:\\M\\orvane.exe", L"C:\\M"},
        {L"C:\\M\\orvane.exe", L"C:\\M", nullptr, L"C:\\U", L"C:\\M\\orvane.exe", L"C:\\U"},
        {L"C:\\M\\orvane.exe", nullptr, L"C:\\U\\orvane.exe", nullptr, L"C:\\U\\orvane.exe", L""},
        {nullptr, nullptr, L"C:\\U\\orvane.exe", L"C:\\U", L"C:\\U\\orvane.exe", L"C:\\U"},
    };
    for (const Case& c : cases)
    {
        DeleteProductKeys();
        g_szAppPath.Clear();
        ProductKey machine(HKEY_LOCAL_MACHINE), user(HKEY_CURRENT_USER);
        if (c.pszMachinePath)
            machine.SetString(L"OrvanePath", c.pszMachinePath);
        if (c.pszMachineDir)
            machine.SetString(L"OrvaneDir", c.pszMachineDir);
        if (c.pszUserPath)
            user.SetString(L"OrvanePath", c.pszUserPath);
        if (c.pszUserDir)
            user.SetString(L"OrvaneDir", c.pszUserDir);

        EXPECT_EQ(c.pszExpectedDir, LoadInstallDir()) << c.pszExpectedPath;
        EXPECT_EQ(c.pszExpectedPath, AppPath());
    }
}

TEST_F(SettingsTest, AnAppPathRemovedLaterIsRemembered)
{
    {
        ProductKey machine(HKEY_LOCAL_MACHINE);
        machine.SetString(L"OrvanePath", L"C:\\Apps\\Orvane\\Orvane.exe");
        LoadInstallDir();
    }
    EXPECT_EQ(L"C:\\Apps\\Orvane\\Orvane.exe", AppPath());
    LoadInstallDir();
    EXPECT_EQ(L"C:\\Apps\\Orvane\\Orvane.exe", AppPath());
}

TEST_F(SettingsTest, AValueFillingAllItsBytesStaysTerminated)
{
    ProductKey machine(HKEY_LOCAL_MACHINE);
    std::wstring strLong(300, L'd');
    machine.SetString(L"OrvaneDir", strLong.substr(0, 259));
    EXPECT_EQ(strLong.substr(0, 259), LoadInstallDir());
    // Too long for the 520-byte read: skipped, the directory keeps its value.
    machine.SetString(L"OrvaneDir", strLong);
    EXPECT_EQ(L"", LoadInstallDir());
}

// Raw data under the product key of one hive, of any type.
void SetRawValue(HKEY hHive, const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cbData)
{
    CRegKeyHandle key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(hHive, kProductKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                               nullptr, key.Receive(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData));
}

TEST_F(SettingsTest, PathsComeOnlyFromTextThatFitsWhole)
{
    const std::wstring strFull(MAX_PATH, L'p');  // 520 bytes, no terminator
    const wchar_t szExpand[] = L"%SystemRoot%\\x.exe";
    const DWORD dwAb = 0x00620061;  // "ab" when read as text
    struct Case
    {
        const char* pszWhat;
        DWORD dwType;
        const void* pData;
        DWORD cbData;
        const wchar_t* pszExpected;  // what the user's value leaves in g_szAppPath
    } cases[] = {
        {"REG_DWORD", REG_DWORD, &dwAb, sizeof(dwAb), L"C:\\M\\orvane.exe"},
        {"REG_BINARY", REG_BINARY, L"evil.exe", 18, L"C:\\M\\orvane.exe"},
        {"REG_MULTI_SZ", REG_MULTI_SZ, L"evil.exe\0", 20, L"C:\\M\\orvane.exe"},
        {"520 bytes unterminated", REG_SZ, strFull.c_str(), 520, L"C:\\M\\orvane.exe"},
        {"REG_EXPAND_SZ, as stored", REG_EXPAND_SZ, szExpand, sizeof(szExpand), szExpand},
        {"259 characters", REG_SZ, strFull.c_str(), 518, nullptr},
    };
    for (const Case& c : cases)
    {
        DeleteProductKeys();
        g_szAppPath.Clear();
        ProductKey machine(HKEY_LOCAL_MACHINE), user(HKEY_CURRENT_USER);
        machine.SetString(L"OrvanePath", L"C:\\M\\orvane.exe");
        SetRawValue(HKEY_CURRENT_USER, L"OrvanePath", c.dwType, c.pData, c.cbData);
        LoadInstallDir();
        EXPECT_EQ(c.pszExpected ? std::wstring(c.pszExpected) : strFull.substr(0, 259), AppPath()) << c.pszWhat;
    }
}

// The Wine helpers start every test program with the user's limited token
// (scripts/wine-env.sh); the ElevatedHostTest cases run elevated on purpose.
TEST_F(SettingsTest, TheTestsPlayAnOrdinaryUser)
{
    EXPECT_FALSE(IsProcessElevated());
}

TEST_F(SettingsTest, VersionMarkIsWrittenOnlyIntoAnExistingUserKey)
{
    LoadInstallDir();
    EXPECT_FALSE(ProductKeyExists(HKEY_CURRENT_USER));

    ProductKey user(HKEY_CURRENT_USER);
    LoadInstallDir();
    std::wstring strMark;
    ASSERT_TRUE(user.ReadString(L"DllVer", strMark));
    EXPECT_EQ(L"2.2.0 Free", strMark);
    user.SetString(L"DllVer", L"old");
    LoadInstallDir();
    ASSERT_TRUE(user.ReadString(L"DllVer", strMark));
    EXPECT_EQ(L"2.2.0 Free", strMark);
}

TEST_F(SettingsTest, LanguageFileComesFromViewSettingsWithEnglishAsDefault)
{
    ProductKey machine(HKEY_LOCAL_MACHINE);
    machine.SetString(L"OrvaneDir", L"C:\\Apps\\Orvane");
    struct Case
    {
        const char* pszIni;  // null: no file at all
        const wchar_t* pszExpected;
    } cases[] = {
        {nullptr, L"C:\\Apps\\Orvane\\Languages\\english.lng"},
        {"[Options]\r\nLang=\r\n", L"C:\\Apps\\Orvane\\Languages\\english.lng"},
        {"[Options]\r\nLang=deutsch\r\n", L"C:\\Apps\\Orvane\\Languages\\deutsch.lng"},
        {"[Other]\r\nLang=deutsch\r\n", L"C:\\Apps\\Orvane\\Languages\\english.lng"},
        {"[Options]\r\nLang=Fran\xc3\xa7" "ais\r\n", nullptr},
    };
    for (const Case& c : cases)
    {
        m_viewSettings.Remove();
        if (c.pszIni)
            m_viewSettings.Write(c.pszIni);
        LoadInstallDir();
        if (c.pszExpected)
            EXPECT_EQ(c.pszExpected, g_strLangFile.Copy()) << (c.pszIni ? c.pszIni : "(none)");
        else  // used verbatim, whatever its characters
            EXPECT_EQ(0u, g_strLangFile.Copy().find(L"C:\\Apps\\Orvane\\Languages\\Fran"));
    }
    EXPECT_EQ(m_viewSettings.Path(), g_strViewSettingsIni.Copy());
}

TEST_F(SettingsTest, AppDataVariableIsTakenOnlyWhenItFitsWhole)
{
    std::wstring strSaved = EnvW(L"AppData");
    struct Case
    {
        std::wstring strValue;
        bool bSet;
        std::wstring strExpected;
    } cases[] = {
        {L"C:\\Users\\someone\\AppData\\Roaming", true, L"C:\\Users\\someone\\AppData\\Roaming"},
        {std::wstring(259, L'x'), true, std::wstring(259, L'x')},
        {std::wstring(260, L'x'), true, L""},
        {L"", false, L""},
    };
    for (const Case& c : cases)
    {
        ::SetEnvironmentVariableW(L"AppData", c.bSet ? c.strValue.c_str() : nullptr);
        ReadAppDataVariable();
        wchar_t sz[MAX_PATH];
        g_szAppData.CopyTo(sz);
        EXPECT_EQ(c.strExpected, sz) << c.strValue.size();
    }
    ::SetEnvironmentVariableW(L"AppData", strSaved.c_str());
    ReadAppDataVariable();
}

}  // namespace
