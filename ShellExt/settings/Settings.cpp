#include "ShellExt/settings/Settings.h"

#include <shlobj.h>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/settings/Elevation.h"
#include "ShellExt/settings/ProductPaths.h"

const wchar_t kProductKey[] = L"Software\\Kelvoss\\Orvane";

CSharedBuffer<MAX_PATH> g_szAppPath;
CSharedBuffer<MAX_PATH> g_szAppData;
CSharedString g_strViewSettingsIni;
CSharedString g_strLangFile;

namespace {

const wchar_t kDllVersionMark[] = L"2.2.0 Free";
const wchar_t kDefaultLanguage[] = L"english";

bool IsTextType(DWORD dwType) noexcept
{
    return dwType == REG_SZ || dwType == REG_EXPAND_SZ;
}

// One hive's key of the product, or an empty owner when it does not open.
// KEY_WOW64_64KEY: the 32-bit build on 64-bit Windows reads the same entries
// as the 64-bit one, which is where the installer writes them.
CRegKeyHandle OpenProductKey(HKEY hHive) noexcept
{
    CRegKeyHandle key;
    if (::RegOpenKeyExW(hHive, kProductKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
        key.Reset();
    return key;
}

// The value of one hive's key (absent without a key).
ProductValueState ReadFromKey(const CRegKeyHandle& key, const wchar_t* pszName, wchar_t (&szValue)[MAX_PATH]) noexcept
{
    szValue[0] = L'\0';
    if (!key)
        return ProductValueState::kAbsent;
    return ReadProductText(key.Get(), pszName, szValue);
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

ProductValueState ReadProductText(HKEY hKey, const wchar_t* pszName, wchar_t (&szValue)[MAX_PATH]) noexcept
{
    szValue[0] = L'\0';
    // One character more than the value may fill, so that text ending
    // without its terminator right at the limit is read whole (and then
    // refused below) rather than cut or turned away by the terminator that
    // RegGetValueW adds.
    wchar_t szData[MAX_PATH + 1] = {};
    DWORD dwType = REG_NONE;
    DWORD cbData = sizeof(szData);
    const LSTATUS nStatus = ::RegGetValueW(hKey, nullptr, pszName, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                           &dwType, szData, &cbData);
    switch (nStatus)
    {
    case ERROR_SUCCESS:
        break;
    case ERROR_FILE_NOT_FOUND:
        return ProductValueState::kAbsent;
    case ERROR_UNSUPPORTED_TYPE:
        return ProductValueState::kWrongType;
    case ERROR_MORE_DATA:
        return IsTextType(dwType) ? ProductValueState::kTooLong : ProductValueState::kWrongType;
    default:
        return ProductValueState::kUnreadable;
    }
    if (!IsTextType(dwType))
        return ProductValueState::kWrongType;
    if (!CopyBounded(szValue, MAX_PATH, szData))
    {
        szValue[0] = L'\0';
        return ProductValueState::kTooLong;
    }
    return ProductValueState::kText;
}

void ReadInstallLocation(bool bElevated, wchar_t (&szInstallDir)[MAX_PATH]) noexcept
{
    // An elevated process does not even open the per-user key.
    const CRegKeyHandle machine = OpenProductKey(HKEY_LOCAL_MACHINE);
    const CRegKeyHandle user = bElevated ? CRegKeyHandle() : OpenProductKey(HKEY_CURRENT_USER);
    wchar_t szMachine[MAX_PATH];
    wchar_t szUser[MAX_PATH];

    ProductValueState machineState = ReadFromKey(machine, L"OrvanePath", szMachine);
    ProductValueState userState = ReadFromKey(user, L"OrvanePath", szUser);
    switch (ChooseProductValue(bElevated, machineState, userState))
    {
    case ProductValueSource::kMachine: g_szAppPath.Store(szMachine); break;
    case ProductValueSource::kUser: g_szAppPath.Store(szUser); break;
    case ProductValueSource::kNone: break;
    }

    machineState = ReadFromKey(machine, L"OrvaneDir", szMachine);
    userState = ReadFromKey(user, L"OrvaneDir", szUser);
    switch (ChooseProductValue(bElevated, machineState, userState))
    {
    case ProductValueSource::kMachine: CopyBounded(szInstallDir, MAX_PATH, szMachine); break;
    case ProductValueSource::kUser: CopyBounded(szInstallDir, MAX_PATH, szUser); break;
    case ProductValueSource::kNone: break;
    }
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
    ReadInstallLocation(IsProcessElevated(), szInstallDir);
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
