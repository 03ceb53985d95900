#include "ShellExt/menu/CommandPlacement.h"

#include "ShellExt/core/AsciiCase.h"

bool IsCommandShown(const CommandSiteWindow& site, bool bShowInClassicMenus, uint32_t nItems) noexcept
{
    if (nItems == 0)
        return false;
    const bool bClassicMenu =
        (site.eAnswer == SiteAnswer::Window && !EqualsAsciiNoCase(site.strClass, kNamespaceTreeClass)) ||
        site.eAnswer == SiteAnswer::NotImplemented;
    return !bClassicMenu || bShowInClassicMenus;
}

std::u16string_view SiteTraceText(const CommandSiteWindow& site) noexcept
{
    switch (site.eAnswer)
    {
    case SiteAnswer::NoSite: return u"nosite";
    case SiteAnswer::NoInterface: return u"nointerface";
    case SiteAnswer::NotImplemented: return u"notimpl";
    case SiteAnswer::NoWindow: return u"nowindow";
    case SiteAnswer::Window: break;
    }
    return site.strClass;
}
