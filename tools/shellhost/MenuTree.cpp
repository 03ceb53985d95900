#include "tools/shellhost/MenuTree.h"

#include <cstdio>

#include "tools/common/WinText.h"
#include "tools/shellhost/HostOptions.h"

namespace {

const size_t kCaptionColumn = 26;

std::string DescribeBitmap(HBITMAP hBitmap)
{
    if (hBitmap == nullptr)
        return std::string();
    // The predefined HBMMENU_* values are not GDI objects.
    if (reinterpret_cast<ULONG_PTR>(hBitmap) <= 11)
        return "system bitmap " + std::to_string(reinterpret_cast<ULONG_PTR>(hBitmap));
    BITMAP bm = {};
    if (::GetObjectW(hBitmap, sizeof(bm), &bm) == 0)
        return "invalid bitmap handle";
    return std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight) + " " + std::to_string(bm.bmBitsPixel) +
           "bpp";
}

MenuEntry ReadItem(HMENU hMenu, UINT nPosition)
{
    MenuEntry entry;
    entry.nPosition = nPosition;
    wchar_t szCaption[520] = {};
    MENUITEMINFOW mii = {};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_BITMAP | MIIM_CHECKMARKS;
    mii.dwTypeData = szCaption;
    mii.cch = ARRAYSIZE(szCaption);
    if (!::GetMenuItemInfoW(hMenu, nPosition, TRUE, &mii))
    {
        entry.strCaption = L"(unreadable item)";
        return entry;
    }
    entry.bSeparator = (mii.fType & MFT_SEPARATOR) != 0;
    entry.nId = mii.wID;
    entry.hSubmenu = mii.hSubMenu;
    entry.strCaption = szCaption;
    // The extension sets its pictures as check-mark bitmaps; a host could
    // also use the item bitmap. Either shows beside the caption.
    HBITMAP hBitmap = mii.hbmpUnchecked != nullptr ? mii.hbmpUnchecked : mii.hbmpItem;
    entry.strBitmap = DescribeBitmap(hBitmap);
    if (entry.hSubmenu != nullptr)
        entry.vecChildren = ReadMenu(entry.hSubmenu);
    return entry;
}

std::string Pad(std::string str, size_t nWidth)
{
    // Pads by characters, not bytes, so that UTF-8 captions line up.
    size_t nChars = 0;
    for (unsigned char ch : str)
        nChars += (ch & 0xC0) != 0x80;
    if (nChars < nWidth)
        str.append(nWidth - nChars, ' ');
    return str;
}

void AppendEntries(std::string& strOut, const std::vector<MenuEntry>& vecEntries, const CommandRange& range,
                   const std::string& strIndent)
{
    for (const MenuEntry& entry : vecEntries)
    {
        char szPosition[16] = {};
        std::snprintf(szPosition, sizeof(szPosition), "%2u  ", entry.nPosition);
        std::string strLine = strIndent + szPosition;
        if (entry.bSeparator)
        {
            strOut += strLine + "----------------\n";
            continue;
        }
        std::string strCaption = Utf16ToUtf8(DisplayCaption(ToU16(entry.strCaption)));
        if (entry.hSubmenu != nullptr)
            strCaption += " >";
        strLine += Pad(strCaption, kCaptionColumn);
        if (entry.hSubmenu != nullptr)
            strLine += Pad("submenu", 22);
        else if (range.Contains(entry.nId))
        {
            char szId[48] = {};
            std::snprintf(szId, sizeof(szId), "id %-5u offset %-3u", entry.nId, entry.nId - range.nFirst);
            strLine += Pad(szId, 22);
        }
        else
            strLine += Pad("host item", 22);
        if (!entry.strBitmap.empty())
            strLine += "bitmap " + entry.strBitmap;
        while (!strLine.empty() && strLine.back() == ' ')
            strLine.pop_back();
        strOut += strLine + "\n";
        AppendEntries(strOut, entry.vecChildren, range, strIndent + "      ");
    }
}

}  // namespace

std::vector<MenuEntry> ReadMenu(HMENU hMenu)
{
    std::vector<MenuEntry> vecEntries;
    int nCount = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < nCount; ++i)
        vecEntries.push_back(ReadItem(hMenu, static_cast<UINT>(i)));
    return vecEntries;
}

std::string FormatMenuTree(const std::vector<MenuEntry>& vecEntries, const CommandRange& range)
{
    std::string strOut;
    AppendEntries(strOut, vecEntries, range, "  ");
    return strOut;
}

void CollectCommandItems(const std::vector<MenuEntry>& vecEntries, const CommandRange& range,
                         std::vector<const MenuEntry*>& vecItems)
{
    for (const MenuEntry& entry : vecEntries)
    {
        if (!entry.bSeparator && entry.hSubmenu == nullptr && range.Contains(entry.nId))
            vecItems.push_back(&entry);
        CollectCommandItems(entry.vecChildren, range, vecItems);
    }
}
