// The marker menu as data: every row with its caption key, English fallback,
// item type, command offset, picture source and colour. Platform-free, so
// that every front end walks the same rows and the table builds natively.
#pragma once

#include <cstddef>
#include <cstdint>

// What choosing an item hands to the main application; the record of a
// command item keeps it.
enum MenuItemType : int
{
    kItemMarker = 1,          // "-oi" with the icon library and index
    kItemMarkFile = 2,        // "-uo"
    kItemColor = 3,           // "-ci" with the colour
    kItemRemoveColor = 4,     // "-uc"
    kItemMoreIcons = 5,       // "-mi"
    kItemRestoreDefault = 6,  // "-rd"
    kItemExtendedSubmenu = 7, // opens the extended submenu; never recorded
};

// The row type of a separator line.
const int kSeparatorRow = 0;

// A colour as the main application stores it: 0x00BBGGRR.
constexpr uint32_t MakeMenuColor(uint8_t nRed, uint8_t nGreen, uint8_t nBlue) noexcept
{
    return static_cast<uint32_t>(nRed) | (static_cast<uint32_t>(nGreen) << 8) | (static_cast<uint32_t>(nBlue) << 16);
}

// One row of the menu: an item, a separator, or the cascading item that
// opens the extended submenu. A marker's picture is icon nIconIndex of the
// library pszIconLibrary; a colour's is the swatch resource wIconResource.
struct MenuRow
{
    int nType;         // MenuItemType, or kSeparatorRow
    unsigned nOffset;  // added to the first command identifier; unused by separators and the cascade
    const char16_t* pszKey;
    const char16_t* pszFallback;
    const char16_t* pszIconLibrary;  // bare file name, or null
    int nIconIndex;
    uint32_t crColor;
    uint16_t wIconResource;  // swatch resource of a colour item
};

struct MenuRowSpan
{
    const MenuRow* pRows;
    size_t nCount;
};

// The caption of the entry that opens the marker submenu.
extern const char16_t kMarkFileKey[];
extern const char16_t kMarkFileFallback[];

// Positions 0 to 11 of the marker submenu, the same with or without the
// extended flag.
MenuRowSpan CommonMenuRows() noexcept;
// Positions 12 and 13: plain, or (bExtended, the user holds Shift) with the
// cascade to the extended submenu.
MenuRowSpan TailMenuRows(bool bExtended) noexcept;
// The rows of the extended submenu.
MenuRowSpan ExtendedSubmenuRows() noexcept;
// How many command identifiers one build hands out.
unsigned MenuCommandCount(bool bExtended) noexcept;

// The items an administrator may hide (the HiddenMenuItems policy): one bit
// per marker and colour in the menu's order, which is their command offset
// (bit 0 "High Priority" .. bit 9 "Gray").
constexpr uint32_t kHideableMenuItems = 0x3FF;

// Whether row nIndex of rows shows with the items of nHiddenItems left out.
// A hidden item keeps its command offset, so the others keep theirs. A
// separator shows only after an item that shows since the previous one;
// the rows after the last separator ("Restore Default", "More Icons") can
// never be hidden, so no separator is ever left last.
bool IsMenuRowShown(MenuRowSpan rows, size_t nIndex, uint32_t nHiddenItems) noexcept;
