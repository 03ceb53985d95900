// From a right-click to the main application: Initialize with a real
// CF_HDROP data object, QueryContextMenu, InvokeCommand by offset, and what
// the stand-in main application received.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "ShellExt/core/Handles.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/SelectionFile.h"
#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/ServerTestSupport.h"
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

    void RightClick(const std::vector<std::wstring>& vecFiles, UINT uFlags, bool bWideNames = true)
    {
        ReleaseObject();
        m_pObject = new CComObject<CSimpleShlExt>();
        m_pObject->AddRef();
        IDataObject* pData = CreateHDropDataObject(vecFiles, true, bWideNames);
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
    // Before any message is pumped: the right-click's own ten-second hand-off
    // (and one left by an earlier test) copies when its timer fires, which
    // on a slow machine may be within the wait below.
    EXPECT_FALSE(FileExists(m_strCopy)) << "a refused call copies nothing";
    PumpMessagesFor(1500);
    EXPECT_TRUE(WithoutHandOffs(log.Read()).empty());
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

// A folder's worth of selection, ten thousand files, with names at and
// around the length of the shell's usual 520-character buffer.
std::vector<std::wstring> ManyFiles(bool bAsciiOnly)
{
    std::vector<std::wstring> vecFiles;
    for (int i = 0; i < 10000; ++i)
        vecFiles.push_back(L"C:\\Users\\someone\\Documents\\" + std::wstring(bAsciiOnly ? L"Projects" : L"Pr\u00F6jekte \u6587\u4EF6") +
                           L"\\report " + std::to_wstring(i) + L".txt");
    for (size_t nLength : {518u, 519u, 520u, 600u})
        vecFiles.insert(vecFiles.begin() + static_cast<std::ptrdiff_t>(nLength), L"C:\\" + std::wstring(nLength - 7, L'n') + L".txt");
    return vecFiles;
}

TEST_F(InvokeCommandTest, TenThousandFilesFromWideAnd8BitListsReachTheSelectionFileInOrder)
{
    m_pMachine->DeleteValue(L"OrvanePath");  // nothing to start
    for (bool bWideNames : {true, false})
    {
        std::vector<std::wstring> vecFiles = ManyFiles(!bWideNames);
        RightClick(vecFiles, CMF_NORMAL, bWideNames);
        EXPECT_EQ(vecFiles, m_pObject->SelectedFiles()) << (bWideNames ? "wide" : "8-bit");
        ASSERT_EQ(S_OK, Invoke(3));
        EXPECT_EQ(SelectionBytes(vecFiles), ReadFileBytes(SelectionFile())) << (bWideNames ? "wide" : "8-bit");
    }
}

// Two windows' threads of one host (each a single-threaded apartment, as
// Explorer's) choose an item at the same moment and end before their
// message loops have run the hand-off timers, through the real DLL.
TEST_F(InvokeCommandTest, TwoThreadsHandingOffAtOnceKeepTheirOwnFilesAndEndWithoutPinningTheDll)
{
    StandinLog log;
    CServerDll dll;
    ASSERT_TRUE(dll.IsLoaded());
    const std::vector<std::wstring> vecSelections[2] = {{L"C:\\first window\\a.txt", L"C:\\first window\\b.txt"},
                                                        {L"D:\\second window\\c.doc"}};
    HANDLE hGo = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> nReady(0);
    HRESULT hrInvoked[2] = {E_FAIL, E_FAIL};
    std::vector<std::thread> vecThreads;
    for (int n = 0; n < 2; ++n)
    {
        vecThreads.emplace_back([&, n] {
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            IContextMenu* pMenu = nullptr;
            if (SUCCEEDED(dll.CreateInstance(CLSID_SimpleShlExt, IID_IContextMenu, reinterpret_cast<void**>(&pMenu))))
            {
                IShellExtInit* pInit = nullptr;
                pMenu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&pInit));
                IDataObject* pData = CreateHDropDataObject(vecSelections[n]);
                pInit->Initialize(nullptr, pData, nullptr);
                pData->Release();
                pInit->Release();
                HMENU hMenu = ::CreatePopupMenu();
                pMenu->QueryContextMenu(hMenu, 0, kIdCmdFirst, kIdCmdFirst + 100, CMF_NORMAL);
                ++nReady;
                ::WaitForSingleObject(hGo, 10000);
                CMINVOKECOMMANDINFO info = {};
                info.cbSize = sizeof(info);
                info.lpVerb = MAKEINTRESOURCEA(3);
                hrInvoked[n] = pMenu->InvokeCommand(&info);
                pMenu->Release();
                ::DestroyMenu(hMenu);
            }
            ::CoUninitialize();
        });
    }
    while (nReady < 2 && ::WaitForSingleObject(hGo, 10) == WAIT_TIMEOUT)
        ;
    ::SetEvent(hGo);
    for (std::thread& thread : vecThreads)
        thread.join();
    ::CloseHandle(hGo);
    EXPECT_EQ(S_OK, hrInvoked[0]);
    EXPECT_EQ(S_OK, hrInvoked[1]);
    // Their timers ended with them: nothing holds the DLL any more.
    EXPECT_EQ(S_OK, dll.CanUnloadNow());

    // The two chosen items' starts. Every right-click of this thread (the
    // tests before this one) left a "-ad" hand-off timer due ten seconds
    // later; when a start takes seconds to be logged (a loaded machine,
    // emulation), those timers run while this test pumps for it.
    PumpMessagesUntil(kStartWaitMs, [&] { return WithoutHandOffs(log.Read()).size() >= 2; });
    std::vector<StandinStart> vecStarts = WithoutHandOffs(log.Read());
    std::wstring strStarts;
    for (const StandinStart& start : vecStarts)
        strStarts += L"[" + ParametersOf(start) + L"] ";
    ASSERT_EQ(2u, vecStarts.size()) << WideToUtf8(strStarts);
    ASSERT_EQ(4u, vecStarts[0].vecArgs.size());
    ASSERT_EQ(4u, vecStarts[1].vecArgs.size());
    EXPECT_NE(vecStarts[0].vecArgs[1], vecStarts[1].vecArgs[1]) << "both wrote the same selection file";
    // Each main application read its own window's selection.
    std::vector<std::vector<uint8_t>> vecRead = {vecStarts[0].vecSelection, vecStarts[1].vecSelection};
    std::sort(vecRead.begin(), vecRead.end());
    std::vector<std::vector<uint8_t>> vecExpected = {SelectionBytes(vecSelections[0]), SelectionBytes(vecSelections[1])};
    std::sort(vecExpected.begin(), vecExpected.end());
    EXPECT_EQ(vecExpected, vecRead);
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

