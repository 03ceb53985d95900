// From a right-click to the main application: Initialize with a real
// CF_HDROP data object, QueryContextMenu, InvokeCommand by offset, and what
// the stand-in main application received.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "ShellExt/menu/HandOff.h"
#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

const UINT kIdCmdFirst = 100;
const DWORD kStartWaitMs = 15000;

class InvokeCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        m_strInstallDir = MakeTempFolder(L"orvane-install");
        m_pMachine.reset(new ProductKey(HKEY_LOCAL_MACHINE));
        m_pMachine->SetString(L"OrvanePath", StandinPath());
        m_pMachine->SetString(L"OrvaneDir", m_strInstallDir);
        m_strCopy = OrvaneDataFolder() + L"\\selectedfiles.dat";
        ::DeleteFileW(m_strCopy.c_str());
    }
    void TearDown() override
    {
        ReleaseObject();
        m_pMachine.reset();
        DeleteFolderTree(m_strInstallDir);
        g_szAppPath.Clear();
    }

    void RightClick(const std::vector<std::wstring>& vecFiles, UINT uFlags)
    {
        ReleaseObject();
        m_pObject = new CComObject<CSimpleShlExt>();
        m_pObject->AddRef();
        IDataObject* pData = CreateHDropDataObject(vecFiles);
        ASSERT_EQ(S_OK, m_pObject->Initialize(nullptr, pData, nullptr));
        pData->Release();
        HMENU hMenu = ::CreatePopupMenu();
        HRESULT hr = m_pObject->QueryContextMenu(hMenu, 0, kIdCmdFirst, kIdCmdFirst + 100, uFlags);
        ::DestroyMenu(hMenu);
        ASSERT_EQ(uFlags & CMF_EXTENDEDVERBS ? 14 : 12, HRESULT_CODE(hr));
    }

    HRESULT Invoke(UINT_PTR nVerb)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = reinterpret_cast<LPCSTR>(nVerb);
        info.nShow = SW_SHOWNORMAL;
        return m_pObject->InvokeCommand(&info);
    }

    std::wstring SelectionFile() const
    {
        wchar_t sz[MAX_PATH];
        g_szSelectionFile.CopyTo(sz);
        return sz;
    }

    void ReleaseObject()
    {
        if (m_pObject)
            m_pObject->Release();
        m_pObject = nullptr;
    }

    std::wstring Library() const { return m_strInstallDir + L"\\icl\\Main.icl"; }

    std::wstring m_strInstallDir;
    std::wstring m_strCopy;
    std::unique_ptr<ProductKey> m_pMachine;
    CComObject<CSimpleShlExt>* m_pObject = nullptr;
};

TEST_F(InvokeCommandTest, EveryItemOfBothMenusStartsTheMainApplicationWithItsSwitch)
{
    const std::vector<std::wstring> vecFiles = {L"C:\\a.txt", L"D:\\b"};
    ASSERT_EQ(30u, SelectionBytes(vecFiles).size());
    const std::wstring strLib = L"\"" + Library() + L"\" ";
    struct Case
    {
        UINT uFlags;
        UINT nOffset;
        std::wstring strExpectedTail;  // the parameters after the quoted selection file
        const wchar_t* pszSwitch;
    } cases[] = {
        {CMF_NORMAL, 0, L" " + strLib + L"0", L"-oi"},    {CMF_NORMAL, 1, L" " + strLib + L"2", L"-oi"},
        {CMF_NORMAL, 2, L" " + strLib + L"3", L"-oi"},    {CMF_NORMAL, 3, L" " + strLib + L"5", L"-oi"},
        {CMF_NORMAL, 4, L" " + strLib + L"6", L"-oi"},    {CMF_NORMAL, 5, L" " + strLib + L"8", L"-oi"},
        {CMF_NORMAL, 6, L" 3556862", L"-ci"},             {CMF_NORMAL, 7, L" 2947604", L"-ci"},
        {CMF_NORMAL, 8, L" 16748891", L"-ci"},            {CMF_NORMAL, 9, L" 11711154", L"-ci"},
        {CMF_NORMAL, 10, L"", L"-rd"},                    {CMF_NORMAL, 11, L"", L"-mi"},
        {CMF_EXTENDEDVERBS, 3, L" " + strLib + L"5", L"-oi"}, {CMF_EXTENDEDVERBS, 8, L" 16748891", L"-ci"},
        {CMF_EXTENDEDVERBS, 10, L"", L"-uo"},             {CMF_EXTENDEDVERBS, 11, L"", L"-uc"},
        {CMF_EXTENDEDVERBS, 12, L"", L"-rd"},             {CMF_EXTENDEDVERBS, 13, L"", L"-mi"},
    };
    StandinLog log;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "flags " << c.uFlags << " offset " << c.nOffset);
        RightClick(vecFiles, c.uFlags);
        size_t nBefore = WithoutHandOffs(log.Read()).size();
        ASSERT_EQ(S_OK, Invoke(c.nOffset));
        std::wstring strSelection = SelectionFile();
        ASSERT_FALSE(strSelection.empty());
        EXPECT_EQ(SelectionBytes(vecFiles), ReadFileBytes(strSelection));

        ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return WithoutHandOffs(log.Read()).size() > nBefore; }));
        StandinStart start = WithoutHandOffs(log.Read()).back();
        std::wstring strExpected = std::wstring(c.pszSwitch) + L" \"" + strSelection + L"\"" + c.strExpectedTail;
        EXPECT_EQ(strExpected, ParametersOf(start));
        EXPECT_EQ(SelectionBytes(vecFiles), start.vecSelection);
        EXPECT_EQ(SelectionBytes(vecFiles), start.vecCopy);
    }
}

