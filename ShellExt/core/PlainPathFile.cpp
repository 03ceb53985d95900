#include "ShellExt/core/PlainPathFile.h"

#include <cwchar>

namespace {

const size_t kMaxFolders = MAX_PATH / 2;
const wchar_t kLocalPrefix[] = L"\\\\?\\";

bool IsDriveRootPath(const wchar_t* pszPath) noexcept
{
    return pszPath[0] != L'\0' && pszPath[1] == L':' && pszPath[2] == L'\\';
}

// The folder is held open from here on; false when it or the name that
// leads to it is a reparse point. The name is asked as well as the handle:
// Wine reports a link only for the name.
bool HoldPlainFolder(const wchar_t* pszFolder, CFileHandle& folder) noexcept
{
    folder.Reset(::CreateFileW(pszFolder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder)
        return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    const DWORD dwByName = ::GetFileAttributesW(pszFolder);
    if (!::GetFileInformationByHandle(folder.Get(), &info) || dwByName == INVALID_FILE_ATTRIBUTES ||
        ((info.dwFileAttributes | dwByName) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (info.dwFileAttributes & dwByName & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        ::SetLastError(ERROR_REPARSE_ATTRIBUTE_CONFLICT);
        return false;
    }
    return true;
}

// Holds every folder of pszPath, from the drive's first folder down to the
// file's own, in rgFolders.
bool HoldFoldersOnTheWay(const wchar_t* pszPath, CFileHandle (&rgFolders)[kMaxFolders]) noexcept
{
    wchar_t szFolder[MAX_PATH];
    const size_t cchPath = wcsnlen(pszPath, MAX_PATH);
    size_t nHeld = 0;
    for (size_t i = 3; i < cchPath; ++i)
    {
        if (pszPath[i] != L'\\')
            continue;
        if (nHeld == kMaxFolders)
            return false;
        wmemcpy(szFolder, pszPath, i);
        szFolder[i] = L'\0';
        if (!HoldPlainFolder(szFolder, rgFolders[nHeld++]))
            return false;
    }
    return true;
}

// Whether the open file is the one pszPath names, reached by no link.
bool IsPlainFileAt(HANDLE hFile, const wchar_t* pszPath) noexcept
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(hFile, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1 || (::GetFileAttributesW(pszPath) & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    wchar_t szLong[MAX_PATH];
    const DWORD cchLong = ::GetLongPathNameW(pszPath, szLong, MAX_PATH);
    wchar_t szFinal[MAX_PATH + 8];
    const DWORD cchFinal = ::GetFinalPathNameByHandleW(hFile, szFinal, MAX_PATH + 8, FILE_NAME_NORMALIZED);
    const size_t cchPrefix = wcslen(kLocalPrefix);
    return cchLong > 0 && cchLong < MAX_PATH && cchFinal > cchPrefix && cchFinal < MAX_PATH + 8 &&
           wcsncmp(szFinal, kLocalPrefix, cchPrefix) == 0 && _wcsicmp(szFinal + cchPrefix, szLong) == 0;
}

void RemoveOpenFile(HANDLE hFile) noexcept
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(hFile, FileDispositionInfo, &disposition, sizeof(disposition));
}

// Opens pszPath with the access, sharing and disposition given, through
// folders that are held open and no link. An invalid handle when the path is
// not plain; a file this call made at a place it then refused is removed.
CFileHandle OpenOnPlainPath(const wchar_t* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition) noexcept
{
    CFileHandle rgFolders[kMaxFolders];
    if (!IsDriveRootPath(pszPath))
    {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return CFileHandle();
    }
    if (!HoldFoldersOnTheWay(pszPath, rgFolders))
        return CFileHandle();
    CFileHandle file(::CreateFileW(pszPath, dwAccess, dwShare, nullptr, dwDisposition,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return file;
    const bool bMade =
        dwDisposition == CREATE_NEW || (dwDisposition != OPEN_EXISTING && ::GetLastError() != ERROR_ALREADY_EXISTS);
    if (!IsPlainFileAt(file.Get(), pszPath))
    {
        if (bMade)
            RemoveOpenFile(file.Get());
        ::SetLastError(ERROR_REPARSE_ATTRIBUTE_CONFLICT);
        return CFileHandle();
    }
    return file;
}

}  // namespace

CFileHandle CreateFileOnPlainPath(const wchar_t* pszPath, DWORD dwDisposition) noexcept
{
    CFileHandle file = OpenOnPlainPath(pszPath, GENERIC_WRITE | DELETE, 0, dwDisposition);
    if (file && dwDisposition != CREATE_NEW && !::SetEndOfFile(file.Get()))
        return CFileHandle();
    return file;
}

CFileHandle OpenFileOnPlainPathForReading(const wchar_t* pszPath) noexcept
{
    return OpenOnPlainPath(pszPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}
