#include "ShellExt/menu/SelectionKey.h"

#include "ShellExt/core/AsciiCase.h"

namespace {

const uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
const uint64_t kFnvPrime = 0x100000001b3ULL;

}  // namespace

// FNV-1a over each path's code units; the paths' hashes are added, so that
// the order of the paths does not matter.
void CSelectionKey::AddPath(const char16_t* pszPath, size_t cchPath) noexcept
{
    uint64_t nHash = kFnvOffset;
    for (size_t i = 0; i < cchPath; ++i)
    {
        const char16_t ch = AsciiLower(pszPath[i]);
        nHash = (nHash ^ static_cast<uint64_t>(ch & 0xFF)) * kFnvPrime;
        nHash = (nHash ^ static_cast<uint64_t>(ch >> 8)) * kFnvPrime;
    }
    m_nValue += nHash;
}

void FormatSelectionKey(uint64_t nKey, char16_t (&szDigits)[kSelectionKeyDigits + 1]) noexcept
{
    static const char16_t kDigits[] = u"0123456789abcdef";
    for (size_t i = 0; i < kSelectionKeyDigits; ++i)
        szDigits[i] = kDigits[(nKey >> (4 * (kSelectionKeyDigits - 1 - i))) & 0xF];
    szDigits[kSelectionKeyDigits] = u'\0';
}

bool ParseSelectionKey(const char16_t* pszDigits, uint64_t& nKey) noexcept
{
    uint64_t nValue = 0;
    for (size_t i = 0; i < kSelectionKeyDigits; ++i)
    {
        const char16_t ch = pszDigits[i];
        unsigned nDigit = 0;
        if (ch >= u'0' && ch <= u'9')
            nDigit = ch - u'0';
        else if (ch >= u'a' && ch <= u'f')
            nDigit = ch - u'a' + 10;
        else
            return false;
        nValue = (nValue << 4) | nDigit;
    }
    if (pszDigits[kSelectionKeyDigits] != u'\0')
        return false;
    nKey = nValue;
    return true;
}
