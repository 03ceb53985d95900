#include "ShellExt/menu/ChosenItem.h"

#include <new>
#include <string>

#include "ShellExt/menu/CompanionStart.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/SelectionFile.h"
#include "ShellExt/settings/Settings.h"

namespace {

// "start <parameters>": the companion takes the rest of its command line as
// they are (StartVerb of the companion).
bool StartCompanionWithParameters(const wchar_t* pszParameters) noexcept
{
    std::wstring strArguments;
    try
    {
        strArguments = std::wstring(L"start ") + pszParameters;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return StartCompanion(strArguments.c_str());
}

}  // namespace

HRESULT HandOffChosenItem(const MenuItemRecord& record, const wchar_t* pszSelectionFile, ProgramStart start) noexcept
{
    // No selection file was written (no usable temporary folder, a write
    // that failed): the main application would get no selection to act on.
    if (pszSelectionFile == nullptr || pszSelectionFile[0] == L'\0')
        return HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
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
    const wchar_t* pszParameters = reinterpret_cast<const wchar_t*>(strParameters.c_str());
    // Without a program there is nothing to hand to the companion either.
    wchar_t szAppPath[MAX_PATH];
    g_szAppPath.CopyTo(szAppPath);
    if (start == ProgramStart::ThroughCompanion && szAppPath[0] != L'\0' &&
        StartCompanionWithParameters(pszParameters))
        return S_OK;
    StartMainApplication(pszParameters);
    return S_OK;
}

HRESULT HandOffSelection(const MenuItemRecord& record, const SelectionFileEncoder& selection,
                         ProgramStart start) noexcept
{
    wchar_t szSelectionFile[MAX_PATH];
    WriteSelectionFile(selection, szSelectionFile);
    return HandOffChosenItem(record, szSelectionFile, start);
}
