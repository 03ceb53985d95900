// Helpers for driving the built DLL as a COM host does: loading it and
// calling its exports, running regsvr32 on it, and reading back what
// registration left in the registry.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

#include "ShellExt/module/Guids.h"
#include "tools/common/ServerExports.h"

namespace testing_support {

// The built DLL (ORVANE_DLL) as Wine sees its path.
std::wstring ServerDllPath();

// The five exports of one loaded copy of the DLL. The copy is unloaded at the
// end only when it says it may be: a host never frees a DLL that is still in
// use (a pending hand-off timer would call into freed code).
class CServerDll : public CServerExports
{
public:
    explicit CServerDll(const std::wstring& strPath = ServerDllPath());
    ~CServerDll();
    CServerDll(const CServerDll&) = delete;
    CServerDll& operator=(const CServerDll&) = delete;

    bool IsLoaded() const { return m_hModule != nullptr; }
    HMODULE Module() const { return m_hModule; }

    // The class factory of CSimpleShlExt, or null.
    IClassFactory* GetFactory() const;

private:
    HMODULE m_hModule = nullptr;
};

// Runs "regsvr32 /s <options> <dll>" and returns its exit code (0: success).
DWORD RunRegsvr32(const std::wstring& strOptions, const std::wstring& strDll = ServerDllPath());

// Where registration writes its classes: HKEY_LOCAL_MACHINE (machine-wide,
// what HKEY_CLASSES_ROOT shows) or HKEY_CURRENT_USER (per user), each under
// "Software\Classes\".
bool ClassesKeyExists(HKEY hHive, const std::wstring& strKey);
bool ReadClassesString(HKEY hHive, const std::wstring& strKey, const wchar_t* pszValue, std::wstring& strData);
void WriteClassesString(HKEY hHive, const std::wstring& strKey, const wchar_t* pszValue, const std::wstring& strData);
void CreateClassesKey(HKEY hHive, const std::wstring& strKey, bool bVolatile = false);
void DeleteClassesTree(HKEY hHive, const std::wstring& strKey);

// Removes everything that registering the DLL may have written, in both hives.
void RemoveServerRegistrations();

std::wstring GuidText(REFGUID guid);

// "win64" or "win32": the type-library registration key of this build.
const wchar_t* SysKindName();

}  // namespace testing_support
