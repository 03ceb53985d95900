#include "ShellExt/module/Module.h"

CSimpleExtModule* g_pModule = nullptr;
HINSTANCE g_hInstance = nullptr;

CSimpleExtModule::CSimpleExtModule() noexcept
{
    g_pModule = this;
}

CSimpleExtModule::~CSimpleExtModule() = default;

LONG CSimpleExtModule::AddModuleLock() noexcept
{
    return ::InterlockedIncrement(&m_nLockCount);
}

LONG CSimpleExtModule::ReleaseModuleLock() noexcept
{
    return ::InterlockedDecrement(&m_nLockCount);
}

LONG CSimpleExtModule::GetModuleLockCount() noexcept
{
    return m_nLockCount;
}

static CSimpleExtModule s_module;
