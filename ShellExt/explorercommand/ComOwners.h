// Owners for what the shell hands out through COM: interface pointers and
// task-memory strings. One release policy each; used with std::unique_ptr.
#pragma once

#include <objbase.h>

#include <memory>

struct CComReleaser
{
    void operator()(IUnknown* pUnknown) const noexcept { pUnknown->Release(); }
};

struct CTaskMemFreer
{
    void operator()(void* pMemory) const noexcept { ::CoTaskMemFree(pMemory); }
};

template <class T>
using CComOwner = std::unique_ptr<T, CComReleaser>;
using CTaskMemString = std::unique_ptr<wchar_t, CTaskMemFreer>;
