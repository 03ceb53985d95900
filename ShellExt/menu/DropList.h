// The selection as the shell hands it to a context-menu handler: a CF_HDROP
// medium, one block of global memory holding a DROPFILES header and then the
// names one after another, each ending in a NUL, the list ending in an empty
// name. Read here from the block's bytes alone, without Windows headers, so
// that the reader also builds natively for the sanitizers and the fuzzer.
//
// DragQueryFileW walks the list from its start for every index it is asked
// for, so that a handler asking for every name in turn pays for n names n
// times over. This reader walks the block once and hands out each name where
// it lies.
#pragma once

#include <cstddef>
#include <cstdint>

// The DROPFILES header: five 32-bit fields, the same in 32- and 64-bit
// processes (DWORD pFiles, POINT pt, BOOL fNC, BOOL fWide).
struct DropFilesLayout
{
    static const size_t kHeaderSize = 20;
    static const size_t kFilesOffset = 0;  // pFiles: where the list starts, counted from the header
    static const size_t kWideOffset = 16;  // fWide: nonzero for UTF-16LE names, 0 for 8-bit ANSI text
};

// One name of the list, where it lies in the block, without its terminator:
// cch 16-bit units for a wide list (not necessarily aligned), cch bytes for
// an 8-bit one. Never empty: the empty name ends the list.
struct DroppedName
{
    const uint8_t* pbFirst;
    size_t cch;
};

enum class DropListStep
{
    Name,
    End,
    Malformed,
};

// Refused as malformed, before any name or after the names read so far:
// a block shorter than the header (a zero-length medium included), a list
// that starts inside the header or at or past the end of the block (for a
// wide list: leaves less than one whole unit), and a list whose closing
// empty name does not lie wholly within the block. A wide list whose bytes
// are odd in number is read up to its last whole unit, as DragQueryFileW
// reads it. Nothing outside the block is read.
class CDropListReader
{
public:
    CDropListReader(const void* pvBlock, size_t cbBlock) noexcept;

    bool IsWide() const noexcept { return m_bWide; }

    // Whether the header is usable and the list's first name is not the
    // closing empty one: what can be known before the walk.
    bool HasFirstName() const noexcept;

    // The units (16-bit ones of a wide list, bytes of an 8-bit one) not yet
    // walked: never fewer than the names still to come hold with their
    // terminators. 0 once the walk has ended.
    size_t UnitsLeft() const noexcept;

    // The next name; End once the empty name that closes the list is
    // reached, Malformed as described above. After End or Malformed every
    // further call answers the same.
    DropListStep Next(DroppedName& name) noexcept;

private:
    DropListStep NextWide(DroppedName& name) noexcept;
    DropListStep NextNarrow(DroppedName& name) noexcept;

    const uint8_t* m_pbNext = nullptr;  // null once the walk has ended
    const uint8_t* m_pbEnd = nullptr;
    bool m_bWide = false;
    DropListStep m_finalStep = DropListStep::Malformed;
};
