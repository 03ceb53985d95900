#pragma once

// Bounds-checked little-endian reads from a file held in memory. A read past
// the end throws: the files read here come from the build, and a truncated
// one must stop the package build rather than yield wrong rows.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class CByteReader
{
public:
    CByteReader(const std::vector<uint8_t>& vecBytes, std::string strWhat)
        : m_vecBytes(vecBytes), m_strWhat(std::move(strWhat))
    {
    }

    uint32_t U32(size_t nOffset) const { return U16(nOffset) | (static_cast<uint32_t>(U16(nOffset + 2)) << 16); }
    int32_t I32(size_t nOffset) const { return static_cast<int32_t>(U32(nOffset)); }
    uint16_t U16(size_t nOffset) const { return static_cast<uint16_t>(U8(nOffset) | (U8(nOffset + 1) << 8)); }
    uint8_t U8(size_t nOffset) const
    {
        Need(nOffset, 1);
        return m_vecBytes[nOffset];
    }

    // Throws unless nSize bytes from nOffset lie inside the file.
    void Need(size_t nOffset, size_t nSize) const
    {
        if (nOffset > m_vecBytes.size() || nSize > m_vecBytes.size() - nOffset)
            throw std::runtime_error(m_strWhat + ": truncated or malformed (offset " + std::to_string(nOffset) + ")");
    }

    const std::vector<uint8_t>& Bytes() const { return m_vecBytes; }
    const std::string& What() const { return m_strWhat; }

private:
    const std::vector<uint8_t>& m_vecBytes;
    std::string m_strWhat;
};
