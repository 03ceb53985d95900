#include "tools/refapp/RefAppLog.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "ShellExt/core/Handles.h"
#include "tools/common/WinFiles.h"
#include "tools/common/WinText.h"

namespace {

std::string Timestamp()
{
    SYSTEMTIME st = {};
    ::GetLocalTime(&st);
    char szText[64] = {};
    std::snprintf(szText, sizeof(szText), "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return szText;
}

std::wstring ParentFolder(const std::wstring& strPath)
{
    size_t nPos = strPath.find_last_of(L"\\/");
    return nPos == std::wstring::npos ? std::wstring() : strPath.substr(0, nPos);
}

}  // namespace

std::wstring CRefAppLog::DefaultPath()
{
    std::wstring strPath = EnvironmentValue(L"ORVANE_REFAPP_LOG");
    if (!strPath.empty())
        return strPath;
    std::wstring strAppData = EnvironmentValue(L"AppData");
    if (strAppData.empty())
    {
        wchar_t szFolder[MAX_PATH] = {};
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szFolder)))
            strAppData = szFolder;
    }
    return strAppData + L"\\Kelvoss\\Orvane\\refapp.log";
}

void CRefAppLog::Start(const std::string& strText)
{
    char szPid[32] = {};
    std::snprintf(szPid, sizeof(szPid), " [pid %lu] ", static_cast<unsigned long>(::GetCurrentProcessId()));
    m_vecLines.push_back(Timestamp() + szPid + strText);
}

bool CRefAppLog::Flush()
{
    std::string strBlock;
    for (const std::string& strLine : m_vecLines)
        strBlock += strLine + "\r\n";
    m_vecLines.clear();

    std::wstring strFolder = ParentFolder(m_strPath);
    if (!strFolder.empty())
        ::SHCreateDirectoryExW(nullptr, strFolder.c_str(), nullptr);
    for (int nAttempt = 0; nAttempt < 200; ++nAttempt)
    {
        CFileHandle file(::CreateFileW(m_strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
        {
            DWORD cbWritten = 0;
            return ::WriteFile(file.Get(), strBlock.data(), static_cast<DWORD>(strBlock.size()), &cbWritten,
                               nullptr) &&
                   cbWritten == strBlock.size();
        }
        if (::GetLastError() != ERROR_SHARING_VIOLATION)
            return false;
        ::Sleep(10);
    }
    return false;
}
