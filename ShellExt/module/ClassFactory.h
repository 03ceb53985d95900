// The class object that hosts receive from DllGetClassObject: one per class,
// made on the first request and cached by the object map until the DLL is
// unloaded. Any thread may reach it, so its count is interlocked.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "ShellExt/module/ComObject.h"
#include "ShellExt/module/ObjectMap.h"

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel>
{
public:
    CComClassFactory() noexcept = default;
    // After the IClassFactory slots, so the vtable starts as IClassFactory's.
    virtual ~CComClassFactory();

    CComClassFactory(const CComClassFactory&) = delete;
    CComClassFactory& operator=(const CComClassFactory&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    STDMETHOD(CreateInstance)(IUnknown* pOuter, REFIID riid, void** ppv) override;
    STDMETHOD(LockServer)(BOOL fLock) override;

    void SetInstanceCreator(PfnCreateInstance pfnCreateInstance) noexcept { m_pfnCreateInstance = pfnCreateInstance; }
    // HRESULT of the system error when the lock cannot be made.
    HRESULT InitializeLock() noexcept;

private:
    CRITICAL_SECTION m_csLock{};
    bool m_bLockReady = false;
    PfnCreateInstance m_pfnCreateInstance = nullptr;
};

// The cached wrapper. The cache's own reference never counts as a module
// lock: the module is locked once while any other reference is outstanding,
// that is while the count is 2 or more.
template <class Base>
class CComObjectCached : public Base
{
public:
    CComObjectCached() noexcept = default;
    ~CComObjectCached() override { this->m_dwRef = kDestroyedRefCount; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        HRESULT hr = InternalQueryInterface(static_cast<Base*>(this), Base::GetInterfaceMap(), riid, ppv);
        if (SUCCEEDED(hr))
            AddRef();
        return hr;
    }

    STDMETHOD_(ULONG, AddRef)() override
    {
        LONG nCount = this->InternalAddRef();
        if (nCount == 2)
            g_pModule->AddModuleLock();
        return static_cast<ULONG>(nCount);
    }

    STDMETHOD_(ULONG, Release)() override
    {
        LONG nCount = this->InternalRelease();
        if (nCount == 0)
            delete this;
        else if (nCount == 1)
            g_pModule->ReleaseModuleLock();
        return static_cast<ULONG>(nCount);
    }
};

// The object map's class-object creator: a new cached class factory that
// hands out instances through pfnCreateInstance, asked for riid. For
// IID_IUnknown the one reference it returns is the cache's.
HRESULT CreateCachedClassFactory(PfnCreateInstance pfnCreateInstance, REFIID riid, void** ppv) noexcept;
