// The reference main application's platform-free parts: the command line as
// the extension sends it, the selection file, and the .ico bytes it stores.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/refapp/IconFile.h"
#include "tools/refapp/RefAppCommand.h"
#include "tools/refapp/SelectionFileReader.h"

namespace {

struct CommandCase
{
    std::vector<std::u16string> vecArgs;
    bool bValid;
    RefAppSwitch eSwitch;
    int32_t nIconIndex;
    uint32_t crColor;
    const char* pszErrorPart;  // for invalid ones
};

TEST(RefAppCommand, AcceptsExactlyTheSwitchesAndArgumentsTheExtensionSends)
{
    const std::u16string sel = u"C:\\Temp\\orvane100041.dat";
    const std::u16string lib = u"C:\\Program Files\\Kelvoss\\Orvane\\icl\\Main.icl";
    const CommandCase cases[] = {
        {{u"-oi", sel, lib, u"5"}, true, RefAppSwitch::MarkIcon, 5, 0, ""},
        {{u"-oi", sel, lib, u"-2147483648"}, true, RefAppSwitch::MarkIcon, INT32_MIN, 0, ""},
        {{u"-ci", sel, u"16748891"}, true, RefAppSwitch::MarkColor, 0, 0xFF915B, ""},
        {{u"-ci", sel, u"0"}, true, RefAppSwitch::MarkColor, 0, 0, ""},
        {{u"-uo", sel}, true, RefAppSwitch::UnmarkIcon, 0, 0, ""},
        {{u"-uc", sel}, true, RefAppSwitch::UnmarkColor, 0, 0, ""},
        {{u"-mi", sel}, true, RefAppSwitch::MoreIcons, 0, 0, ""},
        {{u"-rd", sel}, true, RefAppSwitch::RestoreDefault, 0, 0, ""},
        {{u"-ad"}, true, RefAppSwitch::AfterDelay, 0, 0, ""},
        {{}, false, RefAppSwitch::AfterDelay, 0, 0, "no switch"},
        {{u"-OI", sel, lib, u"5"}, false, RefAppSwitch::AfterDelay, 0, 0, "unknown switch"},
        {{u"/oi", sel, lib, u"5"}, false, RefAppSwitch::AfterDelay, 0, 0, "unknown switch"},
        {{u"-oi", sel, lib}, false, RefAppSwitch::AfterDelay, 0, 0, "takes 3"},
        {{u"-oi", sel, lib, u"5", u"x"}, false, RefAppSwitch::AfterDelay, 0, 0, "takes 3"},
        {{u"-ad", sel}, false, RefAppSwitch::AfterDelay, 0, 0, "takes 0"},
        {{u"-uo"}, false, RefAppSwitch::AfterDelay, 0, 0, "takes 1"},
        {{u"-uo", u""}, false, RefAppSwitch::AfterDelay, 0, 0, "empty selection"},
        {{u"-oi", sel, u"", u"5"}, false, RefAppSwitch::AfterDelay, 0, 0, "empty icon library"},
        {{u"-oi", sel, lib, u"5x"}, false, RefAppSwitch::AfterDelay, 0, 0, "not a decimal"},
        {{u"-oi", sel, lib, u""}, false, RefAppSwitch::AfterDelay, 0, 0, "not a decimal"},
        {{u"-oi", sel, lib, u"-"}, false, RefAppSwitch::AfterDelay, 0, 0, "not a decimal"},
        {{u"-oi", sel, lib, u"2147483648"}, false, RefAppSwitch::AfterDelay, 0, 0, "not a decimal"},
        {{u"-oi", sel, lib, u" 5"}, false, RefAppSwitch::AfterDelay, 0, 0, "not a decimal"},
        {{u"-ci", sel, u"-1"}, false, RefAppSwitch::AfterDelay, 0, 0, "COLORREF"},
        {{u"-ci", sel, u"16777216"}, false, RefAppSwitch::AfterDelay, 0, 0, "COLORREF"},
        {{u"-ci", sel, u"0xFF"}, false, RefAppSwitch::AfterDelay, 0, 0, "COLORREF"},
    };
    for (const CommandCase& c : cases)
    {
        SCOPED_TRACE(c.vecArgs.empty() ? std::string("(none)") : std::string(c.vecArgs[0].begin(), c.vecArgs[0].end()) +
                                                                    " / " + std::to_string(c.vecArgs.size()) + " words");
        RefAppCommand command;
        std::string strError;
        ASSERT_EQ(c.bValid, ParseRefAppCommand(c.vecArgs, command, strError)) << strError;
        if (!c.bValid)
        {
            EXPECT_NE(std::string::npos, strError.find(c.pszErrorPart)) << strError;
            continue;
        }
        EXPECT_EQ(c.eSwitch, command.eSwitch);
        EXPECT_EQ(c.nIconIndex, command.nIconIndex);
        EXPECT_EQ(c.crColor, command.crColor);
        if (c.eSwitch != RefAppSwitch::AfterDelay)
            EXPECT_EQ(sel, command.strSelectionFile);
        if (c.eSwitch == RefAppSwitch::MarkIcon)
            EXPECT_EQ(lib, command.strIconLibrary);
    }
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& str, bool bWithMark = true)
{
    std::vector<uint8_t> vec;
    if (bWithMark)
        vec = {0xFF, 0xFE};
    for (char16_t ch : str)
    {
        vec.push_back(static_cast<uint8_t>(ch & 0xFF));
        vec.push_back(static_cast<uint8_t>(ch >> 8));
    }
    return vec;
}

TEST(SelectionFileReader, ReadsPathsSeparatedByCarriageReturns)
{
    struct Case
    {
        std::vector<uint8_t> vecBytes;
        bool bValid;
        std::vector<std::u16string> vecPaths;
        size_t nWarnings;
    };
    const Case cases[] = {
        {Utf16Bytes(u"C:\\a.txt\rD:\\b\r"), true, {u"C:\\a.txt", u"D:\\b"}, 0},
        {Utf16Bytes(u""), true, {}, 0},
        {Utf16Bytes(u"C:\\with space\\\u00e4\U0001F600.txt\r"), true, {u"C:\\with space\\\u00e4\U0001F600.txt"}, 0},
        {Utf16Bytes(u"C:\\a\r\nC:\\b\r\n"), true, {u"C:\\a", u"C:\\b"}, 1},
        {Utf16Bytes(u"C:\\a\rC:\\last"), true, {u"C:\\a", u"C:\\last"}, 1},
        {Utf16Bytes(u"C:\\a\r\rC:\\b\r"), true, {u"C:\\a", u"C:\\b"}, 1},
        {Utf16Bytes(u"C:\\a\r", false), false, {}, 0},
        {{}, false, {}, 0},
        {{0xFE, 0xFF, 0, 'C', 0, '\r'}, false, {}, 0},
        {{0xFF, 0xFE, 'C'}, false, {}, 0},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        SCOPED_TRACE("case " + std::to_string(i));
        SelectionFileContents contents;
        std::string strError;
        ASSERT_EQ(cases[i].bValid, ReadSelectionFile(cases[i].vecBytes, contents, strError));
        if (!cases[i].bValid)
        {
            EXPECT_FALSE(strError.empty());
            continue;
        }
        EXPECT_EQ(cases[i].vecPaths, contents.vecPaths);
        EXPECT_EQ(cases[i].nWarnings, contents.vecWarnings.size());
    }
}

uint32_t U32At(const std::vector<uint8_t>& vec, size_t nOffset)
{
    uint32_t n = 0;
    std::memcpy(&n, vec.data() + nOffset, 4);  // the test machines are little-endian, as .ico files are
    return n;
}

uint16_t U16At(const std::vector<uint8_t>& vec, size_t nOffset)
{
    return static_cast<uint16_t>(vec[nOffset] | (vec[nOffset + 1] << 8));
}

IconPixels Gradient(int nSize)
{
    IconPixels image;
    image.nSize = nSize;
    for (int y = 0; y < nSize; ++y)
        for (int x = 0; x < nSize; ++x)
            image.vecArgb.push_back((x + y) % 3 == 0 ? 0 : 0xFF000000u | static_cast<uint32_t>(y * 256 + x));
    return image;
}

// Reads pixel (x, y), counted from the top, of image k back out of the file
// the way the shell's loader does: rows stored from the bottom, the AND mask
// after the colour bitmap.
struct DecodedPixel
{
    uint32_t nArgb;
    bool bMaskTransparent;
};

DecodedPixel DecodePixel(const std::vector<uint8_t>& vecIco, int k, int x, int y)
{
    size_t nEntry = 6 + 16 * static_cast<size_t>(k);
    size_t nOffset = U32At(vecIco, nEntry + 12);
    int nSize = static_cast<int>(U32At(vecIco, nOffset + 4));
    size_t nRowFromBottom = static_cast<size_t>(nSize - 1 - y);
    size_t nColor = nOffset + 40 + (nRowFromBottom * nSize + x) * 4;
    size_t nMaskRow = ((static_cast<size_t>(nSize) + 31) / 32) * 4;
    size_t nMask = nOffset + 40 + static_cast<size_t>(nSize) * nSize * 4 + nRowFromBottom * nMaskRow + x / 8;
    return {U32At(vecIco, nColor), (vecIco[nMask] & (0x80 >> (x % 8))) != 0};
}

TEST(IconFile, StoresImagesAsTheShellReadsThem)
{
    for (const std::vector<int>& vecSizes : std::vector<std::vector<int>>{{16}, {16, 32}, {48, 33, 1}, {256}})
    {
        SCOPED_TRACE("first size " + std::to_string(vecSizes[0]));
        std::vector<IconPixels> vecImages;
        for (int nSize : vecSizes)
            vecImages.push_back(Gradient(nSize));
        std::vector<uint8_t> vecIco = EncodeIcoFile(vecImages);
        ASSERT_GE(vecIco.size(), 6u);
        EXPECT_EQ(0, U16At(vecIco, 0));
        EXPECT_EQ(1, U16At(vecIco, 2));
        ASSERT_EQ(vecSizes.size(), U16At(vecIco, 4));

        size_t nExpectedEnd = 6 + 16 * vecSizes.size();
        for (size_t k = 0; k < vecSizes.size(); ++k)
        {
            int nSize = vecSizes[k];
            size_t nEntry = 6 + 16 * k;
            EXPECT_EQ(nSize == 256 ? 0 : nSize, vecIco[nEntry]);
            EXPECT_EQ(nSize == 256 ? 0 : nSize, vecIco[nEntry + 1]);
            EXPECT_EQ(32, U16At(vecIco, nEntry + 6));
            EXPECT_EQ(nExpectedEnd, U32At(vecIco, nEntry + 12)) << "images follow each other";
            size_t nOffset = nExpectedEnd;
            EXPECT_EQ(40u, U32At(vecIco, nOffset));
            EXPECT_EQ(static_cast<uint32_t>(nSize * 2), U32At(vecIco, nOffset + 8)) << "height covers the mask";
            nExpectedEnd += U32At(vecIco, nEntry + 8);

            for (int y : {0, nSize - 1, nSize / 2})
            {
                for (int x : {0, nSize - 1, nSize / 3})
                {
                    uint32_t nWanted = vecImages[k].vecArgb[static_cast<size_t>(y) * nSize + x];
                    DecodedPixel pixel = DecodePixel(vecIco, static_cast<int>(k), x, y);
                    EXPECT_EQ(nWanted, pixel.nArgb) << x << "," << y;
                    EXPECT_EQ(nWanted >> 24 == 0, pixel.bMaskTransparent) << x << "," << y;
                }
            }
        }
        EXPECT_EQ(nExpectedEnd, vecIco.size());
    }
}

TEST(IconFile, RefusesMalformedImages)
{
    IconPixels wrongCount = Gradient(16);
    wrongCount.vecArgb.pop_back();
    IconPixels tooBig;
    tooBig.nSize = 257;
    tooBig.vecArgb.assign(257 * 257, 0);
    for (const std::vector<IconPixels>& vecImages :
         std::vector<std::vector<IconPixels>>{{}, {wrongCount}, {Gradient(16), tooBig}, {IconPixels()}})
        EXPECT_TRUE(EncodeIcoFile(vecImages).empty());
}

TEST(IconFile, TakesTransparencyFromTheMaskOnlyWhenThereIsNoAlpha)
{
    IconPixels noAlpha;
    noAlpha.nSize = 2;
    noAlpha.vecArgb = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC};
    ApplyMaskWhenNoAlpha(noAlpha, {true, false, false, true});
    EXPECT_EQ((std::vector<uint32_t>{0, 0xFF445566, 0xFF778899, 0}), noAlpha.vecArgb);

