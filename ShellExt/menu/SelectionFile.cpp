// A chosen menu item becomes a selection file and a start of the main
// application with the item's switch.
#include <cstdint>
#include <cwchar>
#include <string>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/PlainPathFile.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/SelectionFile.h"
#include "ShellExt/settings/Elevation.h"

namespace {

// Selection files are numbered 100000 to 132767, the range the main
// application knows, so names recur: a name taken is drawn again. Each
// thread draws from a start of its own, taken at its first draw from its
// identifier, its process and the time: from one common start,
// two windows (or two processes) handing off at about the same moment would
// write the same file, and one main application would mark the other's
// selection. A thread's state is 0 until its first draw.
CTlsIndex s_selectionNumberStates(::TlsAlloc());
const int kFirstSelectionNumber = 100000;
// Draws of a new name before giving up: each collides with a chance of at
// most (files in TEMP) / 32768.
const int kSelectionNameTries = 16;

uint32_t FirstSelectionNumberState() noexcept
{
    LARGE_INTEGER now = {};
    ::QueryPerformanceCounter(&now);
    uint64_t n = (static_cast<uint64_t>(::GetCurrentProcessId()) << 32 | ::GetCurrentThreadId()) ^
                 static_cast<uint64_t>(now.QuadPart) ^ ::GetTickCount64();
    // Mixed, so that neighbouring thread identifiers and moments start far apart.
    n ^= n >> 33;
    n *= 0xFF51AFD7ED558CCDull;
    n ^= n >> 33;
    n *= 0xC4CEB9FE1A85EC53ull;
    n ^= n >> 33;
    return static_cast<uint32_t>(n);
}

int NextSelectionFileNumber() noexcept
{
    uint32_t nState = static_cast<uint32_t>(
        reinterpret_cast<UINT_PTR>(::TlsGetValue(s_selectionNumberStates.Get())));
    if (nState == 0)
        nState = FirstSelectionNumberState();
    // The C runtime's rand: a 15-bit draw, 0 to 32767.
    nState = nState * 214013u + 2531011u;
    ::TlsSetValue(s_selectionNumberStates.Get(), reinterpret_cast<void*>(static_cast<UINT_PTR>(nState)));
    const int nDraw = static_cast<int>((nState >> 16) & 0x7FFF);
    return nDraw % 9000000 + kFirstSelectionNumber;
}

// The folder named by TEMP, or the system's temporary folder when TEMP is
// absent or too long to hold a file name; false when neither is usable.
bool FindTempFolder(wchar_t (&szFolder)[MAX_PATH]) noexcept
{
    DWORD cch = ::GetEnvironmentVariableW(L"TEMP", szFolder, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH)
        return true;
    cch = ::GetTempPathW(MAX_PATH, szFolder);
    if (cch == 0 || cch >= MAX_PATH)
        return false;
    // GetTempPathW ends the folder with a backslash; the name adds its own.
    if (szFolder[cch - 1] == L'\\')
        szFolder[cch - 1] = L'\0';
    return true;
}

bool NameSelectionFile(const wchar_t* pszFolder, wchar_t (&szPath)[MAX_PATH]) noexcept
{
    int cch = _snwprintf(szPath, MAX_PATH, L"%ls\\orvane%d.dat", pszFolder, NextSelectionFileNumber());
    return cch >= 0 && cch < MAX_PATH;
}

// A new file of a new name: an existing one, whatever it is (an old
// selection, a folder, a link someone left there), is never opened; its
// name is drawn again. An elevated process also refuses a TEMP folder
// reached through a link.
CFileHandle CreateSelectionFile(const wchar_t* pszFolder, wchar_t (&szPath)[MAX_PATH]) noexcept
{
    const bool bElevated = IsProcessElevated();
    for (int nTry = 0; nTry < kSelectionNameTries; ++nTry)
    {
        if (!NameSelectionFile(pszFolder, szPath))
            break;
        CFileHandle file = bElevated ? CreateFileOnPlainPath(szPath, CREATE_NEW)
                                     : CFileHandle(::CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                                                 nullptr));
        if (file)
            return file;
        const DWORD dwError = ::GetLastError();
        // A folder of that name answers "access denied".
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS && dwError != ERROR_ACCESS_DENIED)
            break;
    }
    szPath[0] = L'\0';
    return CFileHandle();
}

bool WriteBytes(HANDLE hFile, const std::vector<uint8_t>& vecBytes) noexcept
{
    DWORD cbWritten = 0;
    return ::WriteFile(hFile, vecBytes.data(), static_cast<DWORD>(vecBytes.size()), &cbWritten, nullptr) &&
           cbWritten == vecBytes.size();
}

// Whether a name found in TEMP is one of ours: "orvane", six digits in the
// numbers' range, ".dat".
bool IsSelectionFileName(const wchar_t* pszName) noexcept
{
    const size_t cchDigits = 6;
    if (wcsnlen(pszName, 17) != 16 || _wcsnicmp(pszName, L"orvane", 6) != 0 || _wcsicmp(pszName + 12, L".dat") != 0)
        return false;
    int nNumber = 0;
    for (size_t i = 6; i < 6 + cchDigits; ++i)
    {
        if (pszName[i] < L'0' || pszName[i] > L'9')
            return false;
        nNumber = nNumber * 10 + (pszName[i] - L'0');
    }
    return nNumber >= kFirstSelectionNumber && nNumber <= kFirstSelectionNumber + 0x7FFF;
}

