// IContextMenu::QueryContextMenu: the cascading "Mark File" entry and its
// submenu of markers, colours and commands, with one record per command item.
#include "ShellExt/contextmenu/MarkerMenu.h"

#include <cstdint>
#include <string>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/icons/MenuBitmaps.h"
#include "ShellExt/menu/MenuItemRecord.h"
#include "ShellExt/menu/MenuRows.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/settings/Captions.h"
#include "ShellExt/settings/Settings.h"

namespace {

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
    CMarkerMenuBuilder(CSimpleShlExt& extension, UINT idCmdFirst, std::wstring strLangFile,
                       uint32_t nHiddenItems) noexcept
        : m_extension(extension),
          m_idCmdFirst(idCmdFirst),
          m_strLangFile(std::move(strLangFile)),
          m_nHiddenItems(nHiddenItems)
    {
    }

    // Returns the position after the last row that went in.
    UINT AddRows(HMENU hMenu, UINT nFirstPosition, MenuRowSpan rows) noexcept
    {
        UINT nPosition = nFirstPosition;
        for (size_t i = 0; i < rows.nCount; ++i)
        {
            const MenuRow& row = rows.pRows[i];
            if (!IsMenuRowShown(rows, i, m_nHiddenItems))
            {
                if (row.nType != kSeparatorRow)
                    m_extension.AddHiddenItemRecord();
                continue;
            }
            if (row.nType == kSeparatorRow)
                ::InsertMenuW(hMenu, nPosition, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
            else if (row.nType == kItemExtendedSubmenu)
                AddExtendedSubmenu(hMenu, nPosition, row);
            else
                AddItem(hMenu, nPosition, row, m_idCmdFirst + row.nOffset);
            ++nPosition;
        }
        return nPosition;
    }

    CaptionPtr Caption(const char16_t* pszKey, const char16_t* pszFallback) const noexcept
    {
        return CaptionPtr(GetMenuCaptionFrom(m_strLangFile.c_str(), AsWide(pszKey), AsWide(pszFallback)));
    }

private:
    BOOL AddItem(HMENU hMenu, UINT nPosition, const MenuRow& row, UINT_PTR idOrSubmenu) noexcept
    {
        CaptionPtr caption = Caption(row.pszKey, row.pszFallback);
        // Out of memory for the caption: the item still goes in, in English.
        const wchar_t* pszCaption = caption ? caption.get() : AsWide(row.pszFallback);
        return m_extension.AddMenuItem(hMenu, nPosition, idOrSubmenu, pszCaption, row);
    }

    void AddExtendedSubmenu(HMENU hMenu, UINT nPosition, const MenuRow& row) noexcept
    {
        CMenuHandle extended(::CreatePopupMenu());
        // The rows' records go in even without the submenu, so that the
        // offsets after them stay in step.
        AddRows(extended.Get(), 0, ExtendedSubmenuRows());
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
    uint32_t m_nHiddenItems;
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

BOOL CSimpleShlExt::AddMenuItem(HMENU hMenu, UINT nPosition, UINT_PTR idOrSubmenu, const wchar_t* pszCaption,
                                const MenuRow& row) noexcept
{
    const MenuItemRecord record = MakeMenuItemRecord(row, m_szInstallDir);

    BOOL bInserted;
    if (row.nType == kItemExtendedSubmenu)
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
    SetItemPicture(hMenu, nPosition, record, row.pszIconLibrary != nullptr, row.wIconResource);
    return bInserted;
}

void CSimpleShlExt::AddHiddenItemRecord() noexcept
{
    try
    {
        m_vecMenuItems.push_back(MenuItemRecord{});
    }
    catch (...)
    {
    }
}

STDMETHODIMP CSimpleShlExt::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                             UINT uFlags)
{
    return m_trace.Call("QueryContextMenu", SelectionDetails(), [&] {
        return GuardComMethod([&] { return BuildMarkerMenu(hmenu, indexMenu, idCmdFirst, idCmdLast, uFlags); });
    });
}

HRESULT CSimpleShlExt::BuildMarkerMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                       UINT uFlags)
{
    // The host only wants to know the default item, and we offer none.
    if (uFlags & CMF_DEFAULTONLY)
        return S_OK;

    ClearMenuBitmapList();
    m_vecMenuItems.clear();

    const bool bExtended = (uFlags & CMF_EXTENDEDVERBS) != 0;
    const UINT nCommands = MenuCommandCount(bExtended);
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
    CMarkerMenuBuilder builder(*this, idCmdFirst, std::move(strLangFile), m_switches.nHiddenMenuItems);

    CMenuHandle submenu(::CreatePopupMenu());
    const UINT nTailPosition = builder.AddRows(submenu.Get(), 0, CommonMenuRows());
    builder.AddRows(submenu.Get(), nTailPosition, TailMenuRows(bExtended));

    CaptionPtr caption = builder.Caption(kMarkFileKey, kMarkFileFallback);
    // Only an entry that went in gets the logo: at indexMenu there would
    // otherwise be some other handler's item.
    if (InsertSubmenuEntry(hmenu, indexMenu, submenu, caption ? caption.get() : AsWide(kMarkFileFallback)))
        SetSubmenuLogo(hmenu, indexMenu);

    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, nCommands);
}
