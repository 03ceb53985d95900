#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/icons/DefaultIconText.h"
#include "tools/common/Utf8.h"

namespace {

TEST(DefaultIconTextTest, SplitsAtTheLastCommaAndReadsTheIndex)
{
    struct Case
    {
        std::u16string_view strText;
        std::u16string_view strLocation;
        int32_t nIndex;
    };
    const Case aCases[] = {
        {u"C:\\Tools\\viewer.exe,2", u"C:\\Tools\\viewer.exe", 2},
        {u"\"C:\\Program Files\\App\\app.exe\",-5", u"\"C:\\Program Files\\App\\app.exe\"", -5},
        {u"C:\\Icons\\doc.ico", u"C:\\Icons\\doc.ico", 0},
        {u"%1", u"%1", 0},
        {u"%1,0", u"%1", 0},
        {u"%1,1", u"%1", 1},
        {u"C:\\a,b\\icons.dll,7", u"C:\\a,b\\icons.dll", 7},
        {u"C:\\x.dll,", u"C:\\x.dll", 0},
        {u",3", u"", 3},
        {u"", u"", 0},
    };
    for (const Case& c : aCases)
    {
        const DefaultIconParts parts = SplitDefaultIconText(c.strText);
        EXPECT_EQ(parts.strLocation, c.strLocation) << Utf16ToUtf8(c.strText);
        EXPECT_EQ(parts.nIndex, c.nIndex) << Utf16ToUtf8(c.strText);
    }
}

TEST(DefaultIconTextTest, ReadsIndexesAsTheCLibraryDoesAndClampsThem)
{
    struct Case
    {
        std::u16string_view strText;
        int32_t nIndex;
    };
    const Case aCases[] = {
        {u"0", 0},
        {u"42", 42},
        {u"-5", -5},
        {u"+7", 7},
        {u" \t\r\n\v\f-12", -12},
        {u"12abc", 12},
        {u"3 4", 3},
        {u"abc", 0},
        {u"", 0},
        {u"-", 0},
        {u"+-3", 0},
        {u"- 3", 0},
        {u"0x1F", 0},
        {u"\u00a012", 0},  // only the C library's white space is skipped
        {u"\uff11", 0},    // a full-width digit is no decimal digit
        {u"2147483647", INT32_MAX},
        {u"2147483648", INT32_MAX},
        {u"-2147483648", INT32_MIN},
        {u"-2147483649", INT32_MIN},
        {u"99999999999999999999999999999999", INT32_MAX},
        {u"-00000000000000000000000000000042", -42},
    };
    for (const Case& c : aCases)
        EXPECT_EQ(ParseIconIndex(c.strText), c.nIndex) << Utf16ToUtf8(c.strText);
}

TEST(DefaultIconTextTest, StripsEveryQuoteAndNeverCutsTheResult)
{
    char16_t szOut[8];
    EXPECT_TRUE(StripQuotes(u"\"a\"\"b\"", szOut, 8));
    EXPECT_EQ(std::u16string_view(szOut), u"ab");
    EXPECT_TRUE(StripQuotes(u"\"\"", szOut, 8));
    EXPECT_EQ(std::u16string_view(szOut), u"");

    // Seven characters fit in eight (terminator included); quotes do not count.
    EXPECT_TRUE(StripQuotes(u"\"1234567\"", szOut, 8));
    EXPECT_EQ(std::u16string_view(szOut), u"1234567");
    EXPECT_FALSE(StripQuotes(u"12345678", szOut, 8));
    EXPECT_EQ(std::u16string_view(szOut), u"");

    szOut[0] = u'x';
    EXPECT_FALSE(StripQuotes(u"", szOut, 0));
    EXPECT_EQ(szOut[0], u'x');
}

TEST(DefaultIconTextTest, FindsTheExtensionOnlyInTheFileName)
{
    struct Case
    {
        std::u16string_view strPath;
        std::u16string_view strExtension;
    };
    const Case aCases[] = {
        {u"C:\\docs\\report.txt", u".txt"},
        {u"C:\\docs\\archive.tar.gz", u".gz"},
        {u"C:\\docs\\.profile", u".profile"},
        {u"C:\\docs\\trailing.", u"."},
        {u"C:\\my.dir\\README", u""},
        {u"C:/my.dir/README", u""},
        {u"README", u""},
        {u"", u""},
    };
    for (const Case& c : aCases)
        EXPECT_EQ(GetFileExtension(c.strPath), c.strExtension) << Utf16ToUtf8(c.strPath);
}

TEST(DefaultIconTextTest, JoinsAllOrNothing)
{
    char16_t szOut[6];
    EXPECT_TRUE(JoinBounded(szOut, 6, {u"ab", u"", u"cde"}));
    EXPECT_EQ(std::u16string_view(szOut), u"abcde");
    EXPECT_FALSE(JoinBounded(szOut, 6, {u"abc", u"def"}));
    EXPECT_EQ(std::u16string_view(szOut), u"");
    EXPECT_TRUE(JoinBounded(szOut, 1, {}));
    EXPECT_EQ(std::u16string_view(szOut), u"");
}

TEST(DefaultIconTextTest, OnlyALeadingAtMakesAnIndirectString)
{
    EXPECT_TRUE(IsIndirectString(u"@shell32.dll,-7"));
    EXPECT_TRUE(IsIndirectString(u"@{Package?ms-resource://x}"));
    EXPECT_FALSE(IsIndirectString(u" @shell32.dll,-7"));
    EXPECT_FALSE(IsIndirectString(u"C:\\a@b\\icons.dll,3"));
    EXPECT_FALSE(IsIndirectString(u""));
}

}  // namespace
