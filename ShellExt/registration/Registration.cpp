#include "ShellExt/registration/Registration.h"

#include <olectl.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/LastError.h"
#include "ShellExt/module/Guids.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/registration/RegSnapshot.h"
#include "ShellExt/registration/ResourceScript.h"
#include "ShellExt/registration/TypeLibrary.h"
#include "ShellExt/registration/WinRegistryOps.h"
#include "ShellExt/resources/RegistrationIds.h"

bool g_bPerUserRegistration = false;

namespace {

// Room for a 259-character path with every character a doubled quote.
const size_t kEscapedPathBuffer = 2 * MAX_PATH;

const char16_t* AsChar16(const wchar_t* psz) noexcept
{
    return reinterpret_cast<const char16_t*>(psz);
}

// The path becomes the text of a quoted script token, in which a single
// quote is written twice.
void DoubleSingleQuotes(const wchar_t* pszPath, wchar_t (&szEscaped)[kEscapedPathBuffer]) noexcept
{
    size_t nOut = 0;
    for (const wchar_t* psz = pszPath; *psz != L'\0' && nOut + 2 < kEscapedPathBuffer; ++psz)
    {
        if (*psz == L'\'')
            szEscaped[nOut++] = L'\'';
        szEscaped[nOut++] = *psz;
    }
    szEscaped[nOut] = L'\0';
}

// The scripts are 8-bit text converted with the thread's ANSI code page:
// read them in the system default locale's, whatever the caller's thread
// uses, and give the caller its locale back on every path.
class CSystemThreadLocale
{
public:
    CSystemThreadLocale() noexcept : m_lcidSaved(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~CSystemThreadLocale() { ::SetThreadLocale(m_lcidSaved); }
    CSystemThreadLocale(const CSystemThreadLocale&) = delete;
    CSystemThreadLocale& operator=(const CSystemThreadLocale&) = delete;

private:
    LCID m_lcidSaved;
};

HRESULT RunModuleScript(bool bRegister) noexcept
{
    const RegistrySubstitution appId = {L"APPID", ORVANE_APPID_TEXT};
    return RunRegistryScript(IDR_MODULE_SCRIPT, bRegister, &appId, 1);
}

// Each sequence stops at its first failure and returns it.
HRESULT RegisterServer() noexcept
{
    CSystemThreadLocale locale;
    HRESULT hr = RunModuleScript(true);
    if (FAILED(hr))
        return hr;
    hr = g_AtlObjectMapModule.UpdateClassesRegistry(true);
    if (FAILED(hr))
        return hr;
    return RegisterModuleTypeLib(g_AtlObjectMapModule.GetTypeLibInstance(), g_bPerUserRegistration);
}

HRESULT UnregisterServer() noexcept
{
    CSystemThreadLocale locale;
    HRESULT hr = g_AtlObjectMapModule.UpdateClassesRegistry(false);
    if (FAILED(hr))
        return hr;
    hr = UnRegisterModuleTypeLib(g_AtlObjectMapModule.GetTypeLibInstance(), g_bPerUserRegistration);
    if (FAILED(hr))
        return hr;
    return RunModuleScript(false);
}

// The shell's entry for the classic handler, written by its registry script;
// the script's other keys are those of the classes in the type library.
const char16_t kContextMenuHandlerKey[] = u"*\\shellex\\ContextMenuHandlers\\Orvane";

// Where a registration can write its keys: the machine's classes and the
// user's, each in both registry views. The per-user mode writes the user's;
// a machine-wide one writes the user's too where a key of the same name is
// there already (HKEY_CLASSES_ROOT merges both), and a system without the
// per-user type-library functions registers the library machine-wide.
const RegRootKey kClassesRoots[] = {RegRootKey::LocalMachine, RegRootKey::CurrentUser};
const uint32_t kViews[] = {RegAccess::kView64, RegAccess::kView32};

HRESULT SaveRegistrationKeys(CRegistrySnapshot& snapshot) noexcept
{
    std::vector<std::u16string> vecKeys;
    HRESULT hr = ListModuleTypeLibKeys(g_AtlObjectMapModule.GetTypeLibInstance(), vecKeys);
    if (FAILED(hr))
        return hr;
    hr = CallNoThrow([&] {
        vecKeys.emplace_back(kContextMenuHandlerKey);
        for (std::u16string& strKey : vecKeys)
            strKey.insert(0, u"Software\\Classes\\");
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    hr = snapshot.Reserve(vecKeys.size() * std::size(kClassesRoots) * std::size(kViews));
    for (RegRootKey root : kClassesRoots)
        for (uint32_t nView : kViews)
            for (size_t i = 0; i < vecKeys.size() && SUCCEEDED(hr); ++i)
                hr = snapshot.Save(root, nView, vecKeys[i]);
    return hr;
}

// All or nothing: the keys a call can touch are saved first, and a call
// that fails half-way puts them back exactly as they were, whatever was
// there before (nothing, this server, or another version registered from
// elsewhere), so that Explorer never finds half a server and a failed
// upgrade keeps the previous one working. Nothing is written when the keys
// cannot be saved. A rollback that fails leaves the keys neither as they
// were nor as the call meant them: its own failure is the answer then, so
// that nobody takes the machine for restored.
HRESULT RunAllOrNothing(HRESULT (*pfnRun)()) noexcept
{
    CWinRegistryOps ops;
    CRegistrySnapshot snapshot(ops);
    HRESULT hr = SaveRegistrationKeys(snapshot);
    if (FAILED(hr))
        return hr;
    hr = pfnRun();
    if (FAILED(hr))
    {
        const HRESULT hrRestore = static_cast<HRESULT>(snapshot.Restore());
        if (FAILED(hrRestore))
            return hrRestore;
    }
    return hr;
}

HRESULT RegisterServerWhole() noexcept
{
    return RunAllOrNothing(RegisterServer);
}

HRESULT UnregisterServerWhole() noexcept
{
    return RunAllOrNothing(UnregisterServer);
}

}  // namespace

bool IsPerUserCommandLine(LPCWSTR pszCmdLine) noexcept
{
    // Five characters: the terminator takes part, so longer lines differ.
    return pszCmdLine != nullptr && _wcsnicmp(pszCmdLine, L"user", 5) == 0;
}

HRESULT RunRegistryScript(UINT nResourceId, bool bRegister, const RegistrySubstitution* pExtra, size_t nExtra) noexcept
{
    CWinRegistryOps ops;
    CRegObject registrar(ops);
    // The caller's entries come first, so they win over the standard ones.
    for (size_t i = 0; i < nExtra; ++i)
    {
        if (pExtra[i].pszValue != nullptr)
            registrar.AddSubstitution(AsChar16(pExtra[i].pszName), AsChar16(pExtra[i].pszValue));
    }
    HRESULT hr = registrar.AddSubstitution(u"APPID", CSimpleExtModule::GetAppIdText());
    if (FAILED(hr))
        return hr;

    // A longer path would be cut and name another file: refuse it loudly.
    wchar_t szModule[MAX_PATH];
    DWORD cchModule = ::GetModuleFileNameW(g_AtlBaseModule.GetModuleInstance(), szModule, MAX_PATH);
    if (cchModule == 0)
        return LastErrorHr();
    if (cchModule == MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    wchar_t szEscaped[kEscapedPathBuffer];
    DoubleSingleQuotes(szModule, szEscaped);
    if (FAILED(registrar.AddSubstitution(u"Module", AsChar16(szEscaped))) ||
        FAILED(registrar.AddSubstitution(u"Module_Raw", AsChar16(szEscaped))))
        return E_OUTOFMEMORY;

    return RunResourceScript(registrar, szModule, nResourceId, L"REGISTRY", bRegister, g_bPerUserRegistration);
}

STDAPI DllRegisterServer()
{
    return GuardExport(RegisterServerWhole);
}

STDAPI DllUnregisterServer()
{
    return GuardExport(UnregisterServerWhole);
}

// regsvr32 /n /i:user calls only this. Without /n, regsvr32 /i:user calls
// it after DllRegisterServer has registered machine-wide, and /u /i:user
// calls it before DllUnregisterServer; the per-user choice made here then
// holds for the rest of the process.
STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine)
{
    return GuardExport([&]() -> HRESULT {
        if (IsPerUserCommandLine(pszCmdLine))
            g_bPerUserRegistration = true;
        return bInstall ? RegisterServerWhole() : UnregisterServerWhole();
    });
}
