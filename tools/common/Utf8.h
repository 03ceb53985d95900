// UTF-16 to UTF-8 for the tools' and tests' logs and console output.
// Platform-free.
#pragma once

#include <string>
#include <string_view>

constexpr bool IsHighSurrogate(char16_t ch) { return ch >= 0xD800 && ch <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t ch) { return ch >= 0xDC00 && ch <= 0xDFFF; }

// Unpaired surrogates become U+FFFD; nothing is dropped.
std::string Utf16ToUtf8(std::u16string_view str);
