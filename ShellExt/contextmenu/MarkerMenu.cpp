// IContextMenu::QueryContextMenu: the cascading "Mark File" entry and its
// submenu of markers, colours and commands, with one record per command item.
#include "ShellExt/contextmenu/MarkerMenu.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/icons/MenuBitmaps.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/resources/resource.h"
#include "ShellExt/settings/Captions.h"
#include "ShellExt/settings/Settings.h"
#include "ShellExt/settings/SharedValues.h"

namespace {

// One row of the menu: an item (with its caption key, English default, type,
// command offset, record values and picture source), a separator, or the
// cascading item that opens the extended submenu.
struct MenuRow
{
    int nType;  // MenuItemType, or kSeparatorRow
    UINT nOffset;  // added to idCmdFirst; unused by separators and the cascade
    const wchar_t* pszKey;
    const wchar_t* pszFallback;
    const wchar_t* pszIconLibrary;  // bare file name, or null
    int nIconIndex;
    COLORREF crColor;
    WORD wIconResource;  // swatch resource of a colour item
};

const int kSeparatorRow = 0;
const wchar_t kMainIcl[] = L"Main.icl";
const wchar_t kMarkFileKey[] = L"#DEFITEM#_Mark_File";
const wchar_t kMarkFileFallback[] = L"Mark File";

// Positions 0 to 11 of the marker submenu, the same with or without the
// extended flag. The colours stored in the records are what the main
// application applies; the swatches only show them approximately.
const MenuRow kCommonRows[] = {
    {kItemMarker, 0, L"#DEFITEM#_High Priority", L"High Priority", kMainIcl, 0, 0, 0},
    {kItemMarker, 1, L"#DEFITEM#_Low Priority", L"Low Priority", kMainIcl, 2, 0, 0},
    {kItemMarker, 2, L"#DEFITEM#_Planned Work", L"Planned Work", kMainIcl, 3, 0, 0},
    {kItemMarker, 3, L"#DEFITEM#_Done Work", L"Done Work", kMainIcl, 5, 0, 0},
    {kItemMarker, 4, L"#DEFITEM#_Approved", L"Approved", kMainIcl, 6, 0, 0},
    {kItemMarker, 5, L"#DEFITEM#_Rejected", L"Rejected", kMainIcl, 8, 0, 0},
    {kSeparatorRow, 0, nullptr, nullptr, nullptr, 0, 0, 0},
    {kItemColor, 6, L"#DEFITEM#_Red", L"Red", nullptr, 0, RGB(254, 69, 54), IDI_SWATCH_RED},
    {kItemColor, 7, L"#DEFITEM#_Green", L"Green", nullptr, 0, RGB(20, 250, 44), IDI_SWATCH_GREEN},
    {kItemColor, 8, L"#DEFITEM#_Blue", L"Blue", nullptr, 0, RGB(91, 145, 255), IDI_SWATCH_BLUE},
    {kItemColor, 9, L"#DEFITEM#_Gray", L"Gray", nullptr, 0, RGB(178, 178, 178), IDI_SWATCH_GRAY},
    {kSeparatorRow, 0, nullptr, nullptr, nullptr, 0, 0, 0},
};

// Positions 12 and 13 of the plain menu.
const MenuRow kPlainTailRows[] = {
    {kItemRestoreDefault, 10, L"#DEFITEM#_Restore_Default", L"Restore Default", nullptr, 0, 0, 0},
    {kItemMoreIcons, 11, L"#DEFITEM#_More_Icons", L"More Icons", nullptr, 0, 0, 0},
};

// Positions 12 and 13 when the user holds Shift: "Restore Default" opens the
// extended submenu below, and "More Icons" moves to the last offset.
const MenuRow kExtendedTailRows[] = {
    {kItemExtendedSubmenu, 0, L"#DEFITEM#_Restore_Default", L"Restore Default", nullptr, 0, 0, 0},
    {kItemMoreIcons, 13, L"#DEFITEM#_More_Icons", L"More Icons", nullptr, 0, 0, 0},
};

const MenuRow kExtendedSubmenuRows[] = {
    {kItemMarkFile, 10, kMarkFileKey, kMarkFileFallback, nullptr, 0, 0, 0},
    {kItemRemoveColor, 11, L"#DEFITEM#_Remove_Color", L"Remove Color", nullptr, 0, 0, 0},
    {kItemRestoreDefault, 12, L"#DEFITEM#_Remove_Marker_Color", L"Remove Marker && Color", nullptr, 0, 0, 0},
};

const UINT kPlainCommandCount = 12;
const UINT kExtendedCommandCount = 14;

template <class T, size_t N>
constexpr size_t CountOf(const T (&)[N]) noexcept
{
    return N;
}

void AppendBounded(wchar_t (&szPath)[MAX_PATH], const wchar_t* pszTail) noexcept
{
    const size_t cchUsed = wcsnlen(szPath, MAX_PATH);
    if (cchUsed + 1 < MAX_PATH)
        CopyBounded(szPath + cchUsed, MAX_PATH - cchUsed, pszTail);
}

// Whether the identifiers idCmdFirst .. idCmdFirst + nCount - 1 stay within
// the range the host granted; beyond it they could collide with another
// handler's items.
bool IdRangeHolds(UINT idCmdFirst, UINT idCmdLast, UINT nCount) noexcept
{
    return static_cast<uint64_t>(idCmdFirst) + nCount - 1 <= idCmdLast;
}

// The picture beside one item, after its insertion. Swatches are shared
// resource icons and stay the system's; library icons are ours.
void SetItemPicture(HMENU hMenu, UINT nPosition, const MenuItemRecord& record, bool bFromLibrary,
                    WORD wIconResource) noexcept
{
    if (record.nType == kItemColor)
    {
        HICON hSwatch = ::LoadIconW(g_hInstance, MAKEINTRESOURCEW(wIconResource));
        if (hSwatch != nullptr)
            SetMenuItemIcon(hSwatch, hMenu, nPosition);
        return;
    }
    if (!bFromLibrary)
        return;
    CIconHandle icon(LoadIclIcon(record.szIconFile, record.nIconIndex));
    if (icon)
        SetMenuItemIcon(icon.Get(), hMenu, nPosition);
}

// Walks the rows of one menu level. Captions are read from the language file
// just before their item goes in and released right after: the menu keeps
// its own copy of the text.
class CMarkerMenuBuilder
{
public:
    CMarkerMenuBuilder(CSimpleShlExt& extension, UINT idCmdFirst, std::wstring strLangFile) noexcept
        : m_extension(extension), m_idCmdFirst(idCmdFirst), m_strLangFile(std::move(strLangFile))
    {
    }

