#include "ShellExt/module/ComObject.h"

HRESULT InternalQueryInterface(void* pThis, const InterfaceMapEntry* pEntries, REFIID riid, void** ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;

    BYTE* pObject = static_cast<BYTE*>(pThis);
    if (::IsEqualIID(riid, IID_IUnknown))
    {
        *ppv = pObject + pEntries[0].dwOffset;
        return S_OK;
    }
    for (const InterfaceMapEntry* pEntry = pEntries; pEntry->kind != InterfaceEntryKind::End; ++pEntry)
    {
        if (::IsEqualIID(riid, *pEntry->piid))
        {
            *ppv = pObject + pEntry->dwOffset;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}
