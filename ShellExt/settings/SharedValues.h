// Process-wide values that objects on several apartment threads read and
// rewrite. Each value can only be reached through a copy taken under one
// reader/writer lock, so no thread ever sees a value half rewritten. The lock
// is never held while calling the shell or starting a program: callers get a
// private copy and work on that.
#pragma once

#include <windows.h>

#include <string>

#include "ShellExt/core/BoundedText.h"

// The one lock behind every shared value of the process.
SRWLOCK* SharedValuesLock() noexcept;

class CSharedReadGuard
{
public:
    CSharedReadGuard() noexcept { ::AcquireSRWLockShared(SharedValuesLock()); }
    ~CSharedReadGuard() { ::ReleaseSRWLockShared(SharedValuesLock()); }
    CSharedReadGuard(const CSharedReadGuard&) = delete;
    CSharedReadGuard& operator=(const CSharedReadGuard&) = delete;
};

class CSharedWriteGuard
{
public:
    CSharedWriteGuard() noexcept { ::AcquireSRWLockExclusive(SharedValuesLock()); }
    ~CSharedWriteGuard() { ::ReleaseSRWLockExclusive(SharedValuesLock()); }
    CSharedWriteGuard(const CSharedWriteGuard&) = delete;
    CSharedWriteGuard& operator=(const CSharedWriteGuard&) = delete;
};

// A fixed text buffer of N characters, terminator included.
template <size_t N>
class CSharedBuffer
{
public:
    static constexpr size_t kCapacity = N;

    void Store(const wchar_t* pszValue) noexcept
    {
        CSharedWriteGuard guard;
        CopyBounded(m_sz, N, pszValue);
    }

    void Clear() noexcept { Store(L""); }

    void CopyTo(wchar_t (&szOut)[N]) const noexcept
    {
        CSharedReadGuard guard;
        CopyBounded(szOut, N, m_sz);
    }

    bool IsEmpty() const noexcept
    {
        CSharedReadGuard guard;
        return m_sz[0] == L'\0';
    }

private:
    wchar_t m_sz[N] = {};
};

// A growable text value. Store and Copy may throw std::bad_alloc; callers
// inside COM methods catch it at their boundary.
class CSharedString
{
public:
    void Store(std::wstring strValue)
    {
        CSharedWriteGuard guard;
        m_str.swap(strValue);
    }

    std::wstring Copy() const
    {
        CSharedReadGuard guard;
        return m_str;
    }

private:
    std::wstring m_str;
};
