// The module object: the DLL's lock count and the operations that every
// object and registration step reach through g_pModule.
#pragma once

#include <windows.h>

class CSimpleExtModule
{
public:
    CSimpleExtModule() noexcept;
    virtual ~CSimpleExtModule();

    CSimpleExtModule(const CSimpleExtModule&) = delete;
    CSimpleExtModule& operator=(const CSimpleExtModule&) = delete;

    virtual LONG AddModuleLock() noexcept;
    virtual LONG ReleaseModuleLock() noexcept;
    virtual LONG GetModuleLockCount() noexcept;

private:
    LONG m_nLockCount = 0;
};

extern CSimpleExtModule* g_pModule;

// The instance handle last passed to the DLL entry point; icon and script
// resources are loaded through it.
extern HINSTANCE g_hInstance;
