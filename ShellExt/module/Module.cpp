#include "ShellExt/module/Module.h"

#include <cstring>

#include "ShellExt/core/Handles.h"
#include "ShellExt/module/Guids.h"

// The image this code is linked into: the DLL, or a test program that links
// the same code.
extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE g_hInstance = nullptr;
bool g_bModuleInitFailed = false;
CSimpleExtModule* g_pModule = nullptr;

namespace {

HINSTANCE OwnImage() noexcept
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

// The slot is written once under the object-map lock but read without it,
// so both sides use interlocked access.
void* ReadSlot(void* const& pSlot) noexcept
{
    return ::InterlockedCompareExchangePointer(const_cast<void**>(&pSlot), nullptr, nullptr);
}

}  // namespace

bool InitializeModuleLock(CRITICAL_SECTION& cs) noexcept
{
    // A FALSE result is a failure even when the system left no error code:
    // the section would be unusable either way.
    if (::InitializeCriticalSectionEx(&cs, 0, 0))
        return true;
    g_bModuleInitFailed = true;
    return false;
}

CAtlBaseModule::CAtlBaseModule() noexcept
    : m_hInst(OwnImage()), m_hInstResource(OwnImage()), m_csResource{}, m_bLockReady(false)
{
    m_bLockReady = InitializeModuleLock(m_csResource);
    if (!m_bLockReady && ::IsDebuggerPresent())
        ::OutputDebugStringW(L"ERROR : Unable to initialize critical section in CAtlBaseModule\n");
}

CAtlBaseModule::~CAtlBaseModule()
{
    if (m_bLockReady)
        ::DeleteCriticalSection(&m_csResource);
    m_vecResourceInstances.clear();
    m_vecResourceInstances.shrink_to_fit();
}

CObjectMapModule::CObjectMapModule() noexcept
    : m_nInitialized(0), m_hInstTypeLib(OwnImage()), m_ppEntriesBegin(g_rgObjectMap),
      m_ppEntriesEnd(g_rgObjectMap + g_nObjectMapEntries), m_csObjectMap{}
{
    if (InitializeModuleLock(m_csObjectMap))
        m_nInitialized = 1;
}

CObjectMapModule::~CObjectMapModule()
{
    if (m_nInitialized == 0)
        return;
    for (ObjectMapEntry* const* ppEntry = m_ppEntriesBegin; ppEntry != m_ppEntriesEnd; ++ppEntry)
    {
        ObjectMapEntry* pEntry = *ppEntry;
        if (pEntry == nullptr || pEntry->pCachedClassObject == nullptr)
            continue;
        auto* pClassObject = static_cast<IUnknown*>(::DecodePointer(pEntry->pCachedClassObject));
        pClassObject->Release();
        pEntry->pCachedClassObject = nullptr;
    }
    ::DeleteCriticalSection(&m_csObjectMap);
    m_nInitialized = 0;
}

