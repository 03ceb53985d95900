#include "tools/refapp/LibraryIcon.h"

#include "ShellExt/core/Handles.h"

namespace {

// Both bitmaps of an icon, deleted together.
struct CIconBitmaps
{
    CBitmapHandle color;
    CBitmapHandle mask;
};

bool ReadIconBitmaps(HICON hIcon, CIconBitmaps& bitmaps)
{
    ICONINFO info = {};
    if (!::GetIconInfo(hIcon, &info))
        return false;
    bitmaps.color.Reset(info.hbmColor);
    bitmaps.mask.Reset(info.hbmMask);
    return true;
}

// A bitmap's pixels as 32-bit values, rows from the top. A monochrome bitmap
// arrives as black (0) and white (0x00FFFFFF).
bool ReadPixels(HDC hdc, HBITMAP hBitmap, int nSize, std::vector<uint32_t>& vecPixels)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = nSize;
    bmi.bmiHeader.biHeight = -nSize;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    vecPixels.assign(static_cast<size_t>(nSize) * nSize, 0);
    return ::GetDIBits(hdc, hBitmap, 0, nSize, vecPixels.data(), &bmi, DIB_RGB_COLORS) == nSize;
}

bool IconToPixels(HICON hIcon, int nSize, IconPixels& image, std::string& strError)
{
    CIconBitmaps bitmaps;
    if (!ReadIconBitmaps(hIcon, bitmaps))
    {
        strError = "GetIconInfo failed";
        return false;
    }
    if (!bitmaps.color)
    {
        strError = "monochrome icons are not supported";
        return false;
    }
    BITMAP bm = {};
    if (::GetObjectW(bitmaps.color.Get(), sizeof(bm), &bm) == 0 || bm.bmWidth != nSize || bm.bmHeight != nSize)
    {
        strError = "the icon has an unexpected size";
        return false;
    }

    CDcHandle dc(::CreateCompatibleDC(nullptr));
    if (!dc)
    {
        strError = "CreateCompatibleDC failed";
        return false;
    }
    IconPixels pixels;
    pixels.nSize = nSize;
    std::vector<uint32_t> vecMask;
    if (!ReadPixels(dc.Get(), bitmaps.color.Get(), nSize, pixels.vecArgb) ||
        !ReadPixels(dc.Get(), bitmaps.mask.Get(), nSize, vecMask))
    {
        strError = "GetDIBits failed";
        return false;
    }
    std::vector<bool> vecTransparent(vecMask.size());
    for (size_t i = 0; i < vecMask.size(); ++i)
        vecTransparent[i] = (vecMask[i] & 0x00FFFFFF) != 0;
    ApplyMaskWhenNoAlpha(pixels, vecTransparent);
    image = std::move(pixels);
    return true;
}

}  // namespace

bool ExtractLibraryIcon(const std::wstring& strLibrary, int nIndex, int nSize, IconPixels& image,
                        std::string& strError)
{
    HICON hIcon = nullptr;
    UINT nId = 0;
    UINT nExtracted = ::PrivateExtractIconsW(strLibrary.c_str(), nIndex, nSize, nSize, &hIcon, &nId, 1, 0);
    CIconHandle icon(nExtracted == 1 ? hIcon : nullptr);
    if (!icon)
    {
        strError = "the library has no icon " + std::to_string(nIndex) + " (or cannot be read)";
        return false;
    }
    return IconToPixels(icon.Get(), nSize, image, strError);
}
