#include "ShellExt/explorercommand/IconLocations.h"

#include "ShellExt/module/Module.h"

namespace {

// Long paths are possible where the system allows them; this is their limit.
const DWORD kLongestPath = 32768;

std::wstring ReadModulePath()
{
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;)
    {
        DWORD cch = ::GetModuleFileNameW(g_hInstance, &strPath[0], static_cast<DWORD>(strPath.size()));
        if (cch == 0)
            return std::wstring();
        if (cch < strPath.size())
        {
            strPath.resize(cch);
            return strPath;
        }
        // Cut: a cut path would name another file.
        if (strPath.size() >= kLongestPath)
            return std::wstring();
        strPath.resize(strPath.size() * 2);
    }
}

}  // namespace

// The path is read at every use, not kept in a function's static: a read
// that failed once (out of memory) would leave every later swatch without
// its icon, and the static's first-use guard does not survive running out
// of memory inside the runtime.
std::wstring ModuleIconLocation(WORD wResourceId)
{
    const std::wstring strPath = ReadModulePath();
    if (strPath.empty())
        return std::wstring();
    return strPath + L",-" + std::to_wstring(wResourceId);
}

std::wstring LibraryIconLocation(const wchar_t* pszLibrary, int nIndex)
{
    const DWORD dwAttributes = ::GetFileAttributesW(pszLibrary);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::wstring();
    return std::wstring(pszLibrary) + L"," + std::to_wstring(nIndex);
}