HRESULT CObjectMapModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (m_nInitialized == 0)
        return E_UNEXPECTED;

    for (ObjectMapEntry* const* ppEntry = m_ppEntriesBegin; ppEntry != m_ppEntriesEnd; ++ppEntry)
    {
        ObjectMapEntry* pEntry = *ppEntry;
        if (pEntry == nullptr || pEntry->pfnCreateClassObject == nullptr ||
            std::memcmp(pEntry->pclsid, &rclsid, sizeof(CLSID)) != 0)
            continue;

        HRESULT hr = S_OK;
        if (ReadSlot(pEntry->pCachedClassObject) == nullptr)
        {
            // Two threads may ask at once: the second look inside the lock
            // makes sure only one class object is ever cached.
            ::EnterCriticalSection(&m_csObjectMap);
            if (pEntry->pCachedClassObject == nullptr)
            {
                IUnknown* pUnknown = nullptr;
                hr = pEntry->pfnCreateClassObject(pEntry->pfnCreateInstance, IID_IUnknown,
                                                  reinterpret_cast<void**>(&pUnknown));
                if (SUCCEEDED(hr))
                    ::InterlockedExchangePointer(&pEntry->pCachedClassObject, ::EncodePointer(pUnknown));
            }
            ::LeaveCriticalSection(&m_csObjectMap);
        }
        void* pEncoded = ReadSlot(pEntry->pCachedClassObject);
        if (pEncoded == nullptr)
            return hr;
        // A refused riid leaves the class object cached for the next request.
        return static_cast<IUnknown*>(::DecodePointer(pEncoded))->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CObjectMapModule::UpdateClassesRegistry(bool bRegister) noexcept
{
    // A class's component categories would be added after its script and
    // removed before it; the classes here declare none.
    for (ObjectMapEntry* const* ppEntry = m_ppEntriesBegin; ppEntry != m_ppEntriesEnd; ++ppEntry)
    {
        if (*ppEntry == nullptr)
            continue;
        HRESULT hr = (*ppEntry)->pfnUpdateRegistry(bRegister);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

void CObjectMapModule::NotifyModuleEvent(bool bLoaded) noexcept
{
    for (ObjectMapEntry* const* ppEntry = m_ppEntriesBegin; ppEntry != m_ppEntriesEnd; ++ppEntry)
    {
        if (*ppEntry != nullptr && (*ppEntry)->pfnOnModuleEvent != nullptr)
            (*ppEntry)->pfnOnModuleEvent(bLoaded);
    }
}

CAtlModule::CAtlModule() noexcept : _ATL_MODULE70{}
{
    if (InitializeModuleLock(m_csModule))
        m_nInitialized = 1;
}

CAtlModule::~CAtlModule()
{
    if (m_nInitialized != 0)
    {
        ::DeleteCriticalSection(&m_csModule);
        m_nInitialized = 0;
    }
}

LONG CAtlModule::AddModuleLock() noexcept
{
    return ::InterlockedIncrement(&m_nLockCount);
}

LONG CAtlModule::ReleaseModuleLock() noexcept
{
    return ::InterlockedDecrement(&m_nLockCount);
}

LONG CAtlModule::GetModuleLockCount() noexcept
{
    return m_nLockCount;
}

namespace {

// Each thread's count of module locks it holds for itself. Without an index
// (the process ran out of them) the locks are only counted process-wide, and
// a lock is given back only by its own callback.
CTlsIndex s_threadLockCounts(::TlsAlloc());

UINT_PTR ThreadLockCount() noexcept
{
    return reinterpret_cast<UINT_PTR>(::TlsGetValue(s_threadLockCounts.Get()));
}

void SetThreadLockCount(UINT_PTR nCount) noexcept
{
    ::TlsSetValue(s_threadLockCounts.Get(), reinterpret_cast<void*>(nCount));
}

}  // namespace

void AddThreadModuleLock() noexcept
{
    g_pModule->AddModuleLock();
    if (s_threadLockCounts)
        SetThreadLockCount(ThreadLockCount() + 1);
}

void ReleaseThreadModuleLock() noexcept
{
    if (s_threadLockCounts)
    {
        const UINT_PTR nCount = ThreadLockCount();
        if (nCount == 0)
            return;
        SetThreadLockCount(nCount - 1);
    }
    g_pModule->ReleaseModuleLock();
}

void ReleaseEndingThreadModuleLocks() noexcept
{
    if (!s_threadLockCounts || g_pModule == nullptr)
        return;
    for (UINT_PTR nCount = ThreadLockCount(); nCount > 0; --nCount)
        g_pModule->ReleaseModuleLock();
    SetThreadLockCount(0);
}

CSimpleExtModule::CSimpleExtModule() noexcept
{
    g_pModule = this;
    g_AtlObjectMapModule.NotifyModuleEvent(true);
}

CSimpleExtModule::~CSimpleExtModule()
{
    g_AtlObjectMapModule.NotifyModuleEvent(false);
}

const char16_t* CSimpleExtModule::GetAppIdText() noexcept
{
    return reinterpret_cast<const char16_t*>(ORVANE_APPID_TEXT);
}

// Defined together, so that they are built in this order and destroyed in
// the reverse order.
CAtlBaseModule g_AtlBaseModule;
CObjectMapModule g_AtlObjectMapModule;
static CSimpleExtModule s_module;
