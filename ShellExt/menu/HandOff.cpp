#include "ShellExt/menu/HandOff.h"

#include <shellapi.h>

#include "ShellExt/core/PlainPathFile.h"
#include "ShellExt/settings/Elevation.h"
#include "ShellExt/settings/ProductPaths.h"
#include "ShellExt/settings/Settings.h"

CSharedBuffer<MAX_PATH> g_szSelectionFile;

namespace {

// "<AppData>\Kelvoss\Orvane\selectedfiles.dat", or false when AppData is
// unknown or the path would not fit: a cut path would name another file.
bool BuildFixedCopyPath(wchar_t (&szPath)[MAX_PATH]) noexcept
{
    wchar_t szAppData[MAX_PATH];
    g_szAppData.CopyTo(szAppData);
    if (szAppData[0] == L'\0')
        return false;
    return BuildProductPath(szPath, MAX_PATH, szAppData, {u"selectedfiles.dat"});
}

// The elevated copy: read and written only through folders that are no
// links (PlainPathFile.h), so that a link planted in TEMP can neither hand
// the main application a file only the administrator may read nor send the
// copy elsewhere. A selection file is a few kilobytes; one larger than
// kMaxCopyBytes is not ours and is not copied.
void CopyThroughPlainPath(const wchar_t* pszSource, const wchar_t* pszCopy) noexcept
{
    const DWORD kMaxCopyBytes = 16 * 1024 * 1024;
    CFileHandle source = OpenFileOnPlainPathForReading(pszSource);
    LARGE_INTEGER cbSize = {};
    if (!source || !::GetFileSizeEx(source.Get(), &cbSize) || cbSize.QuadPart > kMaxCopyBytes)
        return;
    CHeapBlock data(::HeapAlloc(::GetProcessHeap(), 0, static_cast<SIZE_T>(cbSize.QuadPart) + 1));
    DWORD cbRead = 0;
    if (!data || !::ReadFile(source.Get(), data.Get(), static_cast<DWORD>(cbSize.QuadPart), &cbRead, nullptr))
        return;
    CFileHandle copy = CreateFileOnPlainPath(pszCopy, OPEN_ALWAYS);
    DWORD cbWritten = 0;
    if (copy)
        ::WriteFile(copy.Get(), data.Get(), cbRead, &cbWritten, nullptr);
}

}  // namespace

void CopySelectionFile() noexcept
{
    wchar_t szSelection[MAX_PATH];
    g_szSelectionFile.CopyTo(szSelection);
    CopySelectionFileFrom(szSelection);
}

void CopySelectionFileFrom(const wchar_t* pszSelectionFile) noexcept
{
    wchar_t szCopy[MAX_PATH] = {};
    if (pszSelectionFile[0] == L'\0' || !BuildFixedCopyPath(szCopy))
        return;
    if (IsProcessElevated())
        CopyThroughPlainPath(pszSelectionFile, szCopy);
    else
        ::CopyFileW(pszSelectionFile, szCopy, FALSE);
}

void StartMainApplication(const wchar_t* pszParameters) noexcept
{
    wchar_t szAppPath[MAX_PATH];
    g_szAppPath.CopyTo(szAppPath);
    // Without a program there is nothing to start; an empty file name would
    // let the shell open whatever the current folder is instead.
    if (szAppPath[0] == L'\0')
        return;
    // No error UI: a stale OrvanePath must never put a message box over
    // Explorer, whose thread this may be.
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_FLAG_NO_UI;
    execute.lpFile = szAppPath;
    execute.lpParameters = pszParameters;
    execute.nShow = SW_SHOW;
    ::ShellExecuteExW(&execute);
}
