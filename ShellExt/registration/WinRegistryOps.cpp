#include "WinRegistryOps.h"

#include <windows.h>
#include <oleauto.h>

#include "ShellExt/core/SystemFunction.h"

#include <iterator>

// The platform-free side spells the Windows numbers out; they must agree.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is passed to the W functions as is");
static_assert(sizeof(RegKeyHandle) == sizeof(HKEY), "a key handle holds an HKEY");
static_assert(RegAccess::kRead == KEY_READ && RegAccess::kWrite == KEY_WRITE, "access masks");
static_assert(RegAccess::kView64 == KEY_WOW64_64KEY && RegAccess::kView32 == KEY_WOW64_32KEY, "registry views");
static_assert(RegAccess::kQueryValue == KEY_QUERY_VALUE && RegAccess::kSetValue == KEY_SET_VALUE &&
                  RegAccess::kCreateSubKey == KEY_CREATE_SUB_KEY &&
                  RegAccess::kEnumerateSubKeys == KEY_ENUMERATE_SUB_KEYS,
              "access rights");
static_assert(RegValueType::kString == REG_SZ && RegValueType::kBinary == REG_BINARY &&
                  RegValueType::kDword == REG_DWORD && RegValueType::kMultiString == REG_MULTI_SZ,
              "value types");
static_assert(RegError::kSuccess == ERROR_SUCCESS && RegError::kFileNotFound == ERROR_FILE_NOT_FOUND &&
                  RegError::kAccessDenied == ERROR_ACCESS_DENIED && RegError::kOutOfMemory == ERROR_OUTOFMEMORY &&
                  RegError::kMoreData == ERROR_MORE_DATA && RegError::kNoMoreItems == ERROR_NO_MORE_ITEMS &&
                  RegError::kKeyDeleted == ERROR_KEY_DELETED,
              "error codes");

namespace {

using PfnRegDeleteKeyExW = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

HKEY ToHkey(RegKeyHandle hKey)
{
    return reinterpret_cast<HKEY>(hKey);
}

RegKeyHandle FromHkey(HKEY hKey)
{
    return reinterpret_cast<RegKeyHandle>(hKey);
}

LPCWSTR ToWide(const char16_t* psz)
{
    return reinterpret_cast<LPCWSTR>(psz);
}

// RegDeleteKeyExW exists from Vista on (and on 64-bit XP); older systems only
// have RegDeleteKeyW. Looked up once per process; threads that race here all
// find the same address, and the function-local static makes the first
// lookup the one that is kept.
PfnRegDeleteKeyExW FindRegDeleteKeyExW()
{
    static const PfnRegDeleteKeyExW s_pfn = FindSystemFunction<PfnRegDeleteKeyExW>(L"Advapi32.dll", "RegDeleteKeyExW");
    return s_pfn;
}

} // namespace

RegKeyHandle CWinRegistryOps::GetRootKey(RegRootKey root) const
{
    // In the order of RegRootKey.
    static const HKEY s_rgRoots[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                                     HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA,     HKEY_CURRENT_CONFIG};
    const size_t nRoot = static_cast<size_t>(root);
    return nRoot < std::size(s_rgRoots) ? FromHkey(s_rgRoots[nRoot]) : kNullRegKey;
}

int32_t CWinRegistryOps::OpenKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess,
                                 RegKeyHandle* phKey)
{
    HKEY hKey = nullptr;
    const LONG nError = RegOpenKeyExW(ToHkey(hParent), ToWide(pszSubKey), 0, nAccess, &hKey);
    *phKey = (nError == ERROR_SUCCESS) ? FromHkey(hKey) : kNullRegKey;
    return nError;
}

int32_t CWinRegistryOps::CreateKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess,
                                   RegKeyHandle* phKey)
{
    HKEY hKey = nullptr;
    const LONG nError = RegCreateKeyExW(ToHkey(hParent), ToWide(pszSubKey), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        nAccess, nullptr, &hKey, nullptr);
    *phKey = (nError == ERROR_SUCCESS) ? FromHkey(hKey) : kNullRegKey;
    return nError;
}

int32_t CWinRegistryOps::CloseKey(RegKeyHandle hKey)
{
    return RegCloseKey(ToHkey(hKey));
}

int32_t CWinRegistryOps::SetValue(RegKeyHandle hKey, const char16_t* pszName, uint32_t nType, const uint8_t* pbData,
                                  uint32_t cbData)
{
    return RegSetValueExW(ToHkey(hKey), ToWide(pszName), 0, nType, pbData, cbData);
}

int32_t CWinRegistryOps::DeleteValue(RegKeyHandle hKey, const char16_t* pszName)
{
    return RegDeleteValueW(ToHkey(hKey), ToWide(pszName));
}

int32_t CWinRegistryOps::EnumSubKey(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName)
{
    DWORD cchName = *pcchName;
    const LONG nError = RegEnumKeyExW(ToHkey(hKey), nIndex, reinterpret_cast<LPWSTR>(pszName), &cchName, nullptr,
                                      nullptr, nullptr, nullptr);
    *pcchName = cchName;
    return nError;
}

int32_t CWinRegistryOps::QuerySubKeyCount(RegKeyHandle hKey, uint32_t* pnSubKeys)
{
    DWORD nSubKeys = 0;
    const LONG nError = RegQueryInfoKeyW(ToHkey(hKey), nullptr, nullptr, nullptr, &nSubKeys, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr);
    *pnSubKeys = nSubKeys;
    return nError;
}

int32_t CWinRegistryOps::EnumValue(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName,
                                   uint32_t* pnType, uint8_t* pbData, uint32_t* pcbData)
{
    DWORD cchName = *pcchName;
    DWORD dwType = 0;
    DWORD cbData = *pcbData;
    const LONG nError = RegEnumValueW(ToHkey(hKey), nIndex, reinterpret_cast<LPWSTR>(pszName), &cchName, nullptr,
                                      &dwType, pbData, &cbData);
    *pcchName = cchName;
    *pnType = dwType;
    *pcbData = cbData;
    return nError;
}

// Systems with only RegDeleteKeyW have a single view.
int32_t CWinRegistryOps::DeleteSubKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nView)
{
    const PfnRegDeleteKeyExW pfnRegDeleteKeyExW = FindRegDeleteKeyExW();
    if (pfnRegDeleteKeyExW != nullptr)
        return pfnRegDeleteKeyExW(ToHkey(hParent), ToWide(pszSubKey), nView, 0);
    return RegDeleteKeyW(ToHkey(hParent), ToWide(pszSubKey));
}

int32_t CWinRegistryOps::ParseUI4(const char16_t* pszText, uint32_t* pnValue)
{
    ULONG nValue = 0;
    // The declaration takes a non-const pointer; the function only reads it.
    const HRESULT hr = VarUI4FromStr(const_cast<OLECHAR*>(ToWide(pszText)), 0, 0, &nValue);
    if (SUCCEEDED(hr))
        *pnValue = nValue;
    return hr;
}
