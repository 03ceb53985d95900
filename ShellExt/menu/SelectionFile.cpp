// A chosen menu item becomes a selection file and a start of the main
// application with the item's switch.
#include <cstdint>
#include <new>
#include <string>

#include "ShellExt/core/Handles.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/SelectionFile.h"

namespace {

// Selection files are numbered 100000 to 132767, the range the main
// application knows, so names recur and an old file of the same name is
// overwritten. Each thread draws from a start of its own, taken at its first
// draw from its identifier, its process and the time: from one common start,
// two windows (or two processes) handing off at about the same moment would
// write the same file, and one main application would mark the other's
// selection. A thread's state is 0 until its first draw.
CTlsIndex s_selectionNumberStates(::TlsAlloc());

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
    return nDraw % 9000000 + 100000;
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

bool NameSelectionFile(wchar_t (&szPath)[MAX_PATH]) noexcept
{
    wchar_t szFolder[MAX_PATH];
    if (!FindTempFolder(szFolder))
        return false;
    int cch = _snwprintf(szPath, MAX_PATH, L"%ls\\orvane%d.dat", szFolder, NextSelectionFileNumber());
    return cch >= 0 && cch < MAX_PATH;
}

void WriteBytes(HANDLE hFile, const std::vector<uint8_t>& vecBytes) noexcept
{
    DWORD cbWritten = 0;
    ::WriteFile(hFile, vecBytes.data(), static_cast<DWORD>(vecBytes.size()), &cbWritten, nullptr);
}

}  // namespace

void WriteSelectionFile(const std::vector<std::wstring>& vecPaths, wchar_t (&szSelectionFile)[MAX_PATH]) noexcept
{
    // No usable temporary folder: no file and an empty name, rather than a
    // cut path that would name some other file.
    if (!NameSelectionFile(szSelectionFile))
        szSelectionFile[0] = L'\0';
    g_szSelectionFile.Store(szSelectionFile);
    if (szSelectionFile[0] == L'\0')
        return;

    CFileHandle file(::CreateFileW(szSelectionFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    try
    {
        size_t cchPathsAndSeparators = 0;
        for (const std::wstring& strPath : vecPaths)
            cchPathsAndSeparators += strPath.size() + 1;
        SelectionFileEncoder encoder(cchPathsAndSeparators);
        for (const std::wstring& strPath : vecPaths)
            encoder.AddPath(reinterpret_cast<const char16_t*>(strPath.c_str()), strPath.size());
        // One write of the whole file: the same bytes as one write per piece,
        // without a system call per path.
        WriteBytes(file.Get(), encoder.Bytes());
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory: the file keeps whatever could be written (nothing).
    }
}

void FindNewestSelectionFile(wchar_t (&szSelectionFile)[MAX_PATH]) noexcept
{
    szSelectionFile[0] = L'\0';
    wchar_t szFolder[MAX_PATH];
    wchar_t szPattern[MAX_PATH];
    if (!FindTempFolder(szFolder))
        return;
    int cch = _snwprintf(szPattern, MAX_PATH, L"%ls\\orvane*.dat", szFolder);
    if (cch < 0 || cch >= MAX_PATH)
        return;
    WIN32_FIND_DATAW found;
    CFindHandle search(::FindFirstFileW(szPattern, &found));
    if (!search)
        return;
    FILETIME newest = {};
    do
    {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            ::CompareFileTime(&found.ftLastWriteTime, &newest) <= 0)
            continue;
        cch = _snwprintf(szSelectionFile, MAX_PATH, L"%ls\\%ls", szFolder, found.cFileName);
        if (cch < 0 || cch >= MAX_PATH)
            szSelectionFile[0] = L'\0';
        else
            newest = found.ftLastWriteTime;
    } while (::FindNextFileW(search.Get(), &found));
}
