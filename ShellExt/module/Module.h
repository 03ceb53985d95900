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
#include "ShellExt/registration/RegScript.h"

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

    // Runs every class's registry script (and its categories, of which this
    // module's class has none); the first failure ends the walk.
    HRESULT RegisterClasses() noexcept;
    HRESULT UnregisterClasses() noexcept;

    void NotifyModuleEvent(bool bLoaded) noexcept;

private:
    LONG m_nInitialized;
    HINSTANCE m_hInstTypeLib;
    ObjectMapEntry* const* m_ppEntriesBegin;
    ObjectMapEntry* const* m_ppEntriesEnd;
    CRITICAL_SECTION m_csObjectMap;
};

// One extra substitution for a registry script (name and value as in "%name%").
struct RegistrySubstitution
{
    const wchar_t* pszName;
    const wchar_t* pszValue;
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

    // Adds the substitutions every registry script of this module may use.
    virtual HRESULT AddStandardSubstitutions(IRegistrarBase* pRegistrar) noexcept = 0;

    // Registers or unregisters with the "REGISTRY" resource nResourceId of
    // this DLL. The extra substitutions come first and win over the standard
    // ones; entries without a value are skipped. Defined with the
    // registration code (ShellExt/registration/Registration.cpp).
    HRESULT RunRegistryScript(UINT nResourceId, bool bRegister, const RegistrySubstitution* pExtra = nullptr,
                              size_t nExtra = 0) noexcept;
};

template <class T>
class CAtlModuleT : public CAtlModule
{
public:
    // APPID: the module's AppID in registry form.
    HRESULT AddStandardSubstitutions(IRegistrarBase* pRegistrar) noexcept override
    {
        return pRegistrar->AddSubstitution(u"APPID", T::GetAppIdText());
    }
};

template <class T>
class CAtlDllModuleT : public CAtlModuleT<T>
{
public:
    HRESULT DllCanUnloadNow() noexcept { return this->GetModuleLockCount() == 0 ? S_OK : S_FALSE; }
};

class CSimpleExtModule : public CAtlDllModuleT<CSimpleExtModule>
{
public:
    CSimpleExtModule() noexcept;
    ~CSimpleExtModule() override;

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
