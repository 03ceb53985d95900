// Reads a selection file as the extension writes it: the UTF-16LE
// byte-order mark, then every path followed by one carriage return.
// Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SelectionFileContents
{
    std::vector<std::u16string> vecPaths;
    // Departures from the format that still leave the paths readable; the
    // reference application logs them, since the extension should never
    // produce them.
    std::vector<std::string> vecWarnings;
};

// False, with strError set, when the bytes cannot be a selection file at all
// (no byte-order mark, an odd number of bytes).
bool ReadSelectionFile(const std::vector<uint8_t>& vecBytes, SelectionFileContents& contents, std::string& strError);