    void AddRows(HMENU hMenu, UINT nFirstPosition, const MenuRow* pRows, size_t nRows) noexcept
    {
        for (size_t i = 0; i < nRows; ++i)
        {
            const UINT nPosition = nFirstPosition + static_cast<UINT>(i);
            const MenuRow& row = pRows[i];
            if (row.nType == kSeparatorRow)
                ::InsertMenuW(hMenu, nPosition, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
            else if (row.nType == kItemExtendedSubmenu)
                AddExtendedSubmenu(hMenu, nPosition, row);
            else
                AddItem(hMenu, nPosition, row, m_idCmdFirst + row.nOffset);
        }
    }

    CaptionPtr Caption(const wchar_t* pszKey, const wchar_t* pszFallback) const noexcept
    {
        return CaptionPtr(GetMenuCaptionFrom(m_strLangFile.c_str(), pszKey, pszFallback));
    }

private:
    BOOL AddItem(HMENU hMenu, UINT nPosition, const MenuRow& row, UINT_PTR idOrSubmenu) noexcept
    {
        CaptionPtr caption = Caption(row.pszKey, row.pszFallback);
        // Out of memory for the caption: the item still goes in, in English.
        const wchar_t* pszCaption = caption ? caption.get() : row.pszFallback;
        return m_extension.AddMenuItem(hMenu, nPosition, idOrSubmenu, pszCaption, row.nType, row.pszIconLibrary,
                                       row.nIconIndex, row.crColor, row.wIconResource);
    }

    void AddExtendedSubmenu(HMENU hMenu, UINT nPosition, const MenuRow& row) noexcept
    {
        CMenuHandle extended(::CreatePopupMenu());
        // The rows' records go in even without the submenu, so that the
        // offsets after them stay in step.
        AddRows(extended.Get(), 0, kExtendedSubmenuRows, CountOf(kExtendedSubmenuRows));
        // Inserted without its submenu, the cascade would become a command
        // item with identifier 0, which belongs to the host.
        if (!extended)
            return;
        // The parent owns the submenu once inserted; otherwise it is ours to
        // destroy.
        if (AddItem(hMenu, nPosition, row, reinterpret_cast<UINT_PTR>(extended.Get())))
            extended.Detach();
    }

    CSimpleShlExt& m_extension;
    UINT m_idCmdFirst;
    std::wstring m_strLangFile;
};

}  // namespace

bool InsertSubmenuEntry(HMENU hParent, UINT nPosition, CMenuHandle& submenu, const wchar_t* pszCaption) noexcept
{
    if (!submenu)
        return false;
    if (!::InsertMenuW(hParent, nPosition, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu.Get()),
                       pszCaption))
    {
        submenu.Reset();
        return false;
    }
    submenu.Detach();
    return true;
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
    // The directory is used as stored: no separator is added or removed.
    CopyBounded(szPath, MAX_PATH, pszInstallDir);
    AppendBounded(szPath, L"\\icl\\");
    AppendBounded(szPath, pszName);
}

