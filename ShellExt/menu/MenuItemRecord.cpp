#include "ShellExt/menu/MenuItemRecord.h"

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/settings/ProductPaths.h"

MenuItemRecord MakeMenuItemRecord(const MenuRow& row, const wchar_t* pszInstallDir) noexcept
{
    MenuItemRecord record = {};
    record.nType = row.nType;
    record.crColor = row.crColor;
    record.nIconIndex = row.nIconIndex;
    if (row.pszIconLibrary != nullptr)
        ResolveIconLibrary(AsWide(row.pszIconLibrary), pszInstallDir, record.szIconFile);
    return record;
}

void ResolveIconLibrary(const wchar_t* pszName, const wchar_t* pszInstallDir, wchar_t (&szPath)[MAX_PATH]) noexcept
{
    CFileHandle file(::CreateFileW(pszName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
    {
        CopyBounded(szPath, MAX_PATH, pszName);
        return;
    }
    BuildIconLibraryPath(pszInstallDir, pszName, szPath);
}
