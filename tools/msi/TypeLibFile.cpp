#include "tools/msi/TypeLibFile.h"

#include <stdexcept>

#include "tools/msi/ByteReader.h"

namespace {

// Header fields and the segment directory of the format.
const size_t kHeaderSize = 0x54;
const uint32_t kMagic = 0x5446534D; // "MSFT"
const uint32_t kHelpDllFlag = 0x100;
const size_t kSegmentCount = 15;
const size_t kTypeInfoSegment = 0;
const size_t kGuidSegment = 5;
const size_t kNameSegment = 7;
const size_t kStringSegment = 8;

const uint32_t kSysKindWin64 = 3;
const uint32_t kTKindInterface = 3;
const uint32_t kTKindDispatch = 4;
const uint32_t kTypeFlagDual = 0x40;
const uint32_t kTypeFlagOleAutomation = 0x100;

class CTypeLibReader
{
public:
    explicit CTypeLibReader(const std::vector<uint8_t>& vecBytes) : m_reader(vecBytes, "type library")
    {
        if (m_reader.U32(0) != kMagic)
            throw std::runtime_error("type library: not in the MSFT format");
        size_t nOffset = kHeaderSize + ((m_reader.U32(0x14) & kHelpDllFlag) ? 4 : 0);
        m_nTypeInfoOffsets = nOffset;
        nOffset += 4 * TypeInfoCount();
        for (size_t i = 0; i < kSegmentCount; ++i)
            m_rgSegments[i] = m_reader.I32(nOffset + 16 * i);
    }

    TypeLibFacts Read() const
    {
        TypeLibFacts facts;
        facts.strLibId = Guid(m_reader.I32(0x08));
        // The first locale field is the one the names were hashed with; the
        // library's own locale is the second.
        facts.nLcid = m_reader.U32(0x10);
        facts.b64Bit = (m_reader.U32(0x14) & 0xF) == kSysKindWin64;
        facts.nMajor = m_reader.U16(0x18);
        facts.nMinor = m_reader.U16(0x1A);
        facts.nFlags = m_reader.U16(0x1C);
        facts.strDocString = String(m_reader.I32(0x24));
        facts.strName = Name(m_reader.I32(0x38));
        for (size_t i = 0; i < TypeInfoCount(); ++i)
        {
            const size_t nInfo = Segment(kTypeInfoSegment) + m_reader.U32(m_nTypeInfoOffsets + 4 * i);
            const uint32_t nKind = m_reader.U32(nInfo) & 0xF;
            const uint32_t nFlags = m_reader.U32(nInfo + 0x30);
            const bool bAutomation = (nFlags & (kTypeFlagDual | kTypeFlagOleAutomation)) != 0;
            if (nKind == kTKindDispatch || (nKind == kTKindInterface && bAutomation))
                facts.vecInterfaces.push_back({Guid(m_reader.I32(nInfo + 0x2C)), Name(m_reader.I32(nInfo + 0x34)),
                                               nKind == kTKindDispatch && !(nFlags & kTypeFlagDual)});
        }
        return facts;
    }

private:
    size_t TypeInfoCount() const { return m_reader.U32(0x20); }

    size_t Segment(size_t nIndex) const
    {
        if (m_rgSegments[nIndex] < 0)
            throw std::runtime_error("type library: a needed table is missing");
        return static_cast<size_t>(m_rgSegments[nIndex]);
    }

    std::u16string Guid(int32_t nOffset) const
    {
        const size_t nGuid = Segment(kGuidSegment) + static_cast<uint32_t>(nOffset);
        std::u16string strGuid = u"{";
        auto append = [&](uint32_t nValue, int nDigits) { strGuid += HexText(nValue, nDigits, true); };
        append(m_reader.U32(nGuid), 8);
        strGuid += u'-';
        append(m_reader.U16(nGuid + 4), 4);
        strGuid += u'-';
        append(m_reader.U16(nGuid + 6), 4);
        strGuid += u'-';
        for (size_t i = 0; i < 8; ++i)
        {
            if (i == 2)
                strGuid += u'-';
            append(m_reader.U8(nGuid + 8 + i), 2);
        }
        return strGuid + u'}';
    }

    // Name entries: reference, hash link, then the length in the low byte,
    // then the 8-bit characters.
    std::u16string Name(int32_t nOffset) const
    {
        const size_t nName = Segment(kNameSegment) + static_cast<uint32_t>(nOffset);
        return Chars(nName + 12, m_reader.U8(nName + 8));
    }

    // Strings: a 16-bit length, then the characters; -1 is no string.
    std::u16string String(int32_t nOffset) const
    {
        if (nOffset < 0)
            return std::u16string();
        const size_t nString = Segment(kStringSegment) + static_cast<uint32_t>(nOffset);
        return Chars(nString + 2, m_reader.U16(nString));
    }

    std::u16string Chars(size_t nOffset, size_t nLength) const
    {
        m_reader.Need(nOffset, nLength);
        std::u16string str;
        for (size_t i = 0; i < nLength; ++i)
            str += static_cast<char16_t>(m_reader.U8(nOffset + i));
        return str;
    }

    CByteReader m_reader;
    size_t m_nTypeInfoOffsets = 0;
    int32_t m_rgSegments[kSegmentCount] = {};
};

} // namespace

TypeLibFacts ReadTypeLib(const std::vector<uint8_t>& vecBytes)
{
    return CTypeLibReader(vecBytes).Read();
}

std::u16string HexText(uint32_t nValue, int nMinDigits, bool bUpperCase)
{
    const char* pszDigits = bUpperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string str;
    for (int i = 0; i < nMinDigits || nValue != 0; ++i, nValue >>= 4)
        str.insert(str.begin(), static_cast<char16_t>(pszDigits[nValue & 0xF]));
    return str;
}
