#include "ShellExt/diagnostics/Trace.h"

#include <shlobj.h>

#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/settings/ProductPaths.h"

namespace {

const char16_t kTraceFileName[] = u"shellext-trace.log";
const char16_t kOlderTraceFileName[] = u"shellext-trace.log.1";

// Keeps the thread's last error as the traced call left it.
class CLastErrorKeeper
{
public:
    CLastErrorKeeper() noexcept : m_dwError(::GetLastError()) {}
    ~CLastErrorKeeper() { ::SetLastError(m_dwError); }
    CLastErrorKeeper(const CLastErrorKeeper&) = delete;
    CLastErrorKeeper& operator=(const CLastErrorKeeper&) = delete;

private:
    DWORD m_dwError;
};

bool ReadLocalAppDataFolder(wchar_t (&szFolder)[MAX_PATH]) noexcept
{
    const DWORD cch = ::GetEnvironmentVariableW(L"LOCALAPPDATA", szFolder, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH)
        return true;
    szFolder[0] = L'\0';
    return SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szFolder)) &&
           szFolder[0] != L'\0';
}

// "<folder>\Kelvoss" and "<folder>\Kelvoss\Orvane", for a first line.
void CreateTraceFolders(const wchar_t* pszFolder) noexcept
{
    wchar_t szPath[MAX_PATH];
    if (BuildProductPath(szPath, MAX_PATH, pszFolder, {}))
    {
        // szPath ends "\Kelvoss\Orvane\": the vendor's folder first.
        wchar_t* pszLast = szPath + wcsnlen(szPath, MAX_PATH) - 1;
        *pszLast = L'\0';
        wchar_t* pszVendorEnd = wcsrchr(szPath, L'\\');
        if (pszVendorEnd != nullptr)
        {
            *pszVendorEnd = L'\0';
            ::CreateDirectoryW(szPath, nullptr);
            *pszVendorEnd = L'\\';
        }
        ::CreateDirectoryW(szPath, nullptr);
    }
}

// Appending only; others may read, append or rotate the file meanwhile.
CFileHandle OpenTraceFile(const wchar_t* pszPath) noexcept
{
    return CFileHandle(::CreateFileW(pszPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

TraceTime CurrentTraceTime() noexcept
{
    SYSTEMTIME st = {};
    ::GetSystemTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace

void AppendTraceLine(const char* pszObject, const char* pszMethod, const TraceDetails& details, HRESULT hr) noexcept
{
    CLastErrorKeeper lastError;

    wchar_t szImage[MAX_PATH];
    const DWORD cchImage = ::GetModuleFileNameW(nullptr, szImage, MAX_PATH);
    szImage[cchImage < MAX_PATH ? cchImage : 0] = L'\0';

    TraceLineFields fields;
    fields.time = CurrentTraceTime();
    fields.strImage = AsUtf16(szImage);
    fields.nProcessId = ::GetCurrentProcessId();
    fields.nThreadId = ::GetCurrentThreadId();
    fields.strObject = pszObject;
    fields.strMethod = pszMethod;
    fields.nOkToBeSlow = details.nOkToBeSlow;
    fields.bSite = details.bSite;
    fields.strSite = details.strSite;
    fields.nItems = details.nItems;
    fields.nResult = static_cast<uint32_t>(hr);
    char szLine[kTraceLineCapacity];
    const size_t cbLine = FormatTraceLine(fields, szLine, sizeof(szLine));

    wchar_t szFolder[MAX_PATH];
    wchar_t szPath[MAX_PATH];
    if (!ReadLocalAppDataFolder(szFolder) || !BuildProductPath(szPath, MAX_PATH, szFolder, {kTraceFileName}))
        return;
    CFileHandle file = OpenTraceFile(szPath);
    if (!file && ::GetLastError() == ERROR_PATH_NOT_FOUND)
    {
        CreateTraceFolders(szFolder);
        file = OpenTraceFile(szPath);
    }
    if (!file)
        return;

    // Rotated once: the previous full file is kept beside the new one. Two
    // processes that rotate at the same moment may lose each other's
    // older lines, which a trace can afford.
    LARGE_INTEGER size = {};
    if (::GetFileSizeEx(file.Get(), &size) && static_cast<ULONGLONG>(size.QuadPart) + cbLine > kTraceFileMaxBytes)
    {
        wchar_t szOlder[MAX_PATH];
        file.Reset();
        // A file that cannot be moved aside gets no more lines: it never
        // grows past its bound.
        if (!BuildProductPath(szOlder, MAX_PATH, szFolder, {kOlderTraceFileName}) ||
            !::MoveFileExW(szPath, szOlder, MOVEFILE_REPLACE_EXISTING))
            return;
        file = OpenTraceFile(szPath);
        if (!file)
            return;
    }
    DWORD cbWritten = 0;
    ::WriteFile(file.Get(), szLine, static_cast<DWORD>(cbLine), &cbWritten, nullptr);
}
