// The three process-wide module objects of the DLL, built in this order when
// the DLL is loaded and torn down in reverse when it is unloaded:
//   CAtlBaseModule    the module's own instance handle (resources, file name);
//   CObjectMapModule  the object map, the class-object cache and its lock;
//   CSimpleExtModule  the lock count that decides whether the DLL may unload,
//                     reached everywhere through g_pModule.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "ShellExt/module/ObjectMap.h"

// The instance handle last passed to the DLL entry point; icon and script
// resources are loaded through it.
extern HINSTANCE g_hInstance;

// Set when a module object could not initialise its lock; the DLL then
// refuses to load.
extern bool g_bModuleInitFailed;

// InitializeCriticalSectionEx without spin count or flags. On failure the
// module is marked as failed and false is returned.
bool InitializeModuleLock(CRITICAL_SECTION& cs) noexcept;

class CAtlBaseModule
{
public:
    CAtlBaseModule() noexcept;
    ~CAtlBaseModule();

    CAtlBaseModule(const CAtlBaseModule&) = delete;
    CAtlBaseModule& operator=(const CAtlBaseModule&) = delete;

    // The DLL's own image (its file name is what registration writes).
    HINSTANCE GetModuleInstance() const noexcept { return m_hInst; }
    HINSTANCE GetResourceInstance() const noexcept { return m_hInstResource; }

private:
    HINSTANCE m_hInst;
    HINSTANCE m_hInstResource;
    CRITICAL_SECTION m_csResource;
    bool m_bLockReady;
    std::vector<HINSTANCE> m_vecResourceInstances;
};

class CObjectMapModule
{
public:
    CObjectMapModule() noexcept;
    ~CObjectMapModule();

    CObjectMapModule(const CObjectMapModule&) = delete;
    CObjectMapModule& operator=(const CObjectMapModule&) = delete;

    bool IsInitialized() const noexcept { return m_nInitialized != 0; }
    // The module whose file holds the type library.
    HINSTANCE GetTypeLibInstance() const noexcept { return m_hInstTypeLib; }

    // The class object of rclsid, created on the first request and cached
    // until the module is torn down; asked for riid.
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;

    // Runs every class's registry script through its entry, to register
    // (true) or unregister; the first failure ends the walk.
    HRESULT UpdateClassesRegistry(bool bRegister) noexcept;

    void NotifyModuleEvent(bool bLoaded) noexcept;

private:
    LONG m_nInitialized;
    HINSTANCE m_hInstTypeLib;
    ObjectMapEntry* const* m_ppEntriesBegin;
    ObjectMapEntry* const* m_ppEntriesEnd;
    CRITICAL_SECTION m_csObjectMap;
};

// The state shared by every DLL module: whether its lock is ready, the lock
// count, and a lock of its own.
struct _ATL_MODULE70
{
    LONG m_nInitialized;
    LONG m_nLockCount;
    CRITICAL_SECTION m_csModule;
};

class CAtlModule : public _ATL_MODULE70
{
public:
    CAtlModule() noexcept;
    virtual ~CAtlModule();

    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    // Interlocked; each returns the new count.
    virtual LONG AddModuleLock() noexcept;
    virtual LONG ReleaseModuleLock() noexcept;
    virtual LONG GetModuleLockCount() noexcept;
};

template <class T>
class CAtlDllModuleT : public CAtlModule
{
public:
    HRESULT DllCanUnloadNow() noexcept { return this->GetModuleLockCount() == 0 ? S_OK : S_FALSE; }
};

class CSimpleExtModule : public CAtlDllModuleT<CSimpleExtModule>
{
public:
    CSimpleExtModule() noexcept;
    ~CSimpleExtModule() override;

    // The module's AppID in registry form, which every registry script of
    // the module may name as %APPID%.
    static const char16_t* GetAppIdText() noexcept;
};

// Module locks that belong to the calling thread, held for work that the
// thread's own message loop runs later (a thread timer's callback). Such work
// dies with its thread, so what an ending thread still holds is given back.
void AddThreadModuleLock() noexcept;
// Gives back one of the calling thread's locks, unless it has none left.
void ReleaseThreadModuleLock() noexcept;
// For the DLL entry point when a thread ends, under the loader lock: only
// the bookkeeping of the ending thread's locks, nothing else.
void ReleaseEndingThreadModuleLocks() noexcept;

extern CAtlBaseModule g_AtlBaseModule;
extern CObjectMapModule g_AtlObjectMapModule;
extern CSimpleExtModule* g_pModule;
