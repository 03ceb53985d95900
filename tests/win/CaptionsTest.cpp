// Menu captions from real language files in the test prefix: UTF-16 with a
// byte-order mark and 8-bit, translated, empty and misspelt entries.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ShellExt/settings/Captions.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

struct CaptionKey
{
    const wchar_t* pszKey;
    const wchar_t* pszFallback;
};

// Every lookup the menu makes, in its order; "#DEFITEM#_Mark_File" twice.
const CaptionKey kMenuKeys[] = {
    {L"#DEFITEM#_High Priority", L"High Priority"},
    {L"#DEFITEM#_Low Priority", L"Low Priority"},
    {L"#DEFITEM#_Planned Work", L"Planned Work"},
    {L"#DEFITEM#_Done Work", L"Done Work"},
    {L"#DEFITEM#_Approved", L"Approved"},
    {L"#DEFITEM#_Rejected", L"Rejected"},
    {L"#DEFITEM#_Red", L"Red"},
    {L"#DEFITEM#_Green", L"Green"},
    {L"#DEFITEM#_Blue", L"Blue"},
    {L"#DEFITEM#_Gray", L"Gray"},
    {L"#DEFITEM#_Mark_File", L"Mark File"},
    {L"#DEFITEM#_Remove_Color", L"Remove Color"},
    {L"#DEFITEM#_Remove_Marker_Color", L"Remove Marker && Color"},
    {L"#DEFITEM#_Restore_Default", L"Restore Default"},
    {L"#DEFITEM#_More_Icons", L"More Icons"},
    {L"#DEFITEM#_Mark_File", L"Mark File"},
};

class CaptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strPreviousLangFile = g_strLangFile.Copy();
        m_strFolder = MakeTempFolder(L"captions");
    }
    void TearDown() override
    {
        g_strLangFile.Store(m_strPreviousLangFile);
        DeleteFolderTree(m_strFolder);
    }

    std::wstring Caption(const wchar_t* pszKey, const wchar_t* pszFallback)
    {
        CaptionPtr caption(GetMenuCaption(pszKey, pszFallback));
        return caption ? std::wstring(caption.get()) : L"<null>";
    }

    std::wstring m_strFolder;
    std::wstring m_strPreviousLangFile;
};

TEST_F(CaptionsTest, WithoutLanguageFileEveryLookupGivesItsEnglishFallback)
{
    for (const wchar_t* pszLangFile : {L"", L"\\Languages\\english.lng", L"C:\\nowhere\\Languages\\deutsch.lng"})
    {
        g_strLangFile.Store(pszLangFile);
        for (const CaptionKey& key : kMenuKeys)
            EXPECT_EQ(key.pszFallback, Caption(key.pszKey, key.pszFallback)) << WideToUtf8(pszLangFile);
    }
}

// The same translations, once as UTF-16 and once as 8-bit text.
const char kLanguageFileBody[] =
    "[other]\r\n"
    "#DEFITEM#_Green=Not from this section\r\n"
    "[menu_items]\r\n"
    "#DEFITEM#_Red=Rot\r\n"
    "#DEFITEM#_Mark_File=Datei &markieren\r\n"
    "#DEFITEM#_Blue=\r\n"
    "#DEFITEM#_High_Priority=Spelt with an underscore\r\n"
    "#DEFITEM#_Done_Work=Spelt with an underscore\r\n"
    "#DEFITEM#_Remove Color=Spelt with a space\r\n"
    "#defitem#_more_icons=Weitere Symbole\r\n"
    "#DEFITEM#_Remove_Marker_Color=Markierung && Farbe entfernen\r\n";

struct ExpectedCaption
{
    const wchar_t* pszKey;
    const wchar_t* pszFallback;
    const wchar_t* pszExpected;
};

