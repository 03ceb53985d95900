#include "ShellExt/icons/DefaultIconText.h"

#include <limits>

namespace {

// The white space that the C library skips before a number.
bool IsNumberSpace(char16_t ch) noexcept
{
    return ch == u' ' || (ch >= u'\t' && ch <= u'\r');
}

bool IsDecimalDigit(char16_t ch) noexcept
{
    return ch >= u'0' && ch <= u'9';
}

bool IsPathSeparator(char16_t ch) noexcept
{
    return ch == u'\\' || ch == u'/';
}

}  // namespace

DefaultIconParts SplitDefaultIconText(std::u16string_view strText) noexcept
{
    const size_t nComma = strText.rfind(u',');
    if (nComma == std::u16string_view::npos)
        return {strText, 0};
    return {strText.substr(0, nComma), ParseIconIndex(strText.substr(nComma + 1))};
}

int32_t ParseIconIndex(std::u16string_view strText) noexcept
{
    size_t i = 0;
    while (i < strText.size() && IsNumberSpace(strText[i]))
        ++i;

    bool bNegative = false;
    if (i < strText.size() && (strText[i] == u'+' || strText[i] == u'-'))
    {
        bNegative = strText[i] == u'-';
        ++i;
    }

    // Accumulated as a magnitude in 64 bits and stopped once past the 32-bit
    // range, so that no length of digits can overflow.
    const int64_t nLimit = bNegative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                     : static_cast<int64_t>(std::numeric_limits<int32_t>::max());
    int64_t nMagnitude = 0;
    for (; i < strText.size() && IsDecimalDigit(strText[i]); ++i)
    {
        if (nMagnitude <= nLimit)
            nMagnitude = nMagnitude * 10 + (strText[i] - u'0');
    }
    if (nMagnitude > nLimit)
        nMagnitude = nLimit;
    return static_cast<int32_t>(bNegative ? -nMagnitude : nMagnitude);
}

bool StripQuotes(std::u16string_view strText, char16_t* pszOut, size_t cchOut) noexcept
{
    if (cchOut == 0)
        return false;
    size_t nOut = 0;
    for (char16_t ch : strText)
    {
        if (ch == u'"')
            continue;
        if (nOut + 1 >= cchOut)
        {
            pszOut[0] = u'\0';
            return false;
        }
        pszOut[nOut++] = ch;
    }
    pszOut[nOut] = u'\0';
    return true;
}

std::u16string_view GetFileExtension(std::u16string_view strPath) noexcept
{
    const size_t nDot = strPath.rfind(u'.');
    if (nDot == std::u16string_view::npos)
        return {};
    std::u16string_view strExtension = strPath.substr(nDot);
    for (char16_t ch : strExtension)
    {
        if (IsPathSeparator(ch))
            return {};
    }
    return strExtension;
}
