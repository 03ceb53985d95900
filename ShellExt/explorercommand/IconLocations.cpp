#include "ShellExt/explorercommand/IconLocations.h"

#include "ShellExt/core/ModulePath.h"
#include "ShellExt/module/Module.h"

// The path is read at every use, not kept in a function's static: a read
// that failed once (out of memory) would leave every later swatch without
// its icon, and the static's first-use guard does not survive running out
// of memory inside the runtime.
std::wstring ModuleIconLocation(WORD wResourceId)
{
    const std::wstring strPath = FullModulePath(g_hInstance);
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
