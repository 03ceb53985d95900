#include <gtest/gtest.h>

#include "tests/win/ExplorerCommandSupport.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <memory>

#include "ShellExt/explorercommand/CommandIds.h"

namespace testing_support {

namespace {

const CLSID kCommandClsid = ORVANE_EXPLORER_COMMAND_CLSID_INIT;

struct IdListFreer
{
    void operator()(ITEMIDLIST* pidl) const noexcept { ::ILFree(pidl); }
};

}  // namespace

std::wstring CommandDllPath()
{
    return WinPathFromEnv(L"ORVANE_COMMAND_DLL");
}

IShellItemArray* CreateArrayWithControlPanel(const std::wstring& strFile)
{
    std::unique_ptr<ITEMIDLIST, IdListFreer> file(strFile.empty() ? nullptr : ::ILCreateFromPathW(strFile.c_str()));
    ITEMIDLIST* pidlPanel = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_CONTROLS, &pidlPanel)))
        return nullptr;
    std::unique_ptr<ITEMIDLIST, IdListFreer> panel(pidlPanel);
    std::vector<PCIDLIST_ABSOLUTE> vecIdLists;
    if (file)
        vecIdLists.push_back(file.get());
    vecIdLists.push_back(panel.get());
    IShellItemArray* pArray = nullptr;
    if (FAILED(::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(vecIdLists.size()), vecIdLists.data(), &pArray)))
        return nullptr;
    return pArray;
}

void CommandTestBase::SetUp()
{
    DeleteProductKeys();
    m_strFolder = MakeTempFolder(L"command");
    m_strFile = m_strFolder + L"\\report one.txt";
    WriteTextFile(m_strFile, "x");
}

namespace {

// The waiters a test's state requests started (OrvaneShellExt.exe handoff)
// would start the stand-in ten seconds later, inside a later test.
void EndHandOffWaiters()
{
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore; bMore = ::Process32NextW(hSnapshot, &entry))
    {
        if (::lstrcmpiW(entry.szExeFile, L"OrvaneShellExt.exe") != 0)
            continue;
        HANDLE hProcess = ::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        if (hProcess != nullptr)
        {
            ::TerminateProcess(hProcess, 1);
            ::CloseHandle(hProcess);
        }
    }
    ::CloseHandle(hSnapshot);
}

}  // namespace

void CommandTestBase::TearDown()
{
    EndHandOffWaiters();
    m_selection.Reset();
    m_top.Reset();
    m_installation.reset();
    DeleteFolderTree(m_strFolder);
}

void CommandTestBase::UseInstallation(const std::wstring& strInstallDir, const wchar_t* pszLanguage)
{
    m_installation.emplace(strInstallDir);
    if (pszLanguage != nullptr)
        m_viewSettings.WriteLanguage(pszLanguage);
}

CommandNode CommandTestBase::OpenTree(const std::vector<std::wstring>& vecFiles)
{
    m_selection.Reset();
    m_top.Reset();
    std::string strError;
    if (!CreateExplorerCommand(CommandDllPath(), kCommandClsid, m_dll, m_top, strError))
    {
        ADD_FAILURE() << strError;
        return CommandNode();
    }
    m_selection = CInterfacePtr<IShellItemArray>(CreateShellItemArray(vecFiles));
    EXPECT_TRUE(m_selection);
    return ReadCommandTree(m_top.Get(), m_selection.Get());
}

}  // namespace testing_support
