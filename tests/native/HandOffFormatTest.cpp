#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "ShellExt/menu/HandOffFormat.h"
#include "ShellExt/menu/SelectionKey.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<std::u16string>& vecPaths)
{
    SelectionFileEncoder encoder;
    for (const std::u16string& str : vecPaths)
        encoder.AddPath(str.data(), str.size());
    return encoder.Bytes();
}

TEST(SelectionFileEncoding, MatchesTheFormatTheMainApplicationReads)
{
    std::vector<uint8_t> expected = {0xFF, 0xFE};
    for (char ch : std::string("C:\\a.txt"))
        expected.insert(expected.end(), {static_cast<uint8_t>(ch), 0});
    expected.insert(expected.end(), {0x0D, 0});
    for (char ch : std::string("D:\\b"))
        expected.insert(expected.end(), {static_cast<uint8_t>(ch), 0});
    expected.insert(expected.end(), {0x0D, 0});
    std::vector<uint8_t> bytes = Encode({u"C:\\a.txt", u"D:\\b"});
    EXPECT_EQ(30u, bytes.size());
    EXPECT_EQ(expected, bytes);
}

TEST(SelectionFileEncoding, SizesAndCodeUnitsSurviveAsTheyAre)
{
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFE}), Encode({}));

    std::u16string strLong(600, u'x');
    std::vector<uint8_t> bytes = Encode({strLong});
    EXPECT_EQ(2u + 2u * 601u, bytes.size());
    EXPECT_EQ(0x0D, bytes[bytes.size() - 2]);
    EXPECT_EQ(0x00, bytes.back());

    // Non-ASCII names, a surrogate pair and an embedded quote go byte for byte.
    bytes = Encode({u"\u20AC\U0001F600\""});
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFE, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x22, 0x00, 0x0D, 0x00}),
              bytes);
}

TEST(CommandParameters, EachRecordTypeGivesItsSwitchAndArguments)
{
    const char16_t* pszSel = u"C:\\Temp\\orvane100041.dat";
    const char16_t* pszLib = u"C:\\Apps\\Orvane\\icl\\Main.icl";
    struct Case
    {
        CommandArguments args;
        const char16_t* pszExpected;
    } cases[] = {
        {{1, pszSel, pszLib, 5, 0}, u"-oi \"C:\\Temp\\orvane100041.dat\" \"C:\\Apps\\Orvane\\icl\\Main.icl\" 5"},
        {{1, pszSel, pszLib, -12, 0}, u"-oi \"C:\\Temp\\orvane100041.dat\" \"C:\\Apps\\Orvane\\icl\\Main.icl\" -12"},
        {{2, pszSel, u"", 0, 0}, u"-uo \"C:\\Temp\\orvane100041.dat\""},
        {{3, pszSel, u"", 0, 0x3645FE}, u"-ci \"C:\\Temp\\orvane100041.dat\" 3556862"},
        {{3, pszSel, u"", 0, 0x2CFA14}, u"-ci \"C:\\Temp\\orvane100041.dat\" 2947604"},
        {{3, pszSel, u"", 0, 0xFF915B}, u"-ci \"C:\\Temp\\orvane100041.dat\" 16748891"},
        {{3, pszSel, u"", 0, 0xB2B2B2}, u"-ci \"C:\\Temp\\orvane100041.dat\" 11711154"},
        {{3, pszSel, u"", 0, 0x80000000u}, u"-ci \"C:\\Temp\\orvane100041.dat\" -2147483648"},
        {{4, pszSel, u"", 0, 0}, u"-uc \"C:\\Temp\\orvane100041.dat\""},
        {{5, pszSel, u"", 0, 0}, u"-mi \"C:\\Temp\\orvane100041.dat\""},
        {{6, pszSel, u"", 0, 0}, u"-rd \"C:\\Temp\\orvane100041.dat\""},
        {{1, u"", u"", INT_MIN, 0}, u"-oi \"\" \"\" -2147483648"},
    };
    for (const Case& c : cases)
    {
        std::u16string str;
        ASSERT_TRUE(FormatCommandParameters(c.args, str)) << c.args.nType;
        EXPECT_EQ(std::u16string(c.pszExpected), str);
    }
}

TEST(CommandParameters, UnknownTypesAreRefusedAndLongPathsAreNeverCut)
{
    std::u16string str = u"unchanged";
    for (int nType : {0, 7, -1, 100})
    {
        EXPECT_FALSE(FormatCommandParameters({nType, u"a", u"b", 0, 0}, str));
        EXPECT_EQ(u"unchanged", str);
    }

    std::u16string strSel = u"C:\\" + std::u16string(256, u's');
    std::u16string strLib = u"D:\\" + std::u16string(256, u'l');
    ASSERT_TRUE(FormatCommandParameters({1, strSel.c_str(), strLib.c_str(), 8, 0}, str));
    EXPECT_GT(str.size(), 519u);
    EXPECT_EQ(u"-oi \"" + strSel + u"\" \"" + strLib + u"\" 8", str);
}

uint64_t KeyOf(const std::vector<std::u16string>& vecPaths)
{
    CSelectionKey key;
    for (const std::u16string& str : vecPaths)
        key.AddPath(str.data(), str.size());
    return key.Value();
}

// The classic handler and the command must name one right-click alike,
// whatever order and ASCII case their sources give; other selections differ.
TEST(SelectionKey, NamesOneRightClickAcrossFrontEnds)
{
    const uint64_t nKey = KeyOf({u"C:\\a.txt", u"D:\\Folder\\b.doc"});
    EXPECT_EQ(nKey, KeyOf({u"D:\\Folder\\b.doc", u"C:\\a.txt"}));
    EXPECT_EQ(nKey, KeyOf({u"c:\\A.TXT", u"d:\\folder\\B.DOC"}));
    const std::vector<std::vector<std::u16string>> vecOthers = {
        {u"C:\\a.txt"}, {u"C:\\a.txt", u"D:\\Folder\\b.doc", u"E:\\c"}, {u"C:\\a.txt", u"D:\\Folder\\b.do"},
        {u"C:\\\u00e4.txt", u"D:\\Folder\\b.doc"}, {u"C:\\\u00c4.txt", u"D:\\Folder\\b.doc"}, {}};
    for (const auto& vecOther : vecOthers)
        EXPECT_NE(nKey, KeyOf(vecOther));
}

TEST(SelectionKey, DigitsRoundTripAndNothingElseParses)
{
    for (uint64_t nKey : {uint64_t{0}, uint64_t{0x0123456789abcdefULL}, ~uint64_t{0}})
    {
        char16_t szDigits[kSelectionKeyDigits + 1];
        FormatSelectionKey(nKey, szDigits);
        uint64_t nParsed = 1;
        EXPECT_TRUE(ParseSelectionKey(szDigits, nParsed));
        EXPECT_EQ(nKey, nParsed);
    }
    for (const char16_t* psz : {u"", u"0123456789abcde", u"0123456789abcdef0", u"0123456789ABCDEF", u"0123456789abcdeg",
                                u"-123456789abcdef", u"0123456789abcde "})
    {
        uint64_t nParsed = 7;
        EXPECT_FALSE(ParseSelectionKey(psz, nParsed)) << std::u16string(psz).size();
        EXPECT_EQ(7u, nParsed);
    }
}

}  // namespace
