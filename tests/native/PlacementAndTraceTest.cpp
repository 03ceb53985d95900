// Where the Windows 11 command shows, and what a trace line may carry.
#include <gtest/gtest.h>

#include <string>

#include "ShellExt/diagnostics/TraceLine.h"
#include "ShellExt/menu/CommandPlacement.h"

namespace {

// The shell's own rule (IUnknown_GetWindow on the site, never a service of
// it), branch by branch.
TEST(CommandPlacement, HiddenOnlyWhereAClassicMenuAsks)
{
    const struct
    {
        const char* pszWhere;
        SiteAnswer eAnswer;
        std::u16string_view strClass;
        bool bSwitch;
        uint32_t nItems;
        bool bShown;
    } cases[] = {
        {"new menu: no site", SiteAnswer::NoSite, u"", false, 1, true},
        {"new menu: a site without a window interface", SiteAnswer::NoInterface, u"", false, 1, true},
        {"new menu, nothing selected", SiteAnswer::NoInterface, u"", true, 0, false},
        {"GetWindow fails otherwise or gives no window", SiteAnswer::NoWindow, u"", false, 1, true},
        {"GetWindow answers E_NOTIMPL: a classic menu", SiteAnswer::NotImplemented, u"", false, 1, false},
        {"E_NOTIMPL, switch on", SiteAnswer::NotImplemented, u"", true, 1, true},
        {"folder view (Show more options)", SiteAnswer::Window, u"SHELLDLL_DefView", false, 1, false},
        {"folder view, switch on", SiteAnswer::Window, u"SHELLDLL_DefView", true, 2, true},
        {"Open dialog", SiteAnswer::Window, u"#32770", false, 1, false},
        {"window of an unreadable class", SiteAnswer::Window, u"", false, 1, false},
        {"navigation pane", SiteAnswer::Window, u"NamespaceTreeControl", false, 1, true},
        {"navigation pane, class in another case", SiteAnswer::Window, u"namespacetreecontrol", false, 1, true},
        {"a longer name that starts like the tree", SiteAnswer::Window, u"NamespaceTreeControlEx", false, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.bShown, IsCommandShown({c.eAnswer, c.strClass}, c.bSwitch, c.nItems)) << c.pszWhere;
}

TraceLineFields SampleFields()
{
    TraceLineFields fields;
    fields.time = {2026, 12, 9, 4, 5, 6, 7};
    fields.strImage = u"C:\\Users\\alice smith\\AppData\\Local\\dllhost.exe";
    fields.nProcessId = 4321;
    fields.nThreadId = 99;
    fields.strObject = "CMarkFileCommand";
    fields.strMethod = "GetState";
    return fields;
}

TEST(TraceLine, OneLineOfFieldsWithoutNamesOrPaths)
{
    const std::string strHead = "2026-12-09 04:05:06.007Z dllhost.exe pid=4321 tid=99 CMarkFileCommand::GetState";
    const struct
    {
        const char* pszCase;
        int nSlow;
        bool bSite;
        SiteAnswer eAnswer;
        std::u16string_view strClass;
        int64_t nItems;
        uint32_t nResult;
        std::string strTail;
    } cases[] = {
        {"bare", -1, false, SiteAnswer::NoSite, u"", -1, 0, " hr=0x00000000"},
        {"all fields", 0, true, SiteAnswer::Window, u"SHELLDLL_DefView", 3, 0x80070005u,
         " slow=0 site=SHELLDLL_DefView items=3 hr=0x80070005"},
        {"no site", 1, true, SiteAnswer::NoSite, u"", 1, 0, " slow=1 site=nosite items=1 hr=0x00000000"},
        {"site without a window", 1, true, SiteAnswer::NoWindow, u"x", 0, 0, " slow=1 site=nowindow items=0 hr=0x00000000"},
        {"no window interface", 1, true, SiteAnswer::NoInterface, u"", 1, 0, " slow=1 site=nointerface items=1 hr=0x00000000"},
        {"GetWindow not implemented", 0, true, SiteAnswer::NotImplemented, u"", 1, 0,
         " slow=0 site=notimpl items=1 hr=0x00000000"},
        {"unreadable class", -1, true, SiteAnswer::Window, u"", -1, 1, " site=? hr=0x00000001"},
        {"spaces and line breaks stay inside the field", -1, true, SiteAnswer::Window, u"a b\r\nc\t", -1, 0,
         " site=a_b__c_ hr=0x00000000"},
        {"non-ASCII as UTF-8, an unpaired surrogate as ?", -1, true, SiteAnswer::Window, u"\u00CEle\xD800z\U0001F600", -1,
         0, " site=\xC3\x8Ele?z\xF0\x9F\x98\x80 hr=0x00000000"},
    };
    for (const auto& c : cases)
    {
        TraceLineFields fields = SampleFields();
        fields.nOkToBeSlow = c.nSlow;
        fields.bSite = c.bSite;
        fields.strSite = SiteTraceText({c.eAnswer, c.strClass});
        fields.nItems = c.nItems;
        fields.nResult = c.nResult;
        char szLine[kTraceLineCapacity];
        const size_t n = FormatTraceLine(fields, szLine, sizeof(szLine));
        EXPECT_EQ(strHead + c.strTail + "\r\n", std::string(szLine, n)) << c.pszCase;
        EXPECT_EQ(std::string::npos, std::string(szLine).find("alice")) << c.pszCase;
    }
}

TEST(TraceLine, LongFieldsAreCutAndTheLineAlwaysEnds)
{
    TraceLineFields fields = SampleFields();
    const std::u16string strLong(2000, u'\u00E9');  // two bytes each in UTF-8
    fields.strImage = strLong;
    fields.bSite = true;
    fields.strSite = strLong;
    fields.nItems = INT64_MAX;
    fields.nResult = 0xFFFFFFFFu;
    char szLine[kTraceLineCapacity];
    const size_t n = FormatTraceLine(fields, szLine, sizeof(szLine));
    const std::string strLine(szLine, n);
    ASSERT_LT(n, kTraceLineCapacity);
    EXPECT_EQ(n, std::string(szLine).size()) << "terminated";
    EXPECT_NE(std::string::npos, strLine.find(" items=9223372036854775807 hr=0xFFFFFFFF\r\n"));
    // Cut between code points, never inside one.
    const size_t nSite = strLine.find(" site=") + 6;
    EXPECT_EQ(kTraceFieldBytes, strLine.find(' ', nSite) - nSite);

    for (size_t cch : {1, 3, 10, 40})
    {
        char szSmall[40];
        const size_t nSmall = FormatTraceLine(SampleFields(), szSmall, cch);
        EXPECT_EQ(nSmall, std::string(szSmall).size()) << cch;
        EXPECT_EQ(cch < 3 ? "" : "\r\n", std::string(szSmall + (nSmall < 2 ? 0 : nSmall - 2), nSmall < 2 ? 0 : 2));
    }
}

}  // namespace