namespace {

// A TEMP of the test's own for the selection files.
class SelectionFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strSavedTemp = EnvW(L"TEMP");
        m_strTemp = MakeTempFolder(L"selection");
        ::SetEnvironmentVariableW(L"TEMP", m_strTemp.c_str());
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"TEMP", m_strSavedTemp.c_str());
        DeleteFolderTree(m_strTemp);
    }

    std::wstring Write()
    {
        wchar_t szName[MAX_PATH];
        WriteSelectionFile({L"C:\\a.txt"}, szName);
        return szName;
    }

    std::wstring m_strSavedTemp;
    std::wstring m_strTemp;
};

void SetWriteTime(const std::wstring& strPath, int nHoursAgo)
{
    CFileHandle file(::CreateFileW(strPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME ft = {};
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER n = {{ft.dwLowDateTime, ft.dwHighDateTime}};
    n.QuadPart -= static_cast<ULONGLONG>(nHoursAgo) * 3600 * 10000000;
    ft = {n.LowPart, n.HighPart};
    ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &ft));
}

TEST_F(SelectionFileTest, OnlyThisExtensionsPlainFilesOlderThanADayAreDeleted)
{
    struct Case
    {
        const wchar_t* pszName;
        bool bFolder;
        int nHoursAgo;
        bool bDeleted;
    } cases[] = {
        {L"orvane100001.dat", false, 25, true},   {L"orvane132767.dat", false, 48, true},
        {L"orvane100002.dat", false, 23, false},  {L"orvane100003.dat", true, 48, false},
        {L"orvane099999.dat", false, 48, false},  {L"orvane1000001.dat", false, 48, false},
        {L"orvane10000x.dat", false, 48, false},  {L"selectedfiles.dat", false, 48, false},
    };
    for (const Case& c : cases)
    {
        const std::wstring strPath = m_strTemp + L"\\" + c.pszName;
        if (c.bFolder)
            ASSERT_TRUE(::CreateDirectoryW(strPath.c_str(), nullptr));
        else
            WriteTextFile(strPath, "old");
        SetWriteTime(strPath, c.nHoursAgo);
    }
    // Writes clean up only at a process's first and then hourly.
    DeleteOldSelectionFiles(m_strTemp.c_str());
    const std::wstring strNew = Write();
    EXPECT_EQ(SelectionBytes({L"C:\\a.txt"}), ReadFileBytes(strNew));
    for (const Case& c : cases)
        EXPECT_EQ(c.bDeleted, ::GetFileAttributesW((m_strTemp + L"\\" + c.pszName).c_str()) ==
                                  INVALID_FILE_ATTRIBUTES)
            << c.pszName;
}

TEST_F(SelectionFileTest, ANameTakenIsNeverOpenedAndNoNameIsHandedOutWithoutItsFile)
{
    // Every name taken by a folder (what anyone can do to a shared TEMP; see
    // tests/win/CMakeLists.txt): no name at all rather than a folder's.
    const std::wstring strTaken = WinPathFromEnv(L"ORVANE_TEST_WORKDIR") + L"\\taken-temp";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((strTaken + L"\\orvane132767.dat").c_str()));
    ::SetEnvironmentVariableW(L"TEMP", strTaken.c_str());
    EXPECT_EQ(L"", Write());
    wchar_t szRecorded[MAX_PATH];
    g_szSelectionFile.CopyTo(szRecorded);
    EXPECT_STREQ(L"", szRecorded);

}

}  // namespace
