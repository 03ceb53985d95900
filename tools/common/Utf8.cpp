#include "tools/common/Utf8.h"

namespace {

void AppendCodePoint(std::string& strOut, char32_t cp)
{
    if (cp < 0x80)
    {
        strOut += static_cast<char>(cp);
    }
    else if (cp < 0x800)
    {
        strOut += static_cast<char>(0xC0 | (cp >> 6));
        strOut += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
        strOut += static_cast<char>(0xE0 | (cp >> 12));
        strOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        strOut += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
        strOut += static_cast<char>(0xF0 | (cp >> 18));
        strOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        strOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        strOut += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view str)
{
    std::string strOut;
    strOut.reserve(str.size());
    for (size_t i = 0; i < str.size(); ++i)
    {
        char16_t ch = str[i];
        if (IsHighSurrogate(ch) && i + 1 < str.size() && IsLowSurrogate(str[i + 1]))
        {
            char32_t cp = 0x10000 + ((static_cast<char32_t>(ch) - 0xD800) << 10) + (str[i + 1] - 0xDC00);
            AppendCodePoint(strOut, cp);
            ++i;
        }
        else if (IsHighSurrogate(ch) || IsLowSurrogate(ch))
        {
            AppendCodePoint(strOut, 0xFFFD);
        }
        else
        {
            AppendCodePoint(strOut, ch);
        }
    }
    return strOut;
}
