// The .ico bytes that the reference main application stores in a marked
// file's stream: square 32-bit images with straight alpha, each followed by
// its AND mask, as the shell's icon loaders read them. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct IconPixels
{
    int nSize = 0;                   // width and height
    std::vector<uint32_t> vecArgb;   // nSize * nSize pixels, rows from the top, 0xAARRGGBB
};

// An icon drawn without an alpha channel (every alpha byte 0) gets its
// transparency from the AND mask: set bits are transparent, the rest opaque.
// vecTransparent holds one flag per pixel, rows from the top. An image that
// has alpha is left alone.
void ApplyMaskWhenNoAlpha(IconPixels& image, const std::vector<bool>& vecTransparent);

// An .ico file holding the images in the order given. Empty when there is no
// image or an image is malformed (size outside 1..256, wrong pixel count).
std::vector<uint8_t> EncodeIcoFile(const std::vector<IconPixels>& vecImages);

// The colour-mark icon for a COLORREF (0x00BBGGRR): a rounded square of the
// colour with a darker rim, transparent outside.
IconPixels MakeColorSwatch(uint32_t crColor, int nSize);
