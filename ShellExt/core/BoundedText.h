// Bounded text copies: every copy knows the size of its destination and
// always terminates it. Platform-free.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

// Copies at most cchDest - 1 characters and always terminates (lstrcpynW's
// contract, without its exception handling). Returns false when cut.
inline bool CopyBounded(wchar_t* pszDest, size_t cchDest, const wchar_t* pszSource) noexcept
{
    if (cchDest == 0)
        return false;
    size_t i = 0;
    for (; i + 1 < cchDest && pszSource[i] != L'\0'; ++i)
        pszDest[i] = pszSource[i];
    pszDest[i] = L'\0';
    return pszSource[i] == L'\0';
}

// Writes the pieces one after another into pszOut, terminated. All or
// nothing: when they do not fit in cchOut characters, pszOut is left empty
// and the answer is false.
bool JoinBounded(char16_t* pszOut, size_t cchOut, std::initializer_list<std::u16string_view> lstParts) noexcept;
