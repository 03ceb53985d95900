// UTF-16 to UTF-8 for the tools' logs and console output. Platform-free.
#pragma once

#include <string>

// Unpaired surrogates become U+FFFD; nothing is dropped.
std::string Utf16ToUtf8(const std::u16string& str);
