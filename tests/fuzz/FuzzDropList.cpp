// Fuzzes the reader of CF_HDROP blocks with arbitrary headers, offsets, sizes
// and contents. The block is copied into a heap buffer of exactly its size, so
// that reading one byte past it is an AddressSanitizer report; every step of
// the walk is checked against the block's bytes: names follow one another
// from the list's start, hold no NUL unit, and the walk ends exactly where
// the closing empty name lies, or is refused when there is none.
//
// The first byte selects the mode: bit 0 sets the list's offset to 20 plus
// bits 4 to 7 (else the header's own bytes say where it starts), bit 1 sets
// fWide to bit 2 (else the header's own bytes say).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ShellExt/menu/DropList.h"

namespace {

void Require(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

uint32_t Read32(const uint8_t* pb)
{
    return pb[0] | pb[1] << 8 | pb[2] << 16 | static_cast<uint32_t>(pb[3]) << 24;
}

void Write32(uint8_t* pb, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        pb[i] = static_cast<uint8_t>(n >> (8 * i));
}

bool IsNulUnit(const uint8_t* pb, size_t cbUnit)
{
    return pb[0] == 0 && (cbUnit == 1 || pb[1] == 0);
}

// Where the list starts, or 0 when the header refuses the block. A wide
// list ends at its last whole unit (cbBlock is moved there).
size_t ListStart(const uint8_t* pbBlock, size_t& cbBlock, bool& bWide)
{
    if (cbBlock < DropFilesLayout::kHeaderSize)
        return 0;
    const size_t nOffset = Read32(pbBlock);
    bWide = Read32(pbBlock + DropFilesLayout::kWideOffset) != 0;
    if (nOffset < DropFilesLayout::kHeaderSize || nOffset >= cbBlock)
        return 0;
    if (bWide)
        cbBlock = nOffset + ((cbBlock - nOffset) & ~static_cast<size_t>(1));
    return cbBlock > nOffset ? nOffset : 0;
}

void CheckWalk(const uint8_t* pbBlock, size_t cbBlock)
{
    CDropListReader reader(pbBlock, cbBlock);
    bool bWide = false;
    const size_t nStart = ListStart(pbBlock, cbBlock, bWide);
    DroppedName name;
    if (nStart == 0)
    {
        Require(!reader.HasFirstName() && reader.Next(name) == DropListStep::Malformed);
        return;
    }
    Require(reader.IsWide() == bWide);
    const size_t cbUnit = bWide ? 2 : 1;
    Require(reader.HasFirstName() == !IsNulUnit(pbBlock + nStart, cbUnit));
    size_t nPos = nStart;
    DropListStep step;
    while ((step = reader.Next(name)) == DropListStep::Name)
    {
        Require(name.pbFirst == pbBlock + nPos && name.cch > 0);
        Require(nPos + (name.cch + 1) * cbUnit <= cbBlock);
        for (size_t i = 0; i < name.cch; ++i)
            Require(!IsNulUnit(pbBlock + nPos + i * cbUnit, cbUnit));
        Require(IsNulUnit(pbBlock + nPos + name.cch * cbUnit, cbUnit));
        nPos += (name.cch + 1) * cbUnit;
    }
    if (step == DropListStep::End)
    {
        Require(nPos + cbUnit <= cbBlock && IsNulUnit(pbBlock + nPos, cbUnit));
    }
    else
    {
        Require(step == DropListStep::Malformed);
        for (; nPos + cbUnit <= cbBlock; nPos += cbUnit)
            Require(!IsNulUnit(pbBlock + nPos, cbUnit));
    }
    Require(reader.Next(name) == step);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    if (cbData == 0)
        return 0;
    const uint8_t nMode = pData[0];
    const size_t cbBlock = cbData - 1;
    std::unique_ptr<uint8_t[]> pbBlock(new uint8_t[cbBlock == 0 ? 1 : cbBlock]);
    if (cbBlock != 0)
        std::memcpy(pbBlock.get(), pData + 1, cbBlock);
    if (cbBlock >= DropFilesLayout::kHeaderSize)
    {
        if (nMode & 1)
            Write32(pbBlock.get(), DropFilesLayout::kHeaderSize + (nMode >> 4));
        if (nMode & 2)
            Write32(pbBlock.get() + DropFilesLayout::kWideOffset, (nMode >> 2) & 1);
    }
    CheckWalk(pbBlock.get(), cbBlock);
    return 0;
}
