// One line of the shell extension's diagnostic trace, formatted without any
// Windows dependency. Users attach the trace to public bug reports, so a line
// holds only what the fields below name: never a selected item's name or
// path, and of the host process only its image's file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Room for one line, terminator included. Every text field is cut to a
// bound of its own first, so the result always fits.
constexpr size_t kTraceLineCapacity = 640;

// Bytes of a text field (image name, object, method, site window class) at
// most, after the conversion to UTF-8.
constexpr size_t kTraceFieldBytes = 96;

struct TraceTime
{
    uint16_t nYear, nMonth, nDay, nHour, nMinute, nSecond, nMilliseconds;  // UTC
};

struct TraceLineFields
{
    TraceTime time = {};
    std::u16string_view strImage;  // the host's image file name; cut at its last '\' or '/'
    uint32_t nProcessId = 0;
    uint32_t nThreadId = 0;
    std::string_view strObject;
    std::string_view strMethod;
    int nOkToBeSlow = -1;           // -1: the method has no such parameter
    bool bSite = false;             // whether the call reports what its object's site answered
    std::u16string_view strSite;    // that answer: a word or a window class; empty: unknown
    int64_t nItems = -1;            // -1: the call carries no selection
    uint32_t nResult = 0;           // the HRESULT handed back
};

// Writes "<time> <image> pid=<n> tid=<n> <object>::<method> [slow=<0|1>]
// [site=<strSite, or ? when empty>] [items=<n>] hr=0x<8 hex>" and CR LF into
// pszOut, always terminated, and returns its length in bytes. Control
// characters and spaces inside a field become '_', so that one call stays one
// line of space-separated fields.
size_t FormatTraceLine(const TraceLineFields& fields, char* pszOut, size_t cchOut) noexcept;
