#include "ShellExt/module/ClassFactory.h"

#include <new>

#include "ShellExt/core/LastError.h"

CComClassFactory::~CComClassFactory()
{
    if (m_bLockReady)
        ::DeleteCriticalSection(&m_csLock);
}

namespace {

// Filled while the DLL loads. As a function's static it would be filled on
// the first call, under a guard whose first use allocates inside the
// runtime, which does not survive running out of memory there.
const InterfaceMapEntry s_classFactoryInterfaces[] = {
    {&IID_IClassFactory, OffsetOfBase<IClassFactory, CComClassFactory>(), InterfaceEntryKind::Offset},
    {nullptr, 0, InterfaceEntryKind::End},
};

}  // namespace

const InterfaceMapEntry* CComClassFactory::GetInterfaceMap() noexcept
{
    return s_classFactoryInterfaces;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregating outer object may only ask for the inner IUnknown.
    if (pOuter != nullptr && !::IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return m_pfnCreateInstance(pOuter, riid, ppv);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL fLock)
{
    if (fLock)
        g_pModule->AddModuleLock();
    else
        g_pModule->ReleaseModuleLock();
    return S_OK;
}

HRESULT CComClassFactory::InitializeLock() noexcept
{
    if (!::InitializeCriticalSectionEx(&m_csLock, 0, 0))
        return LastErrorHr();
    m_bLockReady = true;
    return S_OK;
}

HRESULT CreateCachedClassFactory(PfnCreateInstance pfnCreateInstance, REFIID riid, void** ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;

    auto* pFactory = new (std::nothrow) CComObjectCached<CComClassFactory>();
    if (pFactory == nullptr)
        return E_OUTOFMEMORY;
    pFactory->SetInstanceCreator(pfnCreateInstance);
    HRESULT hr = pFactory->InitializeLock();
    if (FAILED(hr))
    {
        delete pFactory;
        return hr;
    }
    hr = pFactory->QueryInterface(riid, ppv);
    if (hr != S_OK)
    {
        // Nothing else holds it: nobody would ever release it.
        *ppv = nullptr;
        delete pFactory;
    }
    return hr;
}
