// Which right-click a delayed hand-off belongs to. Explorer asks for the same
// selection several times per right-click, from several objects, in several
// processes (the Windows 11 menu in a surrogate, "Show more options" in
// Explorer itself); each asks with the selection's paths, so the paths are
// what names the right-click. The key ignores their order and the case of
// ASCII letters: the classic handler reads the selection from a drop list,
// the command from a shell item array, and neither promises the other's
// order.
#pragma once

#include <cstddef>
#include <cstdint>

class CSelectionKey
{
public:
    void AddPath(const char16_t* pszPath, size_t cchPath) noexcept;
    uint64_t Value() const noexcept { return m_nValue; }

private:
    uint64_t m_nValue = 0;
};

// 16 lower-case hexadecimal digits and a terminating null.
const size_t kSelectionKeyDigits = 16;
void FormatSelectionKey(uint64_t nKey, char16_t (&szDigits)[kSelectionKeyDigits + 1]) noexcept;
// The same digits back; false for anything else.
bool ParseSelectionKey(const char16_t* pszDigits, uint64_t& nKey) noexcept;
