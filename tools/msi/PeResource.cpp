#include "tools/msi/PeResource.h"

#include <stdexcept>

#include "tools/msi/ByteReader.h"

namespace {

const uint32_t kResourceDirectoryIndex = 2;
const uint32_t kSubdirectoryBit = 0x80000000u;

struct Section
{
    uint32_t nVirtualAddress;
    uint32_t nVirtualSize;
    uint32_t nRawOffset;
    uint32_t nRawSize;
};

class CPeImage
{
public:
    explicit CPeImage(const std::vector<uint8_t>& vecImage) : m_reader(vecImage, "DLL")
    {
        if (m_reader.U16(0) != 0x5A4D)
            throw std::runtime_error("DLL: no MZ header");
        const size_t nPe = m_reader.U32(0x3C);
        if (m_reader.U32(nPe) != 0x00004550)
            throw std::runtime_error("DLL: no PE header");
        const size_t nCoff = nPe + 4;
        const uint16_t nSections = m_reader.U16(nCoff + 2);
        const size_t nOptional = nCoff + 20;
        const uint16_t nMagic = m_reader.U16(nOptional);
        if (nMagic != 0x10B && nMagic != 0x20B)
            throw std::runtime_error("DLL: unknown optional header");
        const size_t nDirectories = nOptional + (nMagic == 0x20B ? 112 : 96);
        if (m_reader.U32(nDirectories - 4) <= kResourceDirectoryIndex)
            throw std::runtime_error("DLL: no resource directory");
        m_nResourceRva = m_reader.U32(nDirectories + 8 * kResourceDirectoryIndex);
        size_t nSection = nOptional + m_reader.U16(nCoff + 16);
        for (uint16_t i = 0; i < nSections; ++i, nSection += 40)
            m_vecSections.push_back({m_reader.U32(nSection + 12), m_reader.U32(nSection + 8),
                                     m_reader.U32(nSection + 20), m_reader.U32(nSection + 16)});
        if (m_nResourceRva == 0)
            throw std::runtime_error("DLL: no resources");
        m_nResourceBase = FileOffset(m_nResourceRva);
    }

    std::vector<uint8_t> Find(const PeResourceKey& type, const PeResourceKey& name) const
    {
        uint32_t nEntry = FindEntry(m_nResourceBase, type);
        nEntry = FindEntry(Subdirectory(nEntry), name);
        // The first language: scripts and type library are neutral.
        const size_t nLanguages = Subdirectory(nEntry);
        if (m_reader.U16(nLanguages + 12) + m_reader.U16(nLanguages + 14) == 0)
            throw std::runtime_error("DLL: resource without data");
        const uint32_t nData = m_reader.U32(nLanguages + 16 + 4);
        if (nData & kSubdirectoryBit)
            throw std::runtime_error("DLL: malformed resource tree");
        const size_t nDataEntry = m_nResourceBase + nData;
        const size_t nOffset = FileOffset(m_reader.U32(nDataEntry));
        const uint32_t nSize = m_reader.U32(nDataEntry + 4);
        m_reader.Need(nOffset, nSize);
        const auto itBegin = m_reader.Bytes().begin() + static_cast<std::ptrdiff_t>(nOffset);
        return std::vector<uint8_t>(itBegin, itBegin + nSize);
    }

private:
    size_t FileOffset(uint32_t nRva) const
    {
        for (const Section& section : m_vecSections)
        {
            const uint32_t nExtent = section.nVirtualSize > section.nRawSize ? section.nVirtualSize : section.nRawSize;
            if (nRva >= section.nVirtualAddress && nRva - section.nVirtualAddress < nExtent)
                return section.nRawOffset + (nRva - section.nVirtualAddress);
        }
        throw std::runtime_error("DLL: address outside every section");
    }

    size_t Subdirectory(uint32_t nEntryData) const
    {
        if (!(nEntryData & kSubdirectoryBit))
            throw std::runtime_error("DLL: malformed resource tree");
        return m_nResourceBase + (nEntryData & ~kSubdirectoryBit);
    }

    // The data field of the directory entry that matches key.
    uint32_t FindEntry(size_t nDirectory, const PeResourceKey& key) const
    {
        const size_t nCount = m_reader.U16(nDirectory + 12) + m_reader.U16(nDirectory + 14);
        for (size_t i = 0; i < nCount; ++i)
        {
            const size_t nEntry = nDirectory + 16 + 8 * i;
            if (Matches(m_reader.U32(nEntry), key))
                return m_reader.U32(nEntry + 4);
        }
        throw std::runtime_error("DLL: resource not found");
    }

    bool Matches(uint32_t nNameField, const PeResourceKey& key) const
    {
        if (!(nNameField & kSubdirectoryBit))
            return key.strName.empty() && nNameField == key.nId;
        if (key.strName.empty())
            return false;
        const size_t nString = m_nResourceBase + (nNameField & ~kSubdirectoryBit);
        const size_t nLength = m_reader.U16(nString);
        if (nLength != key.strName.size())
            return false;
        for (size_t i = 0; i < nLength; ++i)
        {
            if (Upper(m_reader.U16(nString + 2 + 2 * i)) != Upper(key.strName[i]))
                return false;
        }
        return true;
    }

    static char16_t Upper(char16_t ch) { return (ch >= u'a' && ch <= u'z') ? static_cast<char16_t>(ch - 0x20) : ch; }

    CByteReader m_reader;
    std::vector<Section> m_vecSections;
    uint32_t m_nResourceRva = 0;
    size_t m_nResourceBase = 0;
};

} // namespace

std::vector<uint8_t> ReadPeResource(const std::vector<uint8_t>& vecImage, const PeResourceKey& type,
                                    const PeResourceKey& name)
{
    return CPeImage(vecImage).Find(type, name);
}
