// The one layout of the bitmaps beside menu items, for the extension and for
// the benchmark's floor, which draws the same bitmaps without its helpers.
#pragma once

#include <windows.h>

// The header of every bitmap handed to a menu: 32 bpp with alpha in the
// fourth byte, positive height (rows stored bottom-up), no colour table.
inline BITMAPINFO MakeMenuDibHeader(int nWidth, int nHeight) noexcept
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = nWidth;
    bmi.bmiHeader.biHeight = nHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return bmi;
}
