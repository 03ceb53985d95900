#include "ShellExt/settings/Settings.h"

#include <shlobj.h>

#include "ShellExt/core/Handles.h"
#include "ShellExt/settings/ProductPaths.h"

const wchar_t kProductKey[] = L"Software\\Kelvoss\\Orvane";

CSharedBuffer<MAX_PATH> g_szAppPath;
CSharedBuffer<MAX_PATH> g_szAppData;
CSharedString g_strViewSettingsIni;
CSharedString g_strLangFile;

namespace {

const wchar_t kDllVersionMark[] = L"2.2.0 Free";
const wchar_t kDefaultLanguage[] = L"english";
const DWORD kRegistryValueBytes = 520;

// Reads one string value into a cleared buffer of 520 bytes, without a type
// check. The extra character keeps the text terminated even when the stored
// data fills all 520 bytes without a NUL of its own.
bool QueryStringValue(HKEY hKey, const wchar_t* pszName, wchar_t (&szValue)[MAX_PATH + 1]) noexcept
{
    ZeroMemory(szValue, sizeof(szValue));
    DWORD cbData = kRegistryValueBytes;
    return ::RegQueryValueExW(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(szValue), &cbData) ==
           ERROR_SUCCESS;
}

}  // namespace

bool ReadAppDataFolder(wchar_t (&szFolder)[MAX_PATH]) noexcept
{
    const DWORD cch = ::GetEnvironmentVariableW(L"AppData", szFolder, MAX_PATH);
    // 0: absent (a path built on nothing would be relative to the current
    // drive); MAX_PATH or more: too long, nothing copied.
    return cch > 0 && cch < MAX_PATH;
}

void ReadAppDataVariable() noexcept
{
    // Runs at every object creation: the buffer is not cleared, as the value
    // is terminated whenever it is used.
    wchar_t szValue[MAX_PATH];
    if (ReadAppDataFolder(szValue))
        g_szAppData.Store(szValue);
    else
        g_szAppData.Clear();
}

void ReadInstallLocation(HKEY hHive, wchar_t (&szInstallDir)[MAX_PATH]) noexcept
{
    // KEY_WOW64_64KEY: the 32-bit build on 64-bit Windows reads the same
    // entries as the 64-bit one, which is where the installer writes them.
    CRegKeyHandle key;
    if (::RegOpenKeyExW(hHive, kProductKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
        return;

    wchar_t szValue[MAX_PATH + 1];
    if (QueryStringValue(key.Get(), L"OrvanePath", szValue))
        g_szAppPath.Store(szValue);
    if (QueryStringValue(key.Get(), L"OrvaneDir", szValue))
        CopyBounded(szInstallDir, MAX_PATH, szValue);
}

void WriteDllVersion() noexcept
{
    CRegKeyHandle key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key.Get(), L"DllVer", 0, REG_SZ, reinterpret_cast<const BYTE*>(kDllVersionMark),
                     sizeof(kDllVersionMark));
}

bool GetViewSettingsPath(std::wstring& strPath)
{
    wchar_t szPath[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath)))
        return false;
    // A path too long for MAX_PATH would name another file: keep the
    // previous one instead.
    wchar_t szIni[MAX_PATH];
    if (!BuildProductPath(szIni, MAX_PATH, szPath, {u"ViewSettings.ini"}))
        return false;
    strPath = szIni;
    return true;
}

std::wstring ReadLanguageName()
{
    const std::wstring strIni = g_strViewSettingsIni.Copy();
    wchar_t szName[MAX_PATH] = {};
    ::GetPrivateProfileStringW(L"Options", L"Lang", kDefaultLanguage, szName, MAX_PATH, strIni.c_str());
    // A key present with nothing after '=' reads as empty, not as the default.
    if (szName[0] == L'\0')
        return kDefaultLanguage;
    return szName;
}

std::wstring BuildLanguageFilePath(const wchar_t* pszInstallDir, const std::wstring& strLanguage)
{
    std::wstring strLangFile = pszInstallDir;
    strLangFile += L"\\Languages\\";
    strLangFile += strLanguage;
    strLangFile += L".lng";
    return strLangFile;
}

namespace {

// Everything LoadSettings does before the language file: the installation,
// the version mark and the ViewSettings.ini path.
void LoadInstallationAndViewSettings(wchar_t (&szInstallDir)[MAX_PATH])
{
    ReadInstallLocation(HKEY_LOCAL_MACHINE, szInstallDir);
    ReadInstallLocation(HKEY_CURRENT_USER, szInstallDir);
    WriteDllVersion();

    std::wstring strIni = g_strViewSettingsIni.Copy();
    if (GetViewSettingsPath(strIni))
        g_strViewSettingsIni.Store(std::move(strIni));
}

}  // namespace

void LoadSettings(wchar_t (&szInstallDir)[MAX_PATH])
{
    LoadInstallationAndViewSettings(szInstallDir);
    g_strLangFile.Store(BuildLanguageFilePath(szInstallDir, ReadLanguageName()));
}

void LoadSettings(wchar_t (&szInstallDir)[MAX_PATH], std::wstring& strLangFile)
{
    LoadInstallationAndViewSettings(szInstallDir);
    strLangFile = BuildLanguageFilePath(szInstallDir, ReadLanguageName());
}
