#include "ShellExt/menu/ChosenItem.h"

#include <new>

#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/SelectionFile.h"

HRESULT HandOffChosenItem(const MenuItemRecord& record, const wchar_t* pszSelectionFile) noexcept
{
    std::u16string strParameters;
    try
    {
        CommandArguments args = {record.nType, reinterpret_cast<const char16_t*>(pszSelectionFile),
                                 reinterpret_cast<const char16_t*>(record.szIconFile), record.nIconIndex,
                                 record.crColor};
        if (!FormatCommandParameters(args, strParameters))
            return E_INVALIDARG;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }

    CopySelectionFileFrom(pszSelectionFile);
    StartMainApplication(reinterpret_cast<const wchar_t*>(strParameters.c_str()));
    return S_OK;
}

HRESULT HandOffSelection(const MenuItemRecord& record, const std::vector<std::wstring>& vecPaths) noexcept
{
    wchar_t szSelectionFile[MAX_PATH];
    WriteSelectionFile(vecPaths, szSelectionFile);
    return HandOffChosenItem(record, szSelectionFile);
}
