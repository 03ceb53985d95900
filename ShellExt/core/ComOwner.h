// An owner for a COM interface pointer: released once, on every path.
#pragma once

#include <objbase.h>

#include <memory>

struct CComReleaser
{
    void operator()(IUnknown* pUnknown) const noexcept { pUnknown->Release(); }
};

template <class T>
using CComOwner = std::unique_ptr<T, CComReleaser>;
