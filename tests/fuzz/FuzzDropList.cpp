// Fuzzes the reader of CF_HDROP blocks with blocks this target builds itself
// from the input: names of any content, 8-bit or wide, after padding, with
// the header's list offset pointing where the list is, into the header or
// past the block, and the block cut short anywhere. What the reader must hand
// out follows from how the block was built (where each name was put and
// whether its terminator survived the cut), never from the header's rules
// restated. The block lies in a heap buffer of exactly its size, so that
// reading one byte past it is an AddressSanitizer report.
//
// Input: byte 0 the mode, byte 1 how many bytes to cut, the rest the names
// (8-bit: split at NUL bytes; wide: 16-bit units, split at NUL units).
// Mode bit 0: wide; bits 1 to 3: padding between the header and the list;
// bit 4: the offset points into the header; bit 5: the offset points past
// the block; bit 6: cut the block; bit 7: fWide holds 0x100 instead of 1.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ShellExt/menu/DropList.h"

namespace {

void Require(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

void Write32(std::vector<uint8_t>& vecBlock, size_t nAt, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        vecBlock[nAt + i] = static_cast<uint8_t>(n >> (8 * i));
}

struct PlacedName
{
    size_t nOffset;
    size_t cch;
};

// The names of the input, each appended to the block with its terminator,
// then the empty name that closes the list. Returns where each name went.
std::vector<PlacedName> AppendNames(const uint8_t* pbNames, size_t cbNames, size_t cbUnit,
                                    std::vector<uint8_t>& vecBlock)
{
    std::vector<PlacedName> vecPlaced;
    size_t cchCurrent = 0;
    auto endName = [&]() {
        if (cchCurrent == 0)
            return;  // an empty name would close the list: never put one inside it
        vecPlaced.push_back({vecBlock.size() - cchCurrent * cbUnit, cchCurrent});
        vecBlock.insert(vecBlock.end(), cbUnit, 0);
        cchCurrent = 0;
    };
    for (size_t i = 0; i + cbUnit <= cbNames; i += cbUnit)
    {
        const bool bNul = pbNames[i] == 0 && (cbUnit == 1 || pbNames[i + 1] == 0);
        if (bNul)
        {
            endName();
            continue;
        }
        vecBlock.insert(vecBlock.end(), pbNames + i, pbNames + i + cbUnit);
        ++cchCurrent;
    }
    endName();
    vecBlock.insert(vecBlock.end(), cbUnit, 0);
    return vecPlaced;
}

// Every name whose terminator lies within the block, in order, then End when
// the closing empty name does too; otherwise Malformed where the first one
// that does not fit would be. A header that is cut or points elsewhere than
// the list gives Malformed at once.
void CheckWalk(const uint8_t* pbBlock, size_t cbBlock, bool bListWhereHeaderSays, bool bWide,
               const std::vector<PlacedName>& vecPlaced, size_t nClosing)
{
    CDropListReader reader(pbBlock, cbBlock);
    const size_t cbUnit = bWide ? 2 : 1;
    const bool bHeaderUsable = cbBlock >= DropFilesLayout::kHeaderSize && bListWhereHeaderSays;
    DroppedName name = {};
    if (!bHeaderUsable)
    {
        Require(!reader.HasFirstName() && reader.UnitsLeft() == 0 && reader.Next(name) == DropListStep::Malformed);
        Require(reader.Next(name) == DropListStep::Malformed);
        return;
    }
    Require(reader.IsWide() == bWide);
    Require(reader.HasFirstName() == (!vecPlaced.empty() && vecPlaced[0].nOffset + cbUnit <= cbBlock));
    DropListStep expected = DropListStep::End;
    for (const PlacedName& placed : vecPlaced)
    {
        if (placed.nOffset + (placed.cch + 1) * cbUnit > cbBlock)
        {
            expected = DropListStep::Malformed;
            break;
        }
        // Everything from this name to the block's end is still to come.
        Require(reader.UnitsLeft() == (cbBlock - placed.nOffset) / cbUnit);
        Require(reader.Next(name) == DropListStep::Name);
        Require(name.pbFirst == pbBlock + placed.nOffset && name.cch == placed.cch);
    }
    if (expected == DropListStep::End && nClosing + cbUnit > cbBlock)
        expected = DropListStep::Malformed;
    Require(reader.Next(name) == expected);
    Require(reader.Next(name) == expected && reader.UnitsLeft() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    if (cbData < 2)
        return 0;
    const uint8_t nMode = pData[0];
    const bool bWide = (nMode & 1) != 0;
    const size_t cbUnit = bWide ? 2 : 1;
    const size_t cbPadding = (nMode >> 1) & 7;

    std::vector<uint8_t> vecBlock(DropFilesLayout::kHeaderSize + cbPadding, 0xAB);
    const std::vector<PlacedName> vecPlaced = AppendNames(pData + 2, cbData - 2, cbUnit, vecBlock);
    const size_t nClosing = vecBlock.size() - cbUnit;

    size_t nListOffset = DropFilesLayout::kHeaderSize + cbPadding;
    if (nMode & 0x10)
        nListOffset = (cbPadding * 3) % DropFilesLayout::kHeaderSize;
    else if (nMode & 0x20)
        nListOffset = vecBlock.size() + cbPadding;
    Write32(vecBlock, DropFilesLayout::kFilesOffset, static_cast<uint32_t>(nListOffset));
    Write32(vecBlock, DropFilesLayout::kWideOffset, bWide ? ((nMode & 0x80) ? 0x100 : 1) : 0);
    size_t cbBlock = vecBlock.size();
    if (nMode & 0x40)
        cbBlock -= pData[1] < cbBlock ? pData[1] : cbBlock;

    std::unique_ptr<uint8_t[]> pbBlock(new uint8_t[cbBlock == 0 ? 1 : cbBlock]);
    std::copy(vecBlock.begin(), vecBlock.begin() + static_cast<std::ptrdiff_t>(cbBlock), pbBlock.get());
    CheckWalk(pbBlock.get(), cbBlock, (nMode & 0x30) == 0, bWide, vecPlaced, nClosing);
    return 0;
}
