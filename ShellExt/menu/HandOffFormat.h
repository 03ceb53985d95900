// The two texts the hand-off produces, without any Windows dependency: the
// bytes of a selection file and the parameters of the main application's
// command line. Both are part of the contract with the main application.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A selection file: the UTF-16LE byte-order mark, then every path's code
// units followed by one carriage return. No line feed, count or terminator.
class SelectionFileEncoder
{
public:
    // cchPathsAndSeparators: what the paths to come will add, in code units
    // (each path's length plus one), so that the buffer is made once.
    explicit SelectionFileEncoder(size_t cchPathsAndSeparators = 0);
    // Room for that much more, when it is known only later.
    void Reserve(size_t cchPathsAndSeparators);
    void AddPath(const char16_t* pszPath, size_t cchPath);
    const std::vector<uint8_t>& Bytes() const noexcept { return m_vecBytes; }

private:
    static void StoreUnit(uint8_t* pOut, char16_t ch) noexcept;  // little-endian
    std::vector<uint8_t> m_vecBytes;
};

// What a chosen menu item hands to the main application.
struct CommandArguments
{
    int nType;                       // the item's MenuItemType
    const char16_t* pszSelectionFile;
    const char16_t* pszIconFile;     // markers only
    int32_t nIconIndex;              // markers only
    uint32_t crColor;                // colours only, as stored (0x00BBGGRR)
};

// The parameters for one record type, e.g. -oi "<selection>" "<library>" 5.
// Never cut, whatever the lengths of the paths. False for a type that is not
// a command.
bool FormatCommandParameters(const CommandArguments& args, std::u16string& strParameters);
