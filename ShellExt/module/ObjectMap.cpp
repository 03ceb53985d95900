#include <new>

#include "ShellExt/contextmenu/SimpleShlExt.h"

HRESULT CreateSimpleShlExt(IUnknown* pOuter, REFIID riid, void** ppv) noexcept
{
    if (pOuter != nullptr)
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        return CLASS_E_NOAGGREGATION;
    }
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;

    auto* pObject = new (std::nothrow) CComObject<CSimpleShlExt>();
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    if (hr != S_OK)
        delete pObject;
    return hr;
}
