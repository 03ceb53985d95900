#include "ShellExt/diagnostics/TraceLine.h"

#include <cstdio>

namespace {

// Appends to a fixed buffer and never past it; the terminator always fits.
class CLineWriter
{
public:
    CLineWriter(char* pszOut, size_t cchOut) noexcept : m_psz(pszOut), m_cch(cchOut)
    {
        if (m_cch > 0)
            m_psz[0] = '\0';
    }

    size_t Length() const noexcept { return m_n; }

    void Char(char ch) noexcept
    {
        if (m_n + 1 < m_cch)
        {
            m_psz[m_n++] = ch;
            m_psz[m_n] = '\0';
        }
    }

    // A fixed piece of the line's own layout, copied as it is.
    void Raw(std::string_view str) noexcept
    {
        for (char ch : str)
            Char(ch);
    }

    void Text(std::string_view str, size_t nMaxBytes = kTraceFieldBytes) noexcept
    {
        for (size_t i = 0; i < str.size() && i < nMaxBytes; ++i)
            Char(FieldChar(static_cast<unsigned char>(str[i])));
    }

    // UTF-16 to UTF-8, a code point only when all its bytes fit within
    // nMaxBytes; unpaired surrogates become '?'.
    void Text(std::u16string_view str, size_t nMaxBytes = kTraceFieldBytes) noexcept
    {
        size_t nUsed = 0;
        for (size_t i = 0; i < str.size(); ++i)
        {
            uint32_t cp = str[i];
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < str.size() && str[i + 1] >= 0xDC00 && str[i + 1] <= 0xDFFF)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (str[++i] - 0xDC00);
            else if (cp >= 0xD800 && cp <= 0xDFFF)
                cp = '?';
            char aBytes[4];
            const size_t nBytes = Encode(cp, aBytes);
            if (nUsed + nBytes > nMaxBytes || m_n + nBytes + 1 > m_cch)
                return;
            for (size_t b = 0; b < nBytes; ++b)
                Char(nBytes == 1 ? FieldChar(static_cast<unsigned char>(aBytes[b])) : aBytes[b]);
            nUsed += nBytes;
        }
    }

    template <class... Args>
    void Format(const char* pszFormat, Args... args) noexcept
    {
        if (m_n + 1 >= m_cch)
            return;
        const int n = std::snprintf(m_psz + m_n, m_cch - m_n, pszFormat, args...);
        if (n > 0)
            m_n += (static_cast<size_t>(n) < m_cch - m_n) ? static_cast<size_t>(n) : m_cch - m_n - 1;
    }

private:
    static char FieldChar(unsigned char ch) noexcept { return (ch <= 0x20 || ch == 0x7F) ? '_' : static_cast<char>(ch); }

    static size_t Encode(uint32_t cp, char (&aBytes)[4]) noexcept
    {
        if (cp < 0x80)
        {
            aBytes[0] = static_cast<char>(cp);
            return 1;
        }
        if (cp < 0x800)
        {
            aBytes[0] = static_cast<char>(0xC0 | (cp >> 6));
            aBytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
            return 2;
        }
        if (cp < 0x10000)
        {
            aBytes[0] = static_cast<char>(0xE0 | (cp >> 12));
            aBytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            aBytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
            return 3;
        }
        aBytes[0] = static_cast<char>(0xF0 | (cp >> 18));
        aBytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        aBytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        aBytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
        return 4;
    }

    char* m_psz;
    size_t m_cch;
    size_t m_n = 0;
};

// Only the file name: a full image path may name the user's own folders.
std::u16string_view FileNameOf(std::u16string_view strPath) noexcept
{
    const size_t nSlash = strPath.find_last_of(u"\\/");
    return nSlash == std::u16string_view::npos ? strPath : strPath.substr(nSlash + 1);
}

}  // namespace

size_t FormatTraceLine(const TraceLineFields& fields, char* pszOut, size_t cchOut) noexcept
{
    // The fields are bounded so that the result, CR LF included, always
    // fits in kTraceLineCapacity; a smaller buffer cuts the line but
    // keeps its end.
    static_assert(4 * kTraceFieldBytes + 160 < kTraceLineCapacity, "a full line fits its capacity");
    if (cchOut < 3)
    {
        if (cchOut > 0)
            pszOut[0] = '\0';
        return 0;
    }
    CLineWriter line(pszOut, cchOut - 2);
    const TraceTime& t = fields.time;
    line.Format("%04u-%02u-%02u %02u:%02u:%02u.%03uZ ", unsigned(t.nYear), unsigned(t.nMonth), unsigned(t.nDay),
                unsigned(t.nHour), unsigned(t.nMinute), unsigned(t.nSecond), unsigned(t.nMilliseconds));
    const std::u16string_view strImage = FileNameOf(fields.strImage);
    if (strImage.empty())
        line.Raw("?");
    else
        line.Text(strImage);
    line.Format(" pid=%lu tid=%lu ", static_cast<unsigned long>(fields.nProcessId),
                static_cast<unsigned long>(fields.nThreadId));
    line.Text(fields.strObject);
    line.Raw("::");
    line.Text(fields.strMethod);
    if (fields.nOkToBeSlow >= 0)
        line.Format(" slow=%d", fields.nOkToBeSlow != 0 ? 1 : 0);
    if (fields.bSite)
    {
        line.Raw(" site=");
        if (fields.strSite.empty())
            line.Raw("?");
        else
            line.Text(fields.strSite);
    }
    if (fields.nItems >= 0)
        line.Format(" items=%lld", static_cast<long long>(fields.nItems));
    line.Format(" hr=0x%08lX", static_cast<unsigned long>(fields.nResult));
    size_t n = line.Length();
    pszOut[n++] = '\r';
    pszOut[n++] = '\n';
    pszOut[n] = '\0';
    return n;
}
