// Reading a file type's default-icon text ("path,index") and finding a file's
// extension. Platform-free: UTF-16 in char16_t, results in caller buffers, so
// the icon handler allocates nothing per request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A default-icon text split at its last comma: the location as written
// (quotes still in it) and the icon index. Without a comma the whole text is
// the location and the index is 0.
struct DefaultIconParts
{
    std::u16string_view strLocation;
    int32_t nIndex;
};

DefaultIconParts SplitDefaultIconText(std::u16string_view strText) noexcept;

// The decimal integer at the start of strText, read as the C library reads
// one: leading white space, an optional sign, then digits up to the first
// character that is not a digit. No digits give 0; values beyond the 32-bit
// range are clamped to it. A negative index is a resource identifier.
int32_t ParseIconIndex(std::u16string_view strText) noexcept;

// Copies strText into pszOut without its double-quote characters. A result
// that does not fit in cchOut characters (terminator included) is never
// handed over cut, since a cut path names another file: pszOut is left empty
// and the answer is false.
bool StripQuotes(std::u16string_view strText, char16_t* pszOut, size_t cchOut) noexcept;

// The part of strPath from its last "." to its end, dot included, as the key
// of the file type's association. Empty when the file name has no dot: a dot
// in a folder name does not make an extension.
std::u16string_view GetFileExtension(std::u16string_view strPath) noexcept;

// An indirect resource string ("@dll,-id", "@{package?resource}") begins
// with "@"; an "@" further on is part of an ordinary path.
inline bool IsIndirectString(std::u16string_view strText) noexcept
{
    return !strText.empty() && strText.front() == u'@';
}
