// UTF-16 to UTF-8 for the tools' and tests' logs and console output.
// Platform-free.
#pragma once

#include <string>
#include <string_view>

// Unpaired surrogates become U+FFFD; nothing is dropped.
std::string Utf16ToUtf8(std::u16string_view str);
