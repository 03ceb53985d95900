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

// Takes the interface a call handed out through *ppRaw, when the call
// succeeded and gave one; empty otherwise. Read after the call:
//   IShellView* pRaw = nullptr;
//   CComOwner<IShellView> view = Adopt(browser->QueryActiveShellView(&pRaw), &pRaw);
template <class T>
CComOwner<T> Adopt(HRESULT hr, T** ppRaw) noexcept
{
    T* pRaw = *ppRaw;
    *ppRaw = nullptr;
    if (FAILED(hr) || pRaw == nullptr)
    {
        if (pRaw != nullptr)
            pRaw->Release();
        return nullptr;
    }
    return CComOwner<T>(pRaw);
}

// pUnknown's interface riid, as a T; empty when it has none.
template <class T>
CComOwner<T> QueryAs(IUnknown* pUnknown, REFIID riid) noexcept
{
    T* pRaw = nullptr;
    return Adopt(pUnknown->QueryInterface(riid, reinterpret_cast<void**>(&pRaw)), &pRaw);
}