bool IsOlderThanADay(const FILETIME& ftWritten, const FILETIME& ftNow) noexcept
{
    const ULONGLONG kDay = 24ull * 60 * 60 * 10000000;
    const ULONGLONG nWritten = (static_cast<ULONGLONG>(ftWritten.dwHighDateTime) << 32) | ftWritten.dwLowDateTime;
    const ULONGLONG nNow = (static_cast<ULONGLONG>(ftNow.dwHighDateTime) << 32) | ftNow.dwLowDateTime;
    return nNow > nWritten && nNow - nWritten > kDay;
}

// Calls visit(path, data) for each plain file of our names in pszFolder: no
// folder, no link, no other name.
template <typename Visit>
void ForEachSelectionFile(const wchar_t* pszFolder, Visit visit) noexcept
{
    wchar_t szPattern[MAX_PATH];
    if (!JoinBounded(AsUtf16(szPattern), MAX_PATH, {AsUtf16(pszFolder), u"\\orvane*.dat"}))
        return;
    WIN32_FIND_DATAW found = {};
    CFindHandle find(::FindFirstFileW(szPattern, &found));
    if (!find)
        return;
    do
    {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !IsSelectionFileName(found.cFileName))
            continue;
        wchar_t szPath[MAX_PATH];
        if (JoinBounded(AsUtf16(szPath), MAX_PATH, {AsUtf16(pszFolder), u"\\", AsUtf16(found.cFileName)}))
            visit(szPath, found);
    } while (::FindNextFileW(find.Get(), &found));
}

// The clean-up walks the temporary folder, which on a user's machine holds
// thousands of files: at a process's first selection file and then at most
// once an hour is often enough for files that stay a day, and keeps the walk
// off every other chosen item (the classic handler's items run on Explorer's
// thread). True for the one caller whose turn it is.
const LONG64 kCleanUpIntervalMs = 60 * 60 * 1000;
volatile LONG64 s_nCleanUpDueTick = 0;  // 0: never cleaned in this process

bool TakeCleanUpTurn() noexcept
{
    const LONG64 nNow = static_cast<LONG64>(::GetTickCount64());
    const LONG64 nDue = ::InterlockedCompareExchange64(&s_nCleanUpDueTick, 0, 0);
    if (nDue != 0 && nNow < nDue)
        return false;
    return ::InterlockedCompareExchange64(&s_nCleanUpDueTick, nNow + kCleanUpIntervalMs, nDue) == nDue;
}

}  // namespace

void DeleteOldSelectionFiles(const wchar_t* pszFolder) noexcept
{
    FILETIME ftNow = {};
    ::GetSystemTimeAsFileTime(&ftNow);
    ForEachSelectionFile(pszFolder, [&](const wchar_t* pszPath, const WIN32_FIND_DATAW& found) {
        if (IsOlderThanADay(found.ftLastWriteTime, ftNow))
            ::DeleteFileW(pszPath);
    });
}

void WriteSelectionFile(const SelectionFileEncoder& encoder, wchar_t (&szSelectionFile)[MAX_PATH]) noexcept
{
    // No usable temporary folder, no new file, or a write that failed: an
    // empty name, never the name of a file that does not hold the selection.
    szSelectionFile[0] = L'\0';
    wchar_t szFolder[MAX_PATH];
    if (FindTempFolder(szFolder))
    {
        if (TakeCleanUpTurn())
            DeleteOldSelectionFiles(szFolder);
        CFileHandle file = CreateSelectionFile(szFolder, szSelectionFile);
        // One write of the whole file: the same bytes as one write per piece,
        // without a system call per path.
        if (file && !WriteBytes(file.Get(), encoder.Bytes()))
        {
            file.Reset();
            ::DeleteFileW(szSelectionFile);
            szSelectionFile[0] = L'\0';
        }
    }
    g_szSelectionFile.Store(szSelectionFile);
}

void WriteSelectionFile(const std::vector<std::wstring>& vecPaths, wchar_t (&szSelectionFile)[MAX_PATH]) noexcept
{
    try
    {
        size_t cchPathsAndSeparators = 0;
        for (const std::wstring& strPath : vecPaths)
            cchPathsAndSeparators += strPath.size() + 1;
        SelectionFileEncoder encoder(cchPathsAndSeparators);
        for (const std::wstring& strPath : vecPaths)
            encoder.AddPath(reinterpret_cast<const char16_t*>(strPath.c_str()), strPath.size());
        WriteSelectionFile(encoder, szSelectionFile);
        return;
    }
    catch (...)
    {
        // Out of memory: no file, and no name of one.
    }
    szSelectionFile[0] = L'\0';
    g_szSelectionFile.Store(szSelectionFile);
}

void FindNewestSelectionFile(wchar_t (&szSelectionFile)[MAX_PATH]) noexcept
{
    szSelectionFile[0] = L'\0';
    wchar_t szFolder[MAX_PATH];
    if (!FindTempFolder(szFolder))
        return;
    FILETIME newest = {};
    ForEachSelectionFile(szFolder, [&](const wchar_t* pszPath, const WIN32_FIND_DATAW& found) {
        if (::CompareFileTime(&found.ftLastWriteTime, &newest) > 0 &&
            JoinBounded(AsUtf16(szSelectionFile), MAX_PATH, {AsUtf16(pszPath)}))
            newest = found.ftLastWriteTime;
    });
}
