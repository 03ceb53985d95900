// The whole path from a right-click to the delayed hand-off, with real
// ten-second thread timers: these tests wait, so they run on their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "ShellExt/menu/HandOff.h"
#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

const DWORD kHandOffMs = 10000;

class HandOffSlowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        m_strInstallDir = MakeTempFolder(L"install");
        m_installation.emplace(m_strInstallDir);
        m_viewSettings.WriteLanguage(L"deutsch");
    }
    void TearDown() override
    {
        m_installation.reset();
        DeleteFolderTree(m_strInstallDir);
        g_szAppPath.Clear();
    }

    // Initialize as Explorer does it: through the object's IShellExtInit,
    // releasing the object right away (the timer must not need it).
    HRESULT RightClick(const std::vector<std::wstring>& vecFiles, std::vector<std::wstring>* pvecCaptured = nullptr)
    {
        auto* pObject = new CComObject<CSimpleShlExt>();
        pObject->AddRef();
        IDataObject* pData = CreateHDropDataObject(vecFiles);
        HRESULT hr = pObject->Initialize(nullptr, pData, nullptr);
        pData->Release();
        if (pvecCaptured)
            *pvecCaptured = pObject->SelectedFiles();
        EXPECT_STREQ(m_strInstallDir.c_str(), pObject->InstallDir());
        pObject->Release();
        return hr;
    }

    std::wstring m_strInstallDir;
    ViewSettingsFile m_viewSettings;
    std::optional<StandinInstallation> m_installation;
};

TEST_F(HandOffSlowTest, RightClickReadsSettingsAndStartsTheMainApplicationTenSecondsLater)
{
    StandinLog log;
    std::wstring strCopy = OrvaneDataFolder() + L"\\selectedfiles.dat";
    WriteFileBytes(strCopy, {0xFF, 0xFE, 'o', 0, 'l', 0, 'd', 0});
    g_szSelectionFile.Clear();  // nothing written yet in this process

    LONG nLocksBefore = g_pModule->GetModuleLockCount();
    DWORD dwStart = ::GetTickCount();
    std::vector<std::wstring> vecFiles = {L"C:\\a.txt", L"D:\\folder\\b.doc"}, vecCaptured;
    ASSERT_EQ(S_OK, RightClick(vecFiles, &vecCaptured));
    EXPECT_EQ(vecFiles, vecCaptured);

    wchar_t szAppPath[MAX_PATH];
    g_szAppPath.CopyTo(szAppPath);
    EXPECT_EQ(StandinPath(), szAppPath);
    EXPECT_EQ(m_strInstallDir + L"\\Languages\\deutsch.lng", g_strLangFile.Copy());
    std::wstring strMark;
    EXPECT_TRUE(m_installation->User().ReadString(L"DllVer", strMark));
    EXPECT_EQ(L"2.2.0 Free", strMark);

    // The pending timer keeps the DLL loaded even though the object is gone.
    EXPECT_EQ(nLocksBefore + 1, g_pModule->GetModuleLockCount());

    PumpMessagesFor(kHandOffMs - 1500);
    EXPECT_TRUE(log.Read().empty()) << "started before the ten seconds were up";

    std::vector<StandinStart> vecStarts = log.WaitFor(1, 8000);
    DWORD dwElapsed = ::GetTickCount() - dwStart;
    ASSERT_EQ(1u, vecStarts.size());
    EXPECT_EQ(std::vector<std::wstring>{L"-ad"}, vecStarts[0].vecArgs);
    EXPECT_GE(dwElapsed, kHandOffMs - 100);
    // No selection file was written in the process: the copy is left alone.
    EXPECT_EQ(ReadFileBytes(strCopy), vecStarts[0].vecCopy);

    PumpMessagesFor(1500);
    EXPECT_EQ(1u, log.Read().size()) << "the timer fires only once";
    EXPECT_EQ(nLocksBefore, g_pModule->GetModuleLockCount());
}

TEST_F(HandOffSlowTest, EachRightClickGetsItsOwnHandOff)
{
    StandinLog log;
    ASSERT_EQ(S_OK, RightClick({L"C:\\first.txt"}));
    PumpMessagesFor(3000);
    ASSERT_EQ(S_OK, RightClick({L"C:\\second.txt"}));

    std::vector<StandinStart> vecStarts = log.WaitFor(1, kHandOffMs);
    EXPECT_EQ(1u, vecStarts.size());
    vecStarts = log.WaitFor(2, 5000);
    ASSERT_EQ(2u, vecStarts.size());
    for (const StandinStart& start : vecStarts)
        EXPECT_EQ(std::vector<std::wstring>{L"-ad"}, start.vecArgs);
    PumpMessagesFor(1000);
    EXPECT_EQ(2u, log.Read().size());
}

}  // namespace
