#include "ShellExt/menu/CommandPlacement.h"

namespace {

// Window class names compare without regard to case, as the window manager
// compares them.
bool SameClassName(std::u16string_view strA, std::u16string_view strB) noexcept
{
    if (strA.size() != strB.size())
        return false;
    for (size_t i = 0; i < strA.size(); ++i)
    {
        char16_t a = strA[i];
        char16_t b = strB[i];
        if (a >= u'A' && a <= u'Z')
            a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z')
            b = static_cast<char16_t>(b + 32);
        if (a != b)
            return false;
    }
    return true;
}

}  // namespace

bool IsCommandShown(const CommandSiteWindow& site, bool bShowInClassicMenus, uint32_t nItems) noexcept
{
    if (nItems == 0)
        return false;
    const bool bClassicMenu = (site.eSite == TraceSite::Window && !SameClassName(site.strClass, kNamespaceTreeClass)) ||
                              site.eSite == TraceSite::NotImplemented;
    return !bClassicMenu || bShowInClassicMenus;
}
