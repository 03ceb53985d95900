// Owners for what passes through COM between the shell and the command:
// interface pointers and task-memory strings, one release policy each (used
// with std::unique_ptr), and the copy of a text that the caller frees.
#pragma once

#include <objbase.h>
#include <shlwapi.h>

#include <memory>
#include <string>

#include "ShellExt/core/ComOwner.h"

struct CTaskMemFreer
{
    void operator()(void* pMemory) const noexcept { ::CoTaskMemFree(pMemory); }
};

using CTaskMemString = std::unique_ptr<wchar_t, CTaskMemFreer>;

// A task-memory copy of pszText (an empty text included) for the caller to
// free; E_NOTIMPL and a null pointer for none, which the shell reads as
// "no such thing".
inline HRESULT HandOutText(const wchar_t* pszText, LPWSTR* ppsz) noexcept
{
    if (ppsz == nullptr)
        return E_POINTER;
    *ppsz = nullptr;
    if (pszText == nullptr)
        return E_NOTIMPL;
    return ::SHStrDupW(pszText, ppsz);
}

// The same for a text that is none when empty (an icon location).
inline HRESULT HandOutText(const std::wstring& strText, LPWSTR* ppsz) noexcept
{
    return HandOutText(strText.empty() ? nullptr : strText.c_str(), ppsz);
}
