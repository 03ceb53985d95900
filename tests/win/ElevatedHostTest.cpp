// What an elevated host (an administrator's program with a file dialog)
// takes from what the user can write: nothing. These cases run only in the
// test program that ctest starts elevated (*.elevated, ORVANE_WINE_ELEVATED=1);
// elsewhere they skip.
#include <gtest/gtest.h>

#include <windows.h>

#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/SelectionFile.h"
#include "ShellExt/settings/Elevation.h"
#include "ShellExt/settings/Settings.h"
#include "ShellExt/settings/Switches.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

class ElevatedHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (EnvW(L"ORVANE_WINE_ELEVATED") != L"1")
            GTEST_SKIP() << "runs only in the elevated test program";
        ASSERT_TRUE(IsProcessElevated());
        DeleteProductKeys();
        g_szAppPath.Clear();
    }
    void TearDown() override
    {
        DeleteProductKeys();
        g_szAppPath.Clear();
    }

    static std::wstring Load(std::wstring& strAppPath)
    {
        wchar_t szInstallDir[MAX_PATH] = {};
        LoadSettings(szInstallDir);
        wchar_t szAppPath[MAX_PATH];
        g_szAppPath.CopyTo(szAppPath);
        strAppPath = szAppPath;
        return szInstallDir;
    }

    ViewSettingsFile m_viewSettings;
};

TEST_F(ElevatedHostTest, OnlyTheMachinesValuesAreTaken)
{
    ProductKey machine(HKEY_LOCAL_MACHINE), user(HKEY_CURRENT_USER);
    machine.SetString(L"OrvanePath", L"C:\\M\\good.exe");
    user.SetString(L"OrvanePath", L"C:\\U\\evil.exe");
    user.SetString(L"OrvaneDir", L"C:\\U");
    std::wstring strAppPath;
    EXPECT_EQ(L"", Load(strAppPath));
    EXPECT_EQ(L"C:\\M\\good.exe", strAppPath);
}

TEST_F(ElevatedHostTest, NothingStartsWhenTheMachineNamesNothing)
{
    ProductKey user(HKEY_CURRENT_USER);
    user.SetString(L"OrvanePath", StandinPath());
    std::wstring strAppPath;
    Load(strAppPath);
    EXPECT_EQ(L"", strAppPath);
    StandinLog log;
    StartMainApplication(L"-ad");
    PumpMessagesFor(1500);
    EXPECT_TRUE(log.Read().empty());
}

TEST_F(ElevatedHostTest, NoTraceWhateverTheSwitchSays)
{
    const DWORD dwOn = 1;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, kShellExtSwitchesKey, L"Trace", REG_DWORD, &dwOn,
                                               sizeof(dwOn)));
    ForgetShellExtSwitches();
    EXPECT_FALSE(CurrentShellExtSwitches().bTrace);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellExtSwitchesKey, L"Trace");
    ForgetShellExtSwitches();
}

// tests/win/CMakeLists.txt makes linked-profile\Kelvoss a link to
// link-target, as a junction that the user planted in the profile or in TEMP
// would be.
TEST_F(ElevatedHostTest, TheFixedCopyIsNeitherWrittenNorReadThroughALink)
{
    const std::wstring strWork = WinPathFromEnv(L"ORVANE_TEST_WORKDIR");
    const std::wstring strRedirected = strWork + L"\\link-target\\Orvane\\selectedfiles.dat";
    ::DeleteFileW(strRedirected.c_str());
    wchar_t szSelection[MAX_PATH];
    WriteSelectionFile({L"C:\\a.txt"}, szSelection);
    ASSERT_NE(L'\0', szSelection[0]);

    const std::wstring strSaved = EnvW(L"AppData");
    const std::wstring strPlain = MakeTempFolder(L"profile");
    ASSERT_TRUE(CreateFolderTree(strPlain + L"\\Kelvoss\\Orvane"));
    for (const std::wstring& strAppData : {strPlain, strWork + L"\\linked-profile"})
    {
        ::SetEnvironmentVariableW(L"AppData", strAppData.c_str());
        ReadAppDataVariable();
        CopySelectionFileFrom(szSelection);
    }
    const std::wstring strCopy = strPlain + L"\\Kelvoss\\Orvane\\selectedfiles.dat";
    EXPECT_EQ(SelectionBytes({L"C:\\a.txt"}), ReadFileBytes(strCopy));
    EXPECT_FALSE(FileExists(strRedirected));

    // A selection file named through a link (a file only the administrator
    // may read, say) is not copied where the user can read it.
    WriteTextFile(strWork + L"\\link-target\\secret.dat", "not for the user");
    ::DeleteFileW(strCopy.c_str());
    ::SetEnvironmentVariableW(L"AppData", strPlain.c_str());
    ReadAppDataVariable();
    CopySelectionFileFrom((strWork + L"\\linked-profile\\Kelvoss\\secret.dat").c_str());
    EXPECT_FALSE(FileExists(strCopy));
    ::SetEnvironmentVariableW(L"AppData", strSaved.c_str());
    ReadAppDataVariable();
    DeleteFolderTree(strPlain);
}

}  // namespace
