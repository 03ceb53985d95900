#include "ShellExt/core/BoundedText.h"

bool JoinBounded(char16_t* pszOut, size_t cchOut, std::initializer_list<std::u16string_view> lstParts) noexcept
{
    if (cchOut == 0)
        return false;
    size_t nTotal = 0;
    for (std::u16string_view strPart : lstParts)
        nTotal += strPart.size();
    if (nTotal >= cchOut)
    {
        pszOut[0] = u'\0';
        return false;
    }
    size_t nOut = 0;
    for (std::u16string_view strPart : lstParts)
    {
        strPart.copy(pszOut + nOut, strPart.size());
        nOut += strPart.size();
    }
    pszOut[nOut] = u'\0';
    return true;
}