    IconPixels withAlpha;
    withAlpha.nSize = 2;
    withAlpha.vecArgb = {0x80112233, 0x00445566, 0xFF778899, 0x00AABBCC};
    std::vector<uint32_t> vecBefore = withAlpha.vecArgb;
    ApplyMaskWhenNoAlpha(withAlpha, {true, true, true, true});
    EXPECT_EQ(vecBefore, withAlpha.vecArgb);
}

TEST(IconFile, ColourSwatchShowsTheColourWithRedInTheLowByte)
{
    struct Case
    {
        uint32_t crColor;
        uint32_t nCentreArgb;
    };
    // The four colours of the menu, as COLORREF and as the pixel they give.
    const Case cases[] = {
        {0x3645FE, 0xFFFE4536}, {0x2CFA14, 0xFF14FA2C}, {0xFF915B, 0xFF5B91FF}, {0xB2B2B2, 0xFFB2B2B2}};
    for (const Case& c : cases)
    {
        for (int nSize : {16, 32})
        {
            IconPixels swatch = MakeColorSwatch(c.crColor, nSize);
            ASSERT_EQ(static_cast<size_t>(nSize * nSize), swatch.vecArgb.size());
            auto at = [&](int x, int y) { return swatch.vecArgb[static_cast<size_t>(y) * nSize + x]; };
            EXPECT_EQ(c.nCentreArgb, at(nSize / 2, nSize / 2));
            EXPECT_EQ(0u, at(0, 0)) << "rounded corner";
            EXPECT_EQ(0u, at(nSize - 1, nSize - 1)) << "rounded corner";
            uint32_t nRim = at(nSize / 2, 0);
            EXPECT_EQ(0xFFu, nRim >> 24);
            EXPECT_LT(nRim & 0xFF, (c.nCentreArgb & 0xFF) + 1) << "the rim is darker";
        }
    }
}

}  // namespace
