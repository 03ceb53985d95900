// The small class-template set behind this server's COM objects: reference
// counting with a choice of thread model, a table-driven QueryInterface, and
// the creatable wrapper that ties each live object to the module lock count.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdlib>
#include <new>

#include "ShellExt/module/Module.h"

// Plain arithmetic for objects that live in one apartment.
class CComSingleThreadModel
{
public:
    static LONG Increment(LONG* p) noexcept { return ++(*p); }
    static LONG Decrement(LONG* p) noexcept { return --(*p); }
};

// Interlocked arithmetic for objects any thread may reach.
class CComMultiThreadModel
{
public:
    static LONG Increment(LONG* p) noexcept { return ::InterlockedIncrement(p); }
    static LONG Decrement(LONG* p) noexcept { return ::InterlockedDecrement(p); }
};

// One entry of an interface table: the IID and where its interface pointer
// sits inside the object. A null kind ends the table.
enum class InterfaceEntryKind : int { End = 0, Offset = 1 };

struct InterfaceMapEntry
{
    const IID* piid;
    DWORD_PTR dwOffset;
    InterfaceEntryKind kind;
};

// Offset of base class Base within Derived, computed without an object.
template <class Base, class Derived>
DWORD_PTR OffsetOfBase() noexcept
{
    // Any non-null address works; 8 keeps the arithmetic clear of null.
    constexpr DWORD_PTR kProbe = 8;
    return reinterpret_cast<DWORD_PTR>(static_cast<Base*>(reinterpret_cast<Derived*>(kProbe))) - kProbe;
}

// The table walk shared by every object here. IID_IUnknown answers the first
// entry, so all interface pointers of one object share one identity.
HRESULT InternalQueryInterface(void* pThis, const InterfaceMapEntry* pEntries, REFIID riid, void** ppv) noexcept;

// A special value the destructors store in the count, so that a reference
// taken and dropped while the object is being torn down cannot reach zero
// again and destroy it twice.
constexpr LONG kDestroyedRefCount = -(LONG_MAX / 2);

template <class ThreadModel>
class CComObjectRootEx
{
public:
    LONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
    LONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }

    // Objects come from the C runtime's heap directly. The runtime's nothrow
    // new throws and catches internally, and the first exception thrown in a
    // loaded copy of the DLL sets up state that is never given back when the
    // copy is unloaded; running out of memory here is a plain null instead.
    static void* operator new(size_t cb, const std::nothrow_t&) noexcept { return std::malloc(cb); }
    static void* operator new(size_t cb)
    {
        if (void* p = std::malloc(cb))
            return p;
        throw std::bad_alloc();
    }
    static void operator delete(void* p) noexcept { std::free(p); }
    static void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

protected:
    LONG m_dwRef = 0;
};

template <class T, const CLSID* pclsid>
class CComCoClass
{
public:
    static const CLSID& GetObjectCLSID() noexcept { return *pclsid; }
};

// The object handed to hosts. Each live wrapper holds one module lock, so the
// DLL is not unloaded while any of them exists. Base supplies
// `static const InterfaceMapEntry* GetInterfaceMap()` and the counter.
template <class Base>
class CComObject : public Base
{
public:
    CComObject() { g_pModule->AddModuleLock(); }

    virtual ~CComObject()
    {
        this->m_dwRef = kDestroyedRefCount;
        g_pModule->ReleaseModuleLock();
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        HRESULT hr = InternalQueryInterface(static_cast<Base*>(this), Base::GetInterfaceMap(), riid, ppv);
        if (SUCCEEDED(hr))
            AddRef();
        return hr;
    }

    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(this->InternalAddRef()); }

    STDMETHOD_(ULONG, Release)() override
    {
        LONG nCount = this->InternalRelease();
        if (nCount == 0)
        {
            // Hold the module across the destructor: the last object going
            // away must not let the host unload the code it is running.
            g_pModule->AddModuleLock();
            delete this;
            g_pModule->ReleaseModuleLock();
        }
        return static_cast<ULONG>(nCount);
    }
};

// The object map's instance creator for class T: a new CComObject<T> asked
// for riid. The classes of this module cannot be aggregated.
template <class T>
HRESULT CreateComObject(IUnknown* pOuter, REFIID riid, void** ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    auto* pObject = new (std::nothrow) CComObject<T>();
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    if (hr != S_OK)
        delete pObject;
    return hr;
}
