// Reads a built menu back, item by item, and prints it as a tree:
// positions, command identifiers and offsets, captions, separators,
// submenus and the bitmaps items carry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct MenuEntry
{
    UINT nPosition = 0;
    bool bSeparator = false;
    UINT nId = 0;
    HMENU hSubmenu = nullptr;
    std::wstring strCaption;     // as stored, with its access-key marks
    std::string strBitmap;       // e.g. "16x16 32bpp"; empty without one
    std::vector<MenuEntry> vecChildren;
};

std::vector<MenuEntry> ReadMenu(HMENU hMenu);

// The range of identifiers the extension was given and used: everything
// else in the menu belongs to the host.
struct CommandRange
{
    UINT nFirst = 0;
    UINT nCount = 0;
    bool Contains(UINT nId) const { return nId >= nFirst && nId - nFirst < nCount; }
};

std::string FormatMenuTree(const std::vector<MenuEntry>& vecEntries, const CommandRange& range);

// The extension's command items, depth-first, for choosing one by caption.
void CollectCommandItems(const std::vector<MenuEntry>& vecEntries, const CommandRange& range,
                         std::vector<const MenuEntry*>& vecItems);
