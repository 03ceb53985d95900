#include "tools/shellhost/HostOptions.h"

#include "tools/common/Utf8.h"
#include "ShellExt/core/AsciiCase.h"

namespace {

const int32_t kInvokeWaitSeconds = 12;
const int32_t kMaxWaitSeconds = 3600;

struct CommandName
{
    const char16_t* pszName;
    HostCommand eCommand;
};

const CommandName kCommands[] = {
    {u"menu", HostCommand::Menu},         {u"invoke", HostCommand::Invoke},
    {u"icon", HostCommand::Icon},         {u"show", HostCommand::Show},
    {u"handlers", HostCommand::Handlers}, {u"xmenu", HostCommand::XMenu},
    {u"xinvoke", HostCommand::XInvoke},   {u"help", HostCommand::Help},
    {u"--help", HostCommand::Help},       {u"-h", HostCommand::Help},
};

// Checks that make sense only once every word is read.
bool CheckCombination(const HostOptions& options, std::string& strError)
{
    const HostCommand e = options.eCommand;
    if (e == HostCommand::Help || e == HostCommand::Handlers)
        return true;
    if (options.vecFiles.empty())
    {
        strError = "name at least one file";
        return false;
    }
    if (e == HostCommand::Invoke && options.bHasItem == options.bHasOffset)
    {
        strError = "invoke needs exactly one of --item CAPTION and --offset N";
        return false;
    }
    if (e == HostCommand::XInvoke && (!options.bHasItem || options.bHasOffset))
    {
        strError = "xinvoke needs --item TITLE";
        return false;
    }
    if (e != HostCommand::Invoke && e != HostCommand::XInvoke && (options.bHasItem || options.bHasOffset))
    {
        strError = "--item and --offset belong to invoke and xinvoke";
        return false;
    }
    const bool bCommandTree = e == HostCommand::XMenu || e == HostCommand::XInvoke;
    if (!bCommandTree && (!options.strManifest.empty() || !options.strDll.empty() || options.eSite != HostSite::None))
    {
        strError = "--manifest, --dll and --site belong to xmenu and xinvoke";
        return false;
    }
    if (e == HostCommand::Show && options.nOpenLevel == 2 && !options.bExtended)
    {
        strError = "--open 2 opens the extended submenu, which needs --extended";
        return false;
    }
    return true;
}

}  // namespace

const char* UsageText()
{
    return "OrvaneShellHost drives the registered Orvane shell extension as Explorer does.\n"
           "\n"
           "usage:\n"
           "  OrvaneShellHost menu   [--extended] [--wait S] FILE...\n"
           "  OrvaneShellHost invoke (--item CAPTION | --offset N) [--extended] [--wait S] FILE...\n"
           "  OrvaneShellHost icon   FILE...\n"
           "  OrvaneShellHost show   [--extended] [--open 0|1|2] [--hold MS] FILE...\n"
           "  OrvaneShellHost handlers\n"
           "  OrvaneShellHost xmenu   [--site S] [--manifest PATH] [--dll PATH] [--wait S] FILE...\n"
           "  OrvaneShellHost xinvoke --item TITLE [--site S] [--manifest PATH] [--dll PATH] [--wait S] FILE...\n"
           "\n"
           "  menu      prints the context menu the extension builds for the files, as a tree\n"
           "  invoke    builds the menu, chooses one item (by caption or command offset) and\n"
           "            keeps pumping messages so that the hand-off timer can fire\n"
           "  icon      asks the icon handler (IPersistFile::Load, IExtractIconW::GetIconLocation)\n"
           "  show      shows the menu with TrackPopupMenu, opens its submenus with the keyboard,\n"
           "            prints \"menu open\" for a screenshot, and closes it after --hold ms\n"
           "  handlers  lists the context-menu handlers registered for all files\n"
           "  xmenu     prints the Windows 11 menu's command tree (titles, flags, states, icon\n"
           "            locations and whether each icon loads) of the Explorer command\n"
           "  xinvoke   invokes one subcommand of the Explorer command by its title and waits\n"
           "            for the delayed hand-off\n"
           "\n"
           "options:\n"
           "  --extended       ask for extended verbs (what holding Shift does in Explorer)\n"
           "  --wait S         pump messages S seconds afterwards (invoke: 12, others: 0)\n"
           "  --open LEVEL     show: 0 the context menu, 1 also \"Mark File\" (default),\n"
           "                   2 also the extended \"Restore Default\" submenu\n"
           "  --hold MS        show: milliseconds the opened menu stays up (default 2500)\n"
           "  --handler NAME   the entry under *\\shellex\\ContextMenuHandlers (default Orvane)\n"
           "  --clsid {GUID}   create this class instead of looking the handler up\n"
           "  --manifest PATH  xmenu, xinvoke: the package manifest that names the command's class\n"
           "                   (default: AppxManifest.xml beside this program)\n"
           "  --dll PATH       xmenu, xinvoke: the command DLL (default: the one beside this program)\n"
           "  --site S         xmenu, xinvoke: the command's site: none (the new menu, default),\n"
           "                   classic (a classic menu's folder view window: \"Show more options\"),\n"
           "                   tree (the navigation pane's NamespaceTreeControl window),\n"
           "                   notimpl (a window interface whose GetWindow answers E_NOTIMPL)\n"
           "                   or service (only a service provider that leads to a window)\n"
           "\n"
           "exit codes: 0 done, 1 usage, 2 no such file, 3 handler not registered,\n"
           "            4 handler cannot be created, 5 item not found, 6 a call failed,\n"
           "            7 no display for show; for xmenu and xinvoke, 3 means the manifest\n"
           "            declares no class and 4 that the DLL cannot make the command\n";
}