BOOL CSimpleShlExt::AddMenuItem(HMENU hMenu, UINT nPosition, UINT_PTR idOrSubmenu, const wchar_t* pszCaption,
                                int nType, const wchar_t* pszIconLibrary, int nIconIndex, COLORREF crColor,
                                WORD wIconResource) noexcept
{
    MenuItemRecord record = {};
    record.nType = nType;
    record.crColor = crColor;
    record.nIconIndex = nIconIndex;
    if (pszIconLibrary != nullptr)
        ResolveIconLibrary(pszIconLibrary, m_szInstallDir, record.szIconFile);

    BOOL bInserted;
    if (nType == kItemExtendedSubmenu)
    {
        bInserted = ::InsertMenuW(hMenu, nPosition, MF_BYPOSITION | MF_POPUP, idOrSubmenu, pszCaption);
    }
    else
    {
        // The record goes in first and whether or not the item does, so that
        // record k always belongs to command offset k. QueryContextMenu has
        // reserved room for every record; should the list still refuse one,
        // the item stays out rather than hand out an identifier without it.
        try
        {
            m_vecMenuItems.push_back(record);
        }
        catch (...)
        {
            return FALSE;
        }
        bInserted = ::InsertMenuW(hMenu, nPosition, MF_BYPOSITION | MF_STRING, idOrSubmenu, pszCaption);
    }
    SetItemPicture(hMenu, nPosition, record, pszIconLibrary != nullptr, wIconResource);
    return bInserted;
}

STDMETHODIMP CSimpleShlExt::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                             UINT uFlags)
{
    // The host only wants to know the default item, and we offer none.
    if (uFlags & CMF_DEFAULTONLY)
        return S_OK;

    ClearMenuBitmapList();
    m_vecMenuItems.clear();

    const bool bExtended = (uFlags & CMF_EXTENDEDVERBS) != 0;
    const UINT nCommands = bExtended ? kExtendedCommandCount : kPlainCommandCount;
    if (!IdRangeHolds(idCmdFirst, idCmdLast, nCommands))
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    try
    {
        m_vecMenuItems.reserve(nCommands);
    }
    catch (...)
    {
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    }

    // One copy of the language file's path for the whole build; without it
    // every caption falls back to English.
    std::wstring strLangFile;
    try
    {
        strLangFile = g_strLangFile.Copy();
    }
    catch (...)
    {
    }
    CMarkerMenuBuilder builder(*this, idCmdFirst, std::move(strLangFile));

    CMenuHandle submenu(::CreatePopupMenu());
    builder.AddRows(submenu.Get(), 0, kCommonRows, CountOf(kCommonRows));
    if (bExtended)
        builder.AddRows(submenu.Get(), CountOf(kCommonRows), kExtendedTailRows, CountOf(kExtendedTailRows));
    else
        builder.AddRows(submenu.Get(), CountOf(kCommonRows), kPlainTailRows, CountOf(kPlainTailRows));

    CaptionPtr caption = builder.Caption(kMarkFileKey, kMarkFileFallback);
    // Only an entry that went in gets the logo: at indexMenu there would
    // otherwise be some other handler's item.
    if (InsertSubmenuEntry(hmenu, indexMenu, submenu, caption ? caption.get() : kMarkFileFallback))
        SetSubmenuLogo(hmenu, indexMenu);

    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, nCommands);
}
