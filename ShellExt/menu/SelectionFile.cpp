// A chosen menu item becomes a selection file and a start of the main
// application with the item's switch.
#include <cstdlib>
#include <new>
#include <string>

#include "ShellExt/core/Handles.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/SelectionFile.h"

namespace {

// Selection files are named from the C runtime's generator, never seeded, so
// the same names recur and an old file of the same name is overwritten: the
// main application expects exactly this name range.
int NextSelectionFileNumber() noexcept
{
    return std::rand() % 9000000 + 100000;
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
        SelectionFileEncoder encoder;
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