bool ParseHostOptions(const std::vector<std::u16string>& vecArgs, HostOptions& options, std::string& strError)
{
    HostOptions parsed;
    if (vecArgs.empty())
    {
        options = parsed;
        return true;
    }
    bool bKnown = false;
    for (const CommandName& command : kCommands)
    {
        if (vecArgs[0] == command.pszName)
        {
            parsed.eCommand = command.eCommand;
            bKnown = true;
        }
    }
    if (!bKnown)
    {
        strError = "unknown command \"" + Utf16ToUtf8(vecArgs[0]) + "\"";
        return false;
    }

    bool bOptionsEnded = false;
    for (size_t i = 1; i < vecArgs.size(); ++i)
    {
        const std::u16string& strArg = vecArgs[i];
        if (bOptionsEnded || strArg.size() < 2 || strArg.compare(0, 2, u"--") != 0)
        {
            parsed.vecFiles.push_back(strArg);
            continue;
        }
        if (strArg == u"--")
        {
            bOptionsEnded = true;
            continue;
        }
        if (strArg == u"--extended")
        {
            parsed.bExtended = true;
            continue;
        }
        if (i + 1 >= vecArgs.size())
        {
            strError = Utf16ToUtf8(strArg) + " needs a value";
            return false;
        }
        const std::u16string& strValue = vecArgs[++i];
        bool bValid = true;
        if (strArg == u"--item")
        {
            parsed.bHasItem = true;
            parsed.strItem = strValue;
            bValid = !strValue.empty();
        }
        else if (strArg == u"--offset")
        {
            parsed.bHasOffset = true;
            bValid = ParseDecimal(strValue, 0, 0xFFFF, parsed.nOffset);
        }
        else if (strArg == u"--wait")
            bValid = ParseDecimal(strValue, 0, kMaxWaitSeconds, parsed.nWaitSeconds);
        else if (strArg == u"--open")
            bValid = ParseDecimal(strValue, 0, 2, parsed.nOpenLevel);
        else if (strArg == u"--hold")
            bValid = ParseDecimal(strValue, 0, kMaxWaitSeconds * 1000, parsed.nHoldMilliseconds);
        else if (strArg == u"--handler")
        {
            parsed.strHandler = strValue;
            bValid = !strValue.empty();
        }
        else if (strArg == u"--manifest")
        {
            parsed.strManifest = strValue;
            bValid = !strValue.empty();
        }
        else if (strArg == u"--dll")
        {
            parsed.strDll = strValue;
            bValid = !strValue.empty();
        }
        else if (strArg == u"--site")
        {
            const struct
            {
                const char16_t* pszName;
                HostSite eSite;
            } kSites[] = {{u"none", HostSite::None}, {u"classic", HostSite::Classic}, {u"tree", HostSite::Tree},
                           {u"notimpl", HostSite::NotImpl}, {u"service", HostSite::Service}};
            bValid = false;
            for (const auto& site : kSites)
            {
                if (strValue == site.pszName)
                {
                    parsed.eSite = site.eSite;
                    bValid = true;
                }
            }
        }
        else if (strArg == u"--clsid")
        {
            parsed.strClsid = strValue;
            bValid = strValue.size() == 38 && strValue.front() == u'{' && strValue.back() == u'}';
        }
        else
        {
            strError = "unknown option " + Utf16ToUtf8(strArg);
            return false;
        }
        if (!bValid)
        {
            strError = "bad value \"" + Utf16ToUtf8(strValue) + "\" for " + Utf16ToUtf8(strArg);
            return false;
        }
    }
    if (!CheckCombination(parsed, strError))
        return false;
    options = parsed;
    return true;
}

int32_t EffectiveWaitSeconds(const HostOptions& options)
{
    if (options.nWaitSeconds >= 0)
        return options.nWaitSeconds;
    const bool bInvoke = options.eCommand == HostCommand::Invoke || options.eCommand == HostCommand::XInvoke;
    return bInvoke ? kInvokeWaitSeconds : 0;
}

std::u16string DisplayCaption(const std::u16string& strCaption)
{
    std::u16string strOut;
    for (size_t i = 0; i < strCaption.size(); ++i)
    {
        if (strCaption[i] != u'&')
            strOut += strCaption[i];
        else if (i + 1 < strCaption.size() && strCaption[i + 1] == u'&')
            strOut += strCaption[++i];
    }
    return strOut;
}

bool CaptionMatches(const std::u16string& strCaption, const std::u16string& strWanted)
{
    return !strWanted.empty() &&
           (EqualsAsciiNoCase(DisplayCaption(strCaption), strWanted) || EqualsAsciiNoCase(strCaption, strWanted));
}

bool ParseDecimal(const std::u16string& str, int32_t nMin, int32_t nMax, int32_t& nValue)
{
    if (str.empty() || str.size() > 9)
        return false;
    int32_t n = 0;
    for (char16_t ch : str)
    {
        if (ch < u'0' || ch > u'9')
            return false;
        n = n * 10 + (ch - u'0');
    }
    if (n < nMin || n > nMax)
        return false;
    nValue = n;
    return true;
}