const ExpectedCaption kTranslated[] = {
    {L"#DEFITEM#_Red", L"Red", L"Rot"},
    {L"#DEFITEM#_Mark_File", L"Mark File", L"Datei &markieren"},
    {L"#DEFITEM#_Blue", L"Blue", L""},  // present and empty: no fallback
    {L"#DEFITEM#_Green", L"Green", L"Green"},  // only in another section
    {L"#DEFITEM#_High Priority", L"High Priority", L"High Priority"},
    {L"#DEFITEM#_Done Work", L"Done Work", L"Done Work"},
    {L"#DEFITEM#_Remove_Color", L"Remove Color", L"Remove Color"},
    {L"#DEFITEM#_More_Icons", L"More Icons", L"Weitere Symbole"},  // keys ignore case
    {L"#DEFITEM#_Remove_Marker_Color", L"Remove Marker && Color", L"Markierung && Farbe entfernen"},
    {L"#DEFITEM#_Gray", L"Gray", L"Gray"},
};

TEST_F(CaptionsTest, LanguageFileTranslatesItsKeysInEitherEncoding)
{
    const std::wstring strUtf16 = m_strFolder + L"\\unicode.lng";
    WriteUtf16File(strUtf16, Widen(kLanguageFileBody));
    const std::wstring strAnsi = m_strFolder + L"\\ansi.lng";
    WriteTextFile(strAnsi, kLanguageFileBody);

    for (const std::wstring& strFile : {strUtf16, strAnsi})
    {
        SCOPED_TRACE(WideToUtf8(strFile));
        g_strLangFile.Store(strFile);
        for (const ExpectedCaption& c : kTranslated)
            EXPECT_EQ(c.pszExpected, Caption(c.pszKey, c.pszFallback)) << WideToUtf8(c.pszKey);
    }
}

TEST_F(CaptionsTest, UnicodeCaptionsArriveWhole)
{
    const std::wstring strFile = m_strFolder + L"\\russian.lng";
    const std::wstring strRed = L"\x041A\x0440\x0430\x0441\x043D\x044B\x0439";  // Krasnyj
    WriteUtf16File(strFile, L"[menu_items]\r\n#DEFITEM#_Red=" + strRed + L"\r\n#DEFITEM#_Gray=Gr\x00E4u\r\n");
    g_strLangFile.Store(strFile);
    EXPECT_EQ(strRed, Caption(L"#DEFITEM#_Red", L"Red"));
    EXPECT_EQ(L"Gr\x00E4u", Caption(L"#DEFITEM#_Gray", L"Gray"));
}

TEST_F(CaptionsTest, LongCaptionIsCutTo259Characters)
{
    const std::wstring strFile = m_strFolder + L"\\long.lng";
    const std::wstring strLong(400, L'x');
    WriteUtf16File(strFile, L"[menu_items]\r\n#DEFITEM#_Red=" + strLong + L"\r\n");
    g_strLangFile.Store(strFile);
    EXPECT_EQ(strLong.substr(0, 259), Caption(L"#DEFITEM#_Red", L"Red"));
}

TEST_F(CaptionsTest, EveryLookupHandsOutItsOwnArray)
{
    const std::wstring strFile = m_strFolder + L"\\twice.lng";
    WriteTextFile(strFile, "[menu_items]\r\n#DEFITEM#_Mark_File=Markieren\r\n");
    g_strLangFile.Store(strFile);
    CaptionPtr first(GetMenuCaption(L"#DEFITEM#_Mark_File", L"Mark File"));
    CaptionPtr second(GetMenuCaption(L"#DEFITEM#_Mark_File", L"Mark File"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_STREQ(L"Markieren", first.get());
    EXPECT_STREQ(L"Markieren", second.get());

    // Read afresh each time: an edit between two lookups shows at once.
    WriteTextFile(strFile, "[menu_items]\r\n#DEFITEM#_Mark_File=Kennzeichnen\r\n");
    EXPECT_EQ(L"Kennzeichnen", Caption(L"#DEFITEM#_Mark_File", L"Mark File"));
    // The explicit-path lookup reads the file it is given.
    CaptionPtr other(GetMenuCaptionFrom(L"C:\\nowhere.lng", L"#DEFITEM#_Mark_File", L"Mark File"));
    EXPECT_STREQ(L"Mark File", other.get());
}

}  // namespace
