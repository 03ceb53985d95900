// Helpers for the tests of the marker menu and its pictures: reading the
// pixels of the bitmaps a menu shows, a recognisable menu colour, and a test
// installation with the test icon library in its icon folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/win/TestSupport.h"

namespace menu_pictures {

// 0xAARRGGBB as a 32-bpp DIB stores it, for an opaque colour.
constexpr uint32_t Opaque(uint8_t r, uint8_t g, uint8_t b)
{
    return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

inline uint32_t OpaqueOf(COLORREF cr)
{
    return Opaque(GetRValue(cr), GetGValue(cr), GetBValue(cr));
}

// The pixels of a 32-bpp DIB section, rows from the top.
struct DibPixels
{
    int nWidth = 0;
    int nHeight = 0;
    bool bBottomUp = false;
    std::vector<uint32_t> vecPixels;

    uint32_t At(int x, int y) const { return vecPixels[static_cast<size_t>(y) * nWidth + x]; }
    bool AllOpaque() const
    {
        for (uint32_t pixel : vecPixels)
            if ((pixel >> 24) != 0xFF)
                return false;
        return true;
    }
};

// False when hBitmap is no 32-bpp DIB section.
inline bool ReadDibPixels(HBITMAP hBitmap, DibPixels& pixels)
{
    DIBSECTION section = {};
    if (hBitmap == nullptr || ::GetObjectW(hBitmap, sizeof(section), &section) != sizeof(section))
        return false;
    if (section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr)
        return false;
    pixels.nWidth = section.dsBm.bmWidth;
    pixels.nHeight = section.dsBm.bmHeight;
    pixels.bBottomUp = section.dsBmih.biHeight > 0;
    pixels.vecPixels.resize(static_cast<size_t>(pixels.nWidth) * pixels.nHeight);
    const uint32_t* pBits = static_cast<const uint32_t*>(section.dsBm.bmBits);
    for (int y = 0; y < pixels.nHeight; ++y)
    {
        const int nStoredRow = pixels.bBottomUp ? pixels.nHeight - 1 - y : y;
        for (int x = 0; x < pixels.nWidth; ++x)
            pixels.vecPixels[static_cast<size_t>(y) * pixels.nWidth + x] =
                pBits[static_cast<size_t>(nStoredRow) * pixels.nWidth + x];
    }
    return true;
}

// The unchecked bitmap of an item; the checked one must be the same.
inline HBITMAP ItemBitmap(HMENU hMenu, UINT nPosition, bool* pbSameWhenChecked = nullptr)
{
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_CHECKMARKS;
    if (!::GetMenuItemInfoW(hMenu, nPosition, TRUE, &info))
        return nullptr;
    if (pbSameWhenChecked != nullptr)
        *pbSameWhenChecked = info.hbmpChecked == info.hbmpUnchecked;
    return info.hbmpUnchecked;
}

inline std::wstring ItemText(HMENU hMenu, UINT nPosition)
{
    wchar_t szText[512] = {};
    ::GetMenuStringW(hMenu, nPosition, szText, 512, MF_BYPOSITION);
    return szText;
}

inline bool IsLiveBitmap(HBITMAP hBitmap)
{
    return ::GetObjectType(hBitmap) == OBJ_BITMAP;
}

// A menu colour no icon of the tests uses, so that it can be told apart.
class MenuColourOverride
{
public:
    static constexpr COLORREF kColour = RGB(10, 200, 30);

    MenuColourOverride() : m_crPrevious(::GetSysColor(COLOR_MENU))
    {
        INT nElement = COLOR_MENU;
        COLORREF cr = kColour;
        ::SetSysColors(1, &nElement, &cr);
    }
    ~MenuColourOverride()
    {
        INT nElement = COLOR_MENU;
        ::SetSysColors(1, &nElement, &m_crPrevious);
    }
    MenuColourOverride(const MenuColourOverride&) = delete;
    MenuColourOverride& operator=(const MenuColourOverride&) = delete;

private:
    COLORREF m_crPrevious;
};

// A folder laid out like the product's installation: "icl\Main.icl" (the
// test icon library) unless asked not to, and an empty "Languages" folder.
class TestInstallation
{
public:
    explicit TestInstallation(bool bWithIconLibrary = true)
        : m_strDir(testing_support::MakeTempFolder(L"install"))
    {
        testing_support::CreateFolderTree(m_strDir + L"\\Languages");
        if (bWithIconLibrary)
        {
            testing_support::CreateFolderTree(m_strDir + L"\\icl");
            ::CopyFileW(TestIconLibrary().c_str(), IconLibrary().c_str(), FALSE);
        }
    }
    ~TestInstallation() { testing_support::DeleteFolderTree(m_strDir); }
    TestInstallation(const TestInstallation&) = delete;
    TestInstallation& operator=(const TestInstallation&) = delete;

    static std::wstring TestIconLibrary() { return testing_support::WinPathFromEnv(L"ORVANE_TEST_ICL"); }

    const std::wstring& Dir() const { return m_strDir; }
    std::wstring IconLibrary() const { return m_strDir + L"\\icl\\Main.icl"; }
    std::wstring LanguageFile(const std::wstring& strName) const
    {
        return m_strDir + L"\\Languages\\" + strName + L".lng";
    }

private:
    std::wstring m_strDir;
};

// Colours of the test icon library "Main.icl" by index, and of the swatch
// resources the colour items show (base shades).
constexpr uint32_t kIclColours[] = {
    Opaque(220, 20, 60), Opaque(70, 130, 180), Opaque(34, 139, 34), Opaque(255, 215, 0), Opaque(138, 43, 226),
    Opaque(0, 128, 128), Opaque(255, 140, 0),  Opaque(128, 0, 0),   Opaque(30, 144, 255), Opaque(199, 21, 133),
};
constexpr bool kIclHasAlpha[] = {true, false, false, true, false, false, true, false, true, false};

}  // namespace menu_pictures
