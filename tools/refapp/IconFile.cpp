#include "tools/refapp/IconFile.h"

namespace {

const size_t kIconDirBytes = 6;
const size_t kIconDirEntryBytes = 16;
const size_t kBitmapInfoHeaderBytes = 40;

void PutU16(std::vector<uint8_t>& vec, uint32_t n)
{
    vec.push_back(static_cast<uint8_t>(n & 0xFF));
    vec.push_back(static_cast<uint8_t>((n >> 8) & 0xFF));
}

void PutU32(std::vector<uint8_t>& vec, uint32_t n)
{
    PutU16(vec, n & 0xFFFF);
    PutU16(vec, n >> 16);
}

bool IsWellFormed(const IconPixels& image)
{
    return image.nSize >= 1 && image.nSize <= 256 &&
           image.vecArgb.size() == static_cast<size_t>(image.nSize) * static_cast<size_t>(image.nSize);
}

// AND-mask rows are one bit per pixel, padded to 32 bits.
size_t MaskRowBytes(int nSize) { return ((static_cast<size_t>(nSize) + 31) / 32) * 4; }

size_t ImageBytes(const IconPixels& image)
{
    size_t nSize = static_cast<size_t>(image.nSize);
    return kBitmapInfoHeaderBytes + nSize * nSize * 4 + MaskRowBytes(image.nSize) * nSize;
}

// A DIB as .ico files store it: the header gives twice the height (colour
// bitmap and mask), rows run from the bottom.
void AppendImage(std::vector<uint8_t>& vecOut, const IconPixels& image)
{
    const int nSize = image.nSize;
    PutU32(vecOut, kBitmapInfoHeaderBytes);
    PutU32(vecOut, static_cast<uint32_t>(nSize));
    PutU32(vecOut, static_cast<uint32_t>(nSize * 2));
    PutU16(vecOut, 1);   // planes
    PutU16(vecOut, 32);  // bits per pixel
    PutU32(vecOut, 0);   // BI_RGB
    PutU32(vecOut, static_cast<uint32_t>(ImageBytes(image) - kBitmapInfoHeaderBytes));
    for (int i = 0; i < 4; ++i)
        PutU32(vecOut, 0);  // resolution and palette: unused

    for (int y = nSize - 1; y >= 0; --y)
        for (int x = 0; x < nSize; ++x)
            PutU32(vecOut, image.vecArgb[static_cast<size_t>(y) * nSize + x]);

    const size_t cbMaskRow = MaskRowBytes(nSize);
    for (int y = nSize - 1; y >= 0; --y)
    {
        std::vector<uint8_t> vecRow(cbMaskRow, 0);
        for (int x = 0; x < nSize; ++x)
            if ((image.vecArgb[static_cast<size_t>(y) * nSize + x] >> 24) == 0)
                vecRow[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        vecOut.insert(vecOut.end(), vecRow.begin(), vecRow.end());
    }
}

uint32_t Argb(uint32_t nAlpha, uint32_t nRed, uint32_t nGreen, uint32_t nBlue)
{
    return (nAlpha << 24) | (nRed << 16) | (nGreen << 8) | nBlue;
}

// Whether the pixel centre lies inside the square [0, nSize) with corners
// rounded by nRadius; in doubled coordinates to stay in integers.
bool InsideRoundedSquare(int x, int y, int nSize, int nRadius)
{
    const int cx = 2 * x + 1;
    const int cy = 2 * y + 1;
    const int nLow = 2 * nRadius;
    const int nHigh = 2 * (nSize - nRadius);
    int dx = cx < nLow ? nLow - cx : (cx > nHigh ? cx - nHigh : 0);
    int dy = cy < nLow ? nLow - cy : (cy > nHigh ? cy - nHigh : 0);
    return dx * dx + dy * dy <= 4 * nRadius * nRadius;
}

}  // namespace

void ApplyMaskWhenNoAlpha(IconPixels& image, const std::vector<bool>& vecTransparent)
{
    for (uint32_t nPixel : image.vecArgb)
        if ((nPixel >> 24) != 0)
            return;
    for (size_t i = 0; i < image.vecArgb.size(); ++i)
    {
        bool bTransparent = i < vecTransparent.size() && vecTransparent[i];
        image.vecArgb[i] = bTransparent ? 0 : (image.vecArgb[i] | 0xFF000000u);
    }
}

std::vector<uint8_t> EncodeIcoFile(const std::vector<IconPixels>& vecImages)
{
    if (vecImages.empty() || vecImages.size() > 0xFFFF)
        return {};
    for (const IconPixels& image : vecImages)
        if (!IsWellFormed(image))
            return {};

    std::vector<uint8_t> vecOut;
    PutU16(vecOut, 0);  // reserved
    PutU16(vecOut, 1);  // icon
    PutU16(vecOut, static_cast<uint32_t>(vecImages.size()));
    size_t nOffset = kIconDirBytes + kIconDirEntryBytes * vecImages.size();
    for (const IconPixels& image : vecImages)
    {
        uint8_t nDimension = image.nSize == 256 ? 0 : static_cast<uint8_t>(image.nSize);
        vecOut.push_back(nDimension);
        vecOut.push_back(nDimension);
        vecOut.push_back(0);  // no palette
        vecOut.push_back(0);
        PutU16(vecOut, 1);
        PutU16(vecOut, 32);
        PutU32(vecOut, static_cast<uint32_t>(ImageBytes(image)));
        PutU32(vecOut, static_cast<uint32_t>(nOffset));
        nOffset += ImageBytes(image);
    }
    for (const IconPixels& image : vecImages)
        AppendImage(vecOut, image);
    return vecOut;
}

IconPixels MakeColorSwatch(uint32_t crColor, int nSize)
{
    IconPixels image;
    if (nSize < 1 || nSize > 256)
        return image;
    image.nSize = nSize;
    image.vecArgb.assign(static_cast<size_t>(nSize) * nSize, 0);

    const uint32_t nRed = crColor & 0xFF;
    const uint32_t nGreen = (crColor >> 8) & 0xFF;
    const uint32_t nBlue = (crColor >> 16) & 0xFF;
    const uint32_t nFill = Argb(255, nRed, nGreen, nBlue);
    const uint32_t nRim = Argb(255, nRed * 3 / 4, nGreen * 3 / 4, nBlue * 3 / 4);
    const int nRadius = nSize / 5;
    const int nRimWidth = nSize >= 24 ? 2 : 1;

    for (int y = 0; y < nSize; ++y)
    {
        for (int x = 0; x < nSize; ++x)
        {
            if (!InsideRoundedSquare(x, y, nSize, nRadius))
                continue;
            bool bInner = x >= nRimWidth && y >= nRimWidth && x < nSize - nRimWidth && y < nSize - nRimWidth &&
                          InsideRoundedSquare(x - nRimWidth, y - nRimWidth, nSize - 2 * nRimWidth,
                                              nRadius > nRimWidth ? nRadius - nRimWidth : 0);
            image.vecArgb[static_cast<size_t>(y) * nSize + x] = bInner ? nFill : nRim;
        }
    }
    return image;
}
