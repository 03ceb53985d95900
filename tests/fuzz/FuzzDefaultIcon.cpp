// Fuzzes the reading of default-icon texts and file extensions with arbitrary
// text. Besides crashes and sanitizer reports, every result is checked
// against what it must be: the split against the text, the index against the
// C library's strtoll (for ASCII text), the bounded copies against exact-size
// heap buffers, so that one character too many is an AddressSanitizer report.
//
// The first byte selects the mode: bit 0 reads the rest as UTF-16LE (else
// each byte is widened); bits 1 to 7 give the capacity of the output buffers.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/icons/DefaultIconText.h"
#include "tests/fuzz/FuzzText.h"

namespace {

void Require(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

// strtoll stops at the first NUL; ParseIconIndex sees it as a non-digit and
// stops there too, so both read the same prefix.
void CheckIndexAgainstCLibrary(std::u16string_view strText, int32_t nIndex)
{
    std::string strNarrow;
    for (char16_t ch : strText)
    {
        if (ch >= 0x80)
            return;
        strNarrow.push_back(static_cast<char>(ch));
    }
    errno = 0;
    long long nExpected = std::strtoll(strNarrow.c_str(), nullptr, 10);
    if (nExpected > INT32_MAX)
        nExpected = INT32_MAX;
    if (nExpected < INT32_MIN)
        nExpected = INT32_MIN;
    Require(nIndex == nExpected);
}

void CheckSplit(std::u16string_view strText)
{
    const DefaultIconParts parts = SplitDefaultIconText(strText);
    Require(strText.substr(0, parts.strLocation.size()) == parts.strLocation);
    if (parts.strLocation.size() == strText.size())
    {
        Require(strText.find(u',') == std::u16string_view::npos);
        Require(parts.nIndex == 0);
        return;
    }
    Require(strText[parts.strLocation.size()] == u',');
    const std::u16string_view strAfter = strText.substr(parts.strLocation.size() + 1);
    Require(strAfter.find(u',') == std::u16string_view::npos);
    Require(parts.nIndex == ParseIconIndex(strAfter));
    CheckIndexAgainstCLibrary(strAfter, parts.nIndex);
}

void CheckStripQuotes(std::u16string_view strText, size_t cchOut)
{
    std::u16string strExpected;
    for (char16_t ch : strText)
        if (ch != u'"')
            strExpected.push_back(ch);

    std::unique_ptr<char16_t[]> pszOut(new char16_t[cchOut == 0 ? 1 : cchOut]);
    pszOut[0] = u'x';
    const bool bFits = StripQuotes(strText, pszOut.get(), cchOut);
    Require(bFits == (strExpected.size() < cchOut));
    if (cchOut == 0)
        Require(pszOut[0] == u'x');
    else if (bFits)
        Require(std::u16string_view(pszOut.get(), strExpected.size() + 1) == strExpected + u'\0');
    else
        Require(pszOut[0] == u'\0');
}

void CheckExtension(std::u16string_view strPath)
{
    const std::u16string_view strExtension = GetFileExtension(strPath);
    if (strExtension.empty())
        return;
    Require(strExtension.front() == u'.');
    Require(strPath.substr(strPath.size() - strExtension.size()) == strExtension);
    Require(strExtension.find_first_of(u"\\/") == std::u16string_view::npos);
    Require(strExtension.find(u'.', 1) == std::u16string_view::npos);
}

void CheckJoin(std::u16string_view strText, size_t cchOut)
{
    const size_t nSplit = strText.size() / 3;
    std::unique_ptr<char16_t[]> pszOut(new char16_t[cchOut == 0 ? 1 : cchOut]);
    const bool bFits = JoinBounded(pszOut.get(), cchOut, {strText.substr(0, nSplit), strText.substr(nSplit)});
    Require(bFits == (strText.size() < cchOut));
    if (bFits)
        Require(std::u16string_view(pszOut.get(), strText.size()) == strText && pszOut[strText.size()] == u'\0');
    else if (cchOut > 0)
        Require(pszOut[0] == u'\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    if (cbData == 0)
        return 0;
    const bool bUtf16 = (pData[0] & 1) != 0;
    const size_t cchOut = pData[0] >> 1;
    const std::u16string strText = DecodeFuzzText(pData + 1, cbData - 1, bUtf16);

    CheckSplit(strText);
    CheckIndexAgainstCLibrary(strText, ParseIconIndex(strText));
    CheckStripQuotes(strText, cchOut);
    CheckExtension(strText);
    CheckJoin(strText, cchOut);
    (void)IsIndirectString(strText);
    return 0;
}