TEST_F(InvokeCommandTest, RefusedVerbsStillLeaveANewSelectionFileButStartNothing)
{
    StandinLog log;
    RightClick({L"C:\\x.txt"}, CMF_NORMAL);
    struct Case
    {
        UINT_PTR nVerb;
        const char* pszWhy;
    } cases[] = {
        {reinterpret_cast<UINT_PTR>("open"), "a verb given as text"},
        {12, "the first offset beyond the records"},
        {0xFFFF, "the largest offset"},
    };
    for (const Case& c : cases)
    {
        std::wstring strBefore = SelectionFile();
        EXPECT_EQ(E_INVALIDARG, Invoke(c.nVerb)) << c.pszWhy;
        std::wstring strAfter = SelectionFile();
        EXPECT_NE(strBefore, strAfter) << c.pszWhy;
        EXPECT_EQ(SelectionBytes({L"C:\\x.txt"}), ReadFileBytes(strAfter)) << c.pszWhy;
    }
    EXPECT_EQ(E_INVALIDARG, m_pObject->InvokeCommand(nullptr));
    PumpMessagesFor(1500);
    EXPECT_TRUE(WithoutHandOffs(log.Read()).empty());
    EXPECT_FALSE(FileExists(m_strCopy)) << "a refused call copies nothing";
}

TEST_F(InvokeCommandTest, TwoInvocationsLeaveTwoFilesAndTheCopyOfTheSecond)
{
    StandinLog log;
    RightClick({L"C:\\one.txt"}, CMF_NORMAL);
    ASSERT_EQ(S_OK, Invoke(11));
    std::wstring strFirst = SelectionFile();
    RightClick({L"C:\\two.txt", L"C:\\three.txt"}, CMF_NORMAL);
    ASSERT_EQ(S_OK, Invoke(11));
    std::wstring strSecond = SelectionFile();

    EXPECT_NE(strFirst, strSecond);
    EXPECT_EQ(SelectionBytes({L"C:\\one.txt"}), ReadFileBytes(strFirst));
    EXPECT_EQ(SelectionBytes({L"C:\\two.txt", L"C:\\three.txt"}), ReadFileBytes(strSecond));
    EXPECT_EQ(ReadFileBytes(strSecond), ReadFileBytes(m_strCopy));
    // Names come from the temporary folder and the documented number range.
    wchar_t szTemp[MAX_PATH];
    ::GetEnvironmentVariableW(L"TEMP", szTemp, MAX_PATH);
    for (const std::wstring& str : {strFirst, strSecond})
    {
        ASSERT_EQ(0u, str.find(std::wstring(szTemp) + L"\\orvane"));
        int n = _wtoi(str.c_str() + wcslen(szTemp) + 7);
        EXPECT_GE(n, 100000);
        EXPECT_LE(n, 132767);
        EXPECT_EQ(L".dat", str.substr(str.size() - 4));
    }
    ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return WithoutHandOffs(log.Read()).size() >= 2; }));
}

