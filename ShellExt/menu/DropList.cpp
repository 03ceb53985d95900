#include "ShellExt/menu/DropList.h"

#include <cstring>

namespace {

uint32_t ReadLittleEndian32(const uint8_t* pb) noexcept
{
    return static_cast<uint32_t>(pb[0]) | static_cast<uint32_t>(pb[1]) << 8 | static_cast<uint32_t>(pb[2]) << 16 |
           static_cast<uint32_t>(pb[3]) << 24;
}

// The first NUL unit of a wide list at or after pb, or pbEnd when there is
// none; pbEnd - pb is even. Names are long and the list may hold a hundred
// thousand of them: four units are looked at together while four remain (a
// word has a zero unit exactly when the test below is nonzero, whatever the
// byte order), and the word that holds one is then walked unit by unit.
const uint8_t* FindNulUnit(const uint8_t* pb, const uint8_t* pbEnd) noexcept
{
    const uint64_t kUnitOnes = 0x0001000100010001ULL;
    const uint64_t kUnitHighs = 0x8000800080008000ULL;
    for (; static_cast<size_t>(pbEnd - pb) >= sizeof(uint64_t); pb += sizeof(uint64_t))
    {
        uint64_t nUnits;
        std::memcpy(&nUnits, pb, sizeof(nUnits));
        if (((nUnits - kUnitOnes) & ~nUnits & kUnitHighs) != 0)
            break;
    }
    for (; pb != pbEnd; pb += 2)
    {
        uint16_t nUnit;
        std::memcpy(&nUnit, pb, sizeof(nUnit));
        if (nUnit == 0)
            return pb;
    }
    return pbEnd;
}

}  // namespace

CDropListReader::CDropListReader(const void* pvBlock, size_t cbBlock) noexcept
{
    const uint8_t* pbBlock = static_cast<const uint8_t*>(pvBlock);
    if (pbBlock == nullptr || cbBlock < DropFilesLayout::kHeaderSize)
        return;
    const uint32_t nFilesOffset = ReadLittleEndian32(pbBlock + DropFilesLayout::kFilesOffset);
    m_bWide = ReadLittleEndian32(pbBlock + DropFilesLayout::kWideOffset) != 0;
    if (nFilesOffset < DropFilesLayout::kHeaderSize || nFilesOffset >= cbBlock)
        return;
    // A wide list is read in whole units, as DragQueryFileW reads it: a stray
    // last byte is not part of any name.
    const size_t cbList = m_bWide ? (cbBlock - nFilesOffset) & ~static_cast<size_t>(1) : cbBlock - nFilesOffset;
    if (cbList == 0)
        return;
    m_pbNext = pbBlock + nFilesOffset;
    m_pbEnd = m_pbNext + cbList;
}

bool CDropListReader::HasFirstName() const noexcept
{
    // A usable header leaves at least one unit of the list within the block.
    return m_pbNext != nullptr && (m_pbNext[0] != 0 || (m_bWide && m_pbNext[1] != 0));
}

size_t CDropListReader::UnitsLeft() const noexcept
{
    if (m_pbNext == nullptr)
        return 0;
    const size_t cbLeft = static_cast<size_t>(m_pbEnd - m_pbNext);
    return m_bWide ? cbLeft / 2 : cbLeft;
}

DropListStep CDropListReader::Next(DroppedName& name) noexcept
{
    if (m_pbNext == nullptr)
        return m_finalStep;
    const DropListStep step = m_bWide ? NextWide(name) : NextNarrow(name);
    if (step != DropListStep::Name)
    {
        m_pbNext = nullptr;
        m_finalStep = step;
    }
    return step;
}

DropListStep CDropListReader::NextWide(DroppedName& name) noexcept
{
    // The list's end is rounded down to whole units, so a unit never straddles it.
    const uint8_t* pb = FindNulUnit(m_pbNext, m_pbEnd);
    if (pb == m_pbEnd)
        return DropListStep::Malformed;
    name.pbFirst = m_pbNext;
    name.cch = static_cast<size_t>(pb - m_pbNext) / 2;
    m_pbNext = pb + 2;
    return name.cch == 0 ? DropListStep::End : DropListStep::Name;
}

DropListStep CDropListReader::NextNarrow(DroppedName& name) noexcept
{
    const void* pvNul = std::memchr(m_pbNext, 0, static_cast<size_t>(m_pbEnd - m_pbNext));
    if (pvNul == nullptr)
        return DropListStep::Malformed;
    const uint8_t* pbNul = static_cast<const uint8_t*>(pvNul);
    name.pbFirst = m_pbNext;
    name.cch = static_cast<size_t>(pbNul - m_pbNext);
    m_pbNext = pbNul + 1;
    return name.cch == 0 ? DropListStep::End : DropListStep::Name;
}
