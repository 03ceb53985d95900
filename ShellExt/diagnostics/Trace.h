// The diagnostic trace of both front ends, for the first real machines.
//
// With HKCU\Software\Kelvoss\Orvane\ShellExt, DWORD Trace=1 (settings/
// Switches.h), every COM call of the classic handler and of the Windows 11
// command appends one line (TraceLine.h) to
// %LOCALAPPDATA%\Kelvoss\Orvane\shellext-trace.log. The file grows to 1 MB,
// then becomes shellext-trace.log.1 (replacing the one before) and a new one
// starts. Lines carry the number of selected items, never their names.
//
// A trace must never change what the host sees: a file that cannot be made
// or written is passed over silently, and the thread's last error is left as
// the call left it. An object whose trace is off does no file work at all.
#pragma once

#include <windows.h>

#include <string_view>

#include "ShellExt/diagnostics/TraceLine.h"

constexpr ULONGLONG kTraceFileMaxBytes = 1024 * 1024;

// What a call reports beyond its object, method and result.
struct TraceDetails
{
    int nOkToBeSlow = -1;                         // -1: no such parameter
    bool bSite = false;                           // the object's site was asked for its window
    std::u16string_view strSite;                  // what it answered (menu/CommandPlacement.h)
    long long nItems = -1;                        // -1: no selection in the call
};

// Appends one line; every failure is swallowed.
void AppendTraceLine(const char* pszObject, const char* pszMethod, const TraceDetails& details, HRESULT hr) noexcept;

// The trace of one object: on or off for the object's life, as the switch
// was when the object was made.
class CCallTrace
{
public:
    CCallTrace(const char* pszObject, bool bOn) noexcept : m_pszObject(pszObject), m_bOn(bOn) {}

    bool IsOn() const noexcept { return m_bOn; }

    // Runs the method's body (which must not throw: bodies that can run
    // their work through GuardComMethod) and records its result. details is
    // read after the body has run, so the body may fill it.
    template <class Body>
    HRESULT Call(const char* pszMethod, const TraceDetails& details, Body body) const noexcept
    {
        const HRESULT hr = body();
        if (m_bOn)
            AppendTraceLine(m_pszObject, pszMethod, details, hr);
        return hr;
    }

    template <class Body>
    HRESULT Call(const char* pszMethod, Body body) const noexcept
    {
        return Call(pszMethod, TraceDetails(), body);
    }

private:
    const char* m_pszObject;
    bool m_bOn;
};