TEST_F(InvokeCommandTest, LongPathsReachTheMainApplicationWhole)
{
    // A temporary folder and an installation folder so long that the
    // selection file and the library path are 259 characters each.
    std::wstring strBase = MakeTempFolder(L"long");
    std::wstring strTemp = strBase + L"\\" + std::wstring(259 - 17 - strBase.size() - 1, L't');
    ASSERT_TRUE(CreateFolderTree(strTemp));
    std::wstring strInstall = strBase + L"\\" + std::wstring(259 - 13 - strBase.size() - 1, L'i');
    m_pMachine->SetString(L"OrvaneDir", strInstall);
    std::wstring strSavedTemp = EnvW(L"TEMP");
    ::SetEnvironmentVariableW(L"TEMP", strTemp.c_str());

    StandinLog log;
    RightClick({L"C:\\a.txt"}, CMF_NORMAL);
    ASSERT_EQ(S_OK, Invoke(3));
    ::SetEnvironmentVariableW(L"TEMP", strSavedTemp.c_str());
    std::wstring strSelection = SelectionFile();
    EXPECT_EQ(259u, strSelection.size());
    std::wstring strLibrary = strInstall + L"\\icl\\Main.icl";
    EXPECT_EQ(259u, strLibrary.size());

    ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return !WithoutHandOffs(log.Read()).empty(); }));
    std::wstring strParameters = ParametersOf(WithoutHandOffs(log.Read())[0]);
    EXPECT_GT(strParameters.size(), 519u);
    EXPECT_EQ(L"-oi \"" + strSelection + L"\" \"" + strLibrary + L"\" 5", strParameters);
    EXPECT_EQ(SelectionBytes({L"C:\\a.txt"}), ReadFileBytes(strSelection));
    DeleteFolderTree(strBase);
}

TEST_F(InvokeCommandTest, WithoutAUsableTempVariableTheSystemTemporaryFolderServes)
{
    std::wstring strSavedTemp = EnvW(L"TEMP"), strSavedTmp = EnvW(L"TMP");
    std::wstring strTmp = MakeTempFolder(L"tmpvar");
    ::SetEnvironmentVariableW(L"TMP", strTmp.c_str());
    for (bool bAbsent : {true, false})
    {
        std::wstring strTooLong = L"C:\\" + std::wstring(300, L'x');
        ::SetEnvironmentVariableW(L"TEMP", bAbsent ? nullptr : strTooLong.c_str());
        RightClick({L"C:\\a.txt"}, CMF_NORMAL);
        g_szAppPath.Clear();  // nothing to start here
        EXPECT_EQ(E_INVALIDARG, Invoke(99));
        std::wstring strSelection = SelectionFile();
        EXPECT_EQ(0u, strSelection.find(strTmp + L"\\orvane")) << strSelection;
        EXPECT_EQ(SelectionBytes({L"C:\\a.txt"}), ReadFileBytes(strSelection));
    }
    ::SetEnvironmentVariableW(L"TEMP", strSavedTemp.c_str());
    ::SetEnvironmentVariableW(L"TMP", strSavedTmp.c_str());
    DeleteFolderTree(strTmp);
}

TEST_F(InvokeCommandTest, AFixedCopyPathThatWouldNotFitIsNeverWrittenCut)
{
    std::wstring strSavedAppData = EnvW(L"AppData");
    std::wstring strBase = MakeTempFolder(L"appdata");
    // The copy's path would be 274 characters; cut to 259 it would end in
    // "...\Kelvoss\Orvane\sele" inside a folder that exists.
    std::wstring strAppData = strBase + L"\\" + std::wstring(240 - strBase.size() - 1, L'a');
    std::wstring strOrvane = strAppData + L"\\Kelvoss\\Orvane";
    ASSERT_TRUE(CreateFolderTree(strOrvane));
    ::SetEnvironmentVariableW(L"AppData", strAppData.c_str());

    RightClick({L"C:\\a.txt"}, CMF_NORMAL);  // the object reads AppData when made
    g_szAppPath.Clear();
    EXPECT_EQ(S_OK, Invoke(11));
    ::SetEnvironmentVariableW(L"AppData", strSavedAppData.c_str());
    ReadAppDataVariable();

    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strOrvane + L"\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFind);
    int nFiles = 0;
    do
    {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++nFiles;
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    EXPECT_EQ(0, nFiles);
    DeleteFolderTree(strBase);
}

class InvokeCommandSlowTest : public InvokeCommandTest
{
};

TEST_F(InvokeCommandSlowTest, AChosenItemStartsTheMainApplicationTwiceItsSwitchFirst)
{
    StandinLog log;
    DWORD dwStart = ::GetTickCount();
    RightClick({L"C:\\a.txt", L"D:\\b"}, CMF_NORMAL);
    ASSERT_EQ(S_OK, Invoke(8));  // "Blue"
    std::wstring strSelection = SelectionFile();

    std::vector<StandinStart> vecStarts = log.WaitFor(1, kStartWaitMs);
    ASSERT_EQ(1u, vecStarts.size());
    EXPECT_EQ(L"-ci \"" + strSelection + L"\" 16748891", ParametersOf(vecStarts[0]));

    vecStarts = log.WaitFor(2, 12000);
    ASSERT_EQ(2u, vecStarts.size());
    EXPECT_GE(::GetTickCount() - dwStart, 9900u);
    EXPECT_EQ(L"-ad", ParametersOf(vecStarts[1]));
    EXPECT_EQ(SelectionBytes({L"C:\\a.txt", L"D:\\b"}), vecStarts[1].vecCopy);
}

}  // namespace
