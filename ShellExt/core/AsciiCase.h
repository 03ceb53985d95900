// Comparison that ignores the case of ASCII letters only: class names,
// switches, SIDs and the other fixed words this code matches. Names the
// registry or the file system compare have folding rules of their own,
// which they pass to EqualsFolded.
#pragma once

#include <string_view>

constexpr char16_t AsciiLower(char16_t ch) noexcept
{
    return (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch - u'A' + u'a') : ch;
}

// Whether strA and strB are the same once each code unit has gone through
// fold.
template <class Fold>
constexpr bool EqualsFolded(std::u16string_view strA, std::u16string_view strB, Fold fold) noexcept
{
    if (strA.size() != strB.size())
        return false;
    for (size_t i = 0; i < strA.size(); ++i)
    {
        if (fold(strA[i]) != fold(strB[i]))
            return false;
    }
    return true;
}

constexpr bool EqualsAsciiNoCase(std::u16string_view strA, std::u16string_view strB) noexcept
{
    return EqualsFolded(strA, strB, AsciiLower);
}
