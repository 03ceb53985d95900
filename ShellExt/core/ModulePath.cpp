#include "ShellExt/core/ModulePath.h"

namespace {

// The longest path Windows' wide calls take.
const size_t kLongestPath = 32768;

}  // namespace

std::wstring FullModulePath(HMODULE hModule)
{
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD cch = ::GetModuleFileNameW(hModule, &strPath[0], static_cast<DWORD>(strPath.size()));
        if (cch == 0)
            return std::wstring();
        if (cch < strPath.size())
        {
            strPath.resize(cch);
            return strPath;
        }
        if (strPath.size() >= kLongestPath)
            return std::wstring();
        strPath.resize(strPath.size() * 2);
    }
}

std::wstring SystemFilePath(const wchar_t* pszRelative)
{
    wchar_t szFolder[MAX_PATH];
    const UINT cchFolder = ::GetSystemDirectoryW(szFolder, MAX_PATH);
    if (cchFolder == 0 || cchFolder >= MAX_PATH)
        return std::wstring();
    return std::wstring(szFolder, cchFolder) + L"\\" + pszRelative;
}
