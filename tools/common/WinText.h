// Conversions between the Windows wide strings and the platform-free code's
// UTF-16 strings (the same code units on Windows).
#pragma once

#include <string>

#include "tools/common/Utf8.h"

inline std::u16string ToU16(const std::wstring& str)
{
    return std::u16string(reinterpret_cast<const char16_t*>(str.data()), str.size());
}

inline std::wstring ToWide(const std::u16string& str)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(str.data()), str.size());
}

inline std::string WideToUtf8(const std::wstring& str)
{
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(str.data()), str.size()));
}
