// Turns a fuzzer's bytes into UTF-16 text: pairs of bytes as UTF-16LE code
// units, or each byte widened, so that both wide and 8-bit-looking inputs
// reach the parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::u16string DecodeFuzzText(const uint8_t* pData, size_t cbData, bool bUtf16)
{
    std::u16string strText;
    if (bUtf16)
    {
        for (size_t i = 0; i + 1 < cbData; i += 2)
            strText.push_back(static_cast<char16_t>(pData[i] | (pData[i + 1] << 8)));
    }
    else
    {
        strText.assign(pData, pData + cbData);
    }
    return strText;
}
