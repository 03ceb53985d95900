#pragma once

// What type-library registration needs to know of a compiled type library
// (the "MSFT" format that the IDL compiler writes): the library's identity
// and the interfaces that registration lists under "Interface".

#include <cstdint>
#include <string>
#include <vector>

struct TypeLibInterface
{
    std::u16string strIid; // registry form, braces and upper case
    std::u16string strName;
    bool bDispatchOnly;    // a dispinterface without a vtable part
};

struct TypeLibFacts
{
    std::u16string strLibId;
    uint16_t nMajor = 0;
    uint16_t nMinor = 0;
    uint32_t nLcid = 0;
    bool b64Bit = false;
    uint16_t nFlags = 0;
    std::u16string strName;
    std::u16string strDocString;
    std::vector<TypeLibInterface> vecInterfaces; // only those that registration lists
};

// Throws on a file that is not a type library of that format.
TypeLibFacts ReadTypeLib(const std::vector<uint8_t>& vecBytes);

// nValue in hexadecimal, at least nMinDigits long.
std::u16string HexText(uint32_t nValue, int nMinDigits, bool bUpperCase);
