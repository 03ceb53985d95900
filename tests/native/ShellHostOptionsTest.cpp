// The shell host's command line and how it matches menu captions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/shellhost/CommandManifest.h"
#include "tools/shellhost/HostOptions.h"

namespace {

struct OptionsCase
{
    std::vector<std::u16string> vecArgs;
    bool bValid;
    HostCommand eCommand;
    size_t nFiles;
    int32_t nWait;  // effective
};

TEST(ShellHostOptions, ParsesCommandsOptionsAndFiles)
{
    const OptionsCase cases[] = {
        {{}, true, HostCommand::Help, 0, 0},
        {{u"menu", u"a.txt", u"b.txt"}, true, HostCommand::Menu, 2, 0},
        {{u"menu", u"--extended", u"a.txt", u"--wait", u"3"}, true, HostCommand::Menu, 1, 3},
        {{u"invoke", u"--item", u"Done Work", u"a.txt"}, true, HostCommand::Invoke, 1, 12},
        {{u"invoke", u"--offset", u"3", u"--wait", u"0", u"a.txt"}, true, HostCommand::Invoke, 1, 0},
        {{u"icon", u"--", u"--odd-name.txt"}, true, HostCommand::Icon, 1, 0},
        {{u"show", u"--extended", u"--open", u"2", u"--hold", u"100", u"a"}, true, HostCommand::Show, 1, 0},
        {{u"handlers"}, true, HostCommand::Handlers, 0, 0},
        {{u"frobnicate"}, false, HostCommand::Help, 0, 0},
        {{u"menu"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--bogus", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"a", u"--wait"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--wait", u"-1", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--wait", u"99999", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"invoke", u"a.txt"}, false, HostCommand::Help, 0, 0},
        {{u"invoke", u"--item", u"X", u"--offset", u"1", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"invoke", u"--offset", u"65536", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"invoke", u"--item", u"", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--item", u"X", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"show", u"--open", u"2", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"show", u"--open", u"3", u"--extended", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--clsid", u"7C1E2B41", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"xmenu", u"--manifest", u"m.xml", u"--dll", u"c.dll", u"a"}, true, HostCommand::XMenu, 1, 0},
        {{u"xinvoke", u"--item", u"Blue", u"a", u"b"}, true, HostCommand::XInvoke, 2, 12},
        {{u"xinvoke", u"--offset", u"3", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"xinvoke", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--manifest", u"m.xml", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"xmenu", u"--dll", u"", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"xmenu", u"--site", u"tree", u"a"}, true, HostCommand::XMenu, 1, 0},
        {{u"xmenu", u"--site", u"desk", u"a"}, false, HostCommand::Help, 0, 0},
        {{u"menu", u"--site", u"classic", u"a"}, false, HostCommand::Help, 0, 0},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        SCOPED_TRACE("case " + std::to_string(i));
        HostOptions options;
        std::string strError;
        ASSERT_EQ(cases[i].bValid, ParseHostOptions(cases[i].vecArgs, options, strError)) << strError;
        if (!cases[i].bValid)
        {
            EXPECT_FALSE(strError.empty());
            continue;
        }
        EXPECT_EQ(cases[i].eCommand, options.eCommand);
        EXPECT_EQ(cases[i].nFiles, options.vecFiles.size());
        EXPECT_EQ(cases[i].nWait, EffectiveWaitSeconds(options));
    }
}

TEST(ShellHostOptions, KeepsTheValuesGiven)
{
    HostOptions options;
    std::string strError;
    ASSERT_TRUE(ParseHostOptions({u"invoke", u"--handler", u"Other", u"--clsid",
                                  u"{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}", u"--offset", u"12", u"--extended",
                                  u"C:\\x y\\z.txt"},
                                 options, strError))
        << strError;
    EXPECT_EQ(u"Other", options.strHandler);
    EXPECT_EQ(HostSite::None, options.eSite);
    EXPECT_EQ(u"{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}", options.strClsid);
    EXPECT_TRUE(options.bHasOffset);
    EXPECT_EQ(12, options.nOffset);
    EXPECT_TRUE(options.bExtended);
    EXPECT_EQ(std::vector<std::u16string>{u"C:\\x y\\z.txt"}, options.vecFiles);
}

TEST(ShellHostManifest, FindsTheCommandClassOfThePackage)
{
    const struct
    {
        std::string strManifest;
        bool bFound;
        std::u16string strClsid;
    } cases[] = {
        {"<com:Extension><com:ComServer><com:SurrogateServer><com:Class Id=\"7c1e2b46-3a5d-4e8f-9b16-2d4f60a81c01\" "
         "Path=\"OrvaneShlExtCmd64F.dll\" ThreadingModel=\"STA\"/>",
         true, u"{7c1e2b46-3a5d-4e8f-9b16-2d4f60a81c01}"},
        {"<com:Class\n  Path='x.dll'\n  Id = '{7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01}'>", true,
         u"{7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01}"},
        {"<com:ClassList Id=\"7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01\"/>", false, u""},
        {"<com:Class ProgId=\"7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01\"/>", false, u""},
        {"<com:Class Id=\"7C1E2B46-3A5D-4E8F-9B16\"/>", false, u""},
        {"<com:Class Id=\"7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C0G\"/>", false, u""},
        {"<com:Class Id=\"7C1E2B46", false, u""},
        {"", false, u""},
    };
    for (const auto& c : cases)
    {
        std::u16string strClsid;
        EXPECT_EQ(c.bFound, FindCommandClassId(c.strManifest, strClsid)) << c.strManifest;
        EXPECT_EQ(c.strClsid, c.bFound ? strClsid : u"") << c.strManifest;
    }
}

TEST(ShellHostManifest, SplitsIconLocations)
{
    const struct
    {
        std::u16string strLocation;
        bool bValid;
        std::u16string strFile;
        int32_t nIndex;
    } cases[] = {
        {u"C:\\Orvane\\icl\\Main.icl,5", true, u"C:\\Orvane\\icl\\Main.icl", 5},
        {u"C:\\a,b\\Cmd.dll,-333", true, u"C:\\a,b\\Cmd.dll", -333},
        {u"C:\\x.dll", false, u"", 0},
        {u",3", false, u"", 0},
        {u"x.dll,", false, u"", 0},
        {u"x.dll,-", false, u"", 0},
        {u"x.dll,1a", false, u"", 0},
        {u"x.dll,1234567890", false, u"", 0},
    };
    for (const auto& c : cases)
    {
        std::u16string strFile;
        int32_t nIndex = 0;
        ASSERT_EQ(c.bValid, SplitIconLocation(c.strLocation, strFile, nIndex));
        if (c.bValid)
        {
            EXPECT_EQ(c.strFile, strFile);
            EXPECT_EQ(c.nIndex, nIndex);
        }
    }
}

TEST(ShellHostCaptions, MatchWhatTheMenuShowsOrStores)
{
    struct Case
    {
        std::u16string strCaption;
        std::u16string strDisplayed;
        std::u16string strWanted;
        bool bMatches;
    };
    const Case cases[] = {
        {u"Done Work", u"Done Work", u"done work", true},
        {u"&Done Work", u"Done Work", u"Done Work", true},
        {u"&Done Work", u"Done Work", u"&done work", true},
        {u"Remove Marker && Color", u"Remove Marker & Color", u"Remove Marker & Color", true},
        {u"Remove Marker && Color", u"Remove Marker & Color", u"remove marker && color", true},
        {u"Remove Marker && Color", u"Remove Marker & Color", u"Remove Marker Color", false},
        {u"Gr\u00fcn", u"Gr\u00fcn", u"gr\u00fcn", true},
        {u"Done Work", u"Done Work", u"Done", false},
        {u"", u"", u"", false},
        {u"trailing&", u"trailing", u"trailing", true},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.strDisplayed, DisplayCaption(c.strCaption));
        EXPECT_EQ(c.bMatches, CaptionMatches(c.strCaption, c.strWanted))
            << std::string(c.strWanted.begin(), c.strWanted.end());
    }
}

}  // namespace
