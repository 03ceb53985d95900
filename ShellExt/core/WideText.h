// Windows hands text out as wchar_t, the platform-free code takes UTF-16 as
// char16_t: on Windows both hold the same code units, so a view of one is a
// view of the other.
#pragma once

#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is shared with the platform-free helpers as is");

inline std::u16string_view AsUtf16(const wchar_t* psz) noexcept
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(psz));
}

inline char16_t* AsUtf16(wchar_t* psz) noexcept
{
    return reinterpret_cast<char16_t*>(psz);
}

inline const wchar_t* AsWide(const char16_t* psz) noexcept
{
    return reinterpret_cast<const wchar_t*>(psz);
}
