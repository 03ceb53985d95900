#include "ShellExt/menu/MenuRows.h"

#include "ShellExt/resources/resource.h"

const char16_t kMarkFileKey[] = u"#DEFITEM#_Mark_File";
const char16_t kMarkFileFallback[] = u"Mark File";

namespace {

const char16_t kMainIcl[] = u"Main.icl";

// The colours stored in the records are what the main application applies;
// the swatches only show them approximately.
const MenuRow kCommonRows[] = {
    {kItemMarker, 0, u"#DEFITEM#_High Priority", u"High Priority", kMainIcl, 0, 0, 0},
    {kItemMarker, 1, u"#DEFITEM#_Low Priority", u"Low Priority", kMainIcl, 2, 0, 0},
    {kItemMarker, 2, u"#DEFITEM#_Planned Work", u"Planned Work", kMainIcl, 3, 0, 0},
    {kItemMarker, 3, u"#DEFITEM#_Done Work", u"Done Work", kMainIcl, 5, 0, 0},
    {kItemMarker, 4, u"#DEFITEM#_Approved", u"Approved", kMainIcl, 6, 0, 0},
    {kItemMarker, 5, u"#DEFITEM#_Rejected", u"Rejected", kMainIcl, 8, 0, 0},
    {kSeparatorRow, 0, nullptr, nullptr, nullptr, 0, 0, 0},
    {kItemColor, 6, u"#DEFITEM#_Red", u"Red", nullptr, 0, MakeMenuColor(254, 69, 54), IDI_SWATCH_RED},
    {kItemColor, 7, u"#DEFITEM#_Green", u"Green", nullptr, 0, MakeMenuColor(20, 250, 44), IDI_SWATCH_GREEN},
    {kItemColor, 8, u"#DEFITEM#_Blue", u"Blue", nullptr, 0, MakeMenuColor(91, 145, 255), IDI_SWATCH_BLUE},
    {kItemColor, 9, u"#DEFITEM#_Gray", u"Gray", nullptr, 0, MakeMenuColor(178, 178, 178), IDI_SWATCH_GRAY},
    {kSeparatorRow, 0, nullptr, nullptr, nullptr, 0, 0, 0},
};

const MenuRow kPlainTailRows[] = {
    {kItemRestoreDefault, 10, u"#DEFITEM#_Restore_Default", u"Restore Default", nullptr, 0, 0, 0},
    {kItemMoreIcons, 11, u"#DEFITEM#_More_Icons", u"More Icons", nullptr, 0, 0, 0},
};

// With Shift held, "Restore Default" opens the extended submenu and "More
// Icons" moves to the last offset.
const MenuRow kExtendedTailRows[] = {
    {kItemExtendedSubmenu, 0, u"#DEFITEM#_Restore_Default", u"Restore Default", nullptr, 0, 0, 0},
    {kItemMoreIcons, 13, u"#DEFITEM#_More_Icons", u"More Icons", nullptr, 0, 0, 0},
};

const MenuRow kExtendedSubmenuRows[] = {
    {kItemMarkFile, 10, kMarkFileKey, kMarkFileFallback, nullptr, 0, 0, 0},
    {kItemRemoveColor, 11, u"#DEFITEM#_Remove_Color", u"Remove Color", nullptr, 0, 0, 0},
    {kItemRestoreDefault, 12, u"#DEFITEM#_Remove_Marker_Color", u"Remove Marker && Color", nullptr, 0, 0, 0},
};

const unsigned kPlainCommandCount = 12;
const unsigned kExtendedCommandCount = 14;

template <size_t N>
constexpr MenuRowSpan SpanOf(const MenuRow (&rows)[N]) noexcept
{
    return MenuRowSpan{rows, N};
}

}  // namespace

MenuRowSpan CommonMenuRows() noexcept
{
    return SpanOf(kCommonRows);
}

MenuRowSpan TailMenuRows(bool bExtended) noexcept
{
    return bExtended ? SpanOf(kExtendedTailRows) : SpanOf(kPlainTailRows);
}

MenuRowSpan ExtendedSubmenuRows() noexcept
{
    return SpanOf(kExtendedSubmenuRows);
}

unsigned MenuCommandCount(bool bExtended) noexcept
{
    return bExtended ? kExtendedCommandCount : kPlainCommandCount;
}

namespace {

bool IsItemHidden(const MenuRow& row, uint32_t nHiddenItems) noexcept
{
    if (row.nType != kItemMarker && row.nType != kItemColor)
        return false;
    return row.nOffset < 32 && ((nHiddenItems & kHideableMenuItems) >> row.nOffset & 1) != 0;
}

}  // namespace

bool IsMenuRowShown(MenuRowSpan rows, size_t nIndex, uint32_t nHiddenItems) noexcept
{
    if (nIndex >= rows.nCount)
        return false;
    if (rows.pRows[nIndex].nType != kSeparatorRow)
        return !IsItemHidden(rows.pRows[nIndex], nHiddenItems);
    for (size_t i = nIndex; i-- > 0 && rows.pRows[i].nType != kSeparatorRow;)
    {
        if (!IsItemHidden(rows.pRows[i], nHiddenItems))
            return true;
    }
    return false;
}
