#include "tools/bench/Fixture.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "ShellExt/core/Handles.h"

namespace {

const wchar_t kProductKey[] = L"Software\\Kelvoss\\Orvane";
const wchar_t kCacheKey[] = L"SOFTWARE\\Kelvoss\\Orvane\\Cache";
const wchar_t kIndirectIcon[] = L"@shell32.dll,-7";
const wchar_t kCachedIconName[] = L"cached.ico";

const wchar_t kLanguageFile[] =
    L"\xFEFF[menu_items]\r\n"
    L"#DEFITEM#_High Priority=High Priority\r\n"
    L"#DEFITEM#_Low Priority=Low Priority\r\n"
    L"#DEFITEM#_Planned Work=Planned Work\r\n"
    L"#DEFITEM#_Done Work=Done Work\r\n"
    L"#DEFITEM#_Approved=Approved\r\n"
    L"#DEFITEM#_Rejected=Rejected\r\n"
    L"#DEFITEM#_Red=Red\r\n"
    L"#DEFITEM#_Green=Green\r\n"
    L"#DEFITEM#_Blue=Blue\r\n"
    L"#DEFITEM#_Gray=Gray\r\n"
    L"#DEFITEM#_Mark_File=Mark File\r\n"
    L"#DEFITEM#_Remove_Color=Remove Color\r\n"
    L"#DEFITEM#_Remove_Marker_Color=Remove Marker && Color\r\n"
    L"#DEFITEM#_Restore_Default=Restore Default\r\n"
    L"#DEFITEM#_More_Icons=More Icons\r\n";

bool WriteBytes(const std::wstring& strPath, const void* pData, DWORD cbData)
{
    CFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    DWORD cbWritten = 0;
    return file && ::WriteFile(file.Get(), pData, cbData, &cbWritten, nullptr) && cbWritten == cbData;
}

bool WriteText(const std::wstring& strPath, const std::string& strText)
{
    return WriteBytes(strPath, strText.data(), static_cast<DWORD>(strText.size()));
}

bool MakeFolder(const std::wstring& strPath)
{
    const int nResult = ::SHCreateDirectoryExW(nullptr, strPath.c_str(), nullptr);
    return nResult == ERROR_SUCCESS || nResult == ERROR_ALREADY_EXISTS || nResult == ERROR_FILE_EXISTS;
}

bool SetString(HKEY hHive, const std::wstring& strKey, const wchar_t* pszName, const std::wstring& strValue,
               REGSAM samView)
{
    CRegKeyHandle key;
    if (::RegCreateKeyExW(hHive, strKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | samView, nullptr, key.Receive(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.Get(), pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                            static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool MakeKey(HKEY hHive, const std::wstring& strKey)
{
    CRegKeyHandle key;
    return ::RegCreateKeyExW(hHive, strKey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WOW64_64KEY, nullptr,
                             key.Receive(), nullptr) == ERROR_SUCCESS;
}

// A file type with the given default icon, in both registry views: the
// 32-bit benchmark reads the same associations as the 64-bit one.
bool RegisterFileType(const wchar_t* pszExtension, const wchar_t* pszProgId, const std::wstring& strDefaultIcon)
{
    const std::wstring strClasses = L"Software\\Classes\\";
    for (REGSAM samView : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
    {
        if (!SetString(HKEY_LOCAL_MACHINE, strClasses + pszExtension, nullptr, pszProgId, samView) ||
            !SetString(HKEY_LOCAL_MACHINE, strClasses + pszProgId + L"\\DefaultIcon", nullptr, strDefaultIcon,
                       samView))
            return false;
    }
    return true;
}

std::wstring EnvironmentValue(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH] = {};
    const DWORD cch = ::GetEnvironmentVariableW(pszName, szValue, MAX_PATH);
    return cch > 0 && cch < MAX_PATH ? std::wstring(szValue) : std::wstring();
}

std::wstring AppDataShellFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath)))
        return std::wstring();
    return szPath;
}

bool Fail(std::wstring& strError, const std::wstring& strWhat)
{
    strError = strWhat;
    return false;
}

}  // namespace

bool SetUpFixture(const std::wstring& strIclSource, BenchFixture& fixture, std::wstring& strError)
{
    fixture.strRoot = L"C:\\OrvaneBench";
    fixture.strInstallDir = fixture.strRoot + L"\\Install";
    fixture.strAppData = EnvironmentValue(L"AppData");
    const std::wstring strFiles = fixture.strRoot + L"\\Files";
    if (fixture.strAppData.empty())
        return Fail(strError, L"AppData is not set");

    for (const std::wstring& strFolder :
         {fixture.strInstallDir + L"\\icl", fixture.strInstallDir + L"\\Languages", strFiles,
          fixture.strAppData + L"\\Kelvoss\\Orvane\\Cache", AppDataShellFolder() + L"\\Kelvoss\\Orvane"})
        if (!MakeFolder(strFolder))
            return Fail(strError, L"cannot make " + strFolder);
    // Relative library names resolve against the current directory, which
    // holds no Main.icl: the installation's library is used, as in Explorer.
    ::SetCurrentDirectoryW(fixture.strRoot.c_str());

    if (!::CopyFileW(strIclSource.c_str(), (fixture.strInstallDir + L"\\icl\\Main.icl").c_str(), FALSE))
        return Fail(strError, L"cannot copy the icon library " + strIclSource);
    if (!WriteBytes(fixture.strInstallDir + L"\\Languages\\english.lng", kLanguageFile,
                    static_cast<DWORD>(wcslen(kLanguageFile) * sizeof(wchar_t))))
        return Fail(strError, L"cannot write the language file");
    if (!WriteText(AppDataShellFolder() + L"\\Kelvoss\\Orvane\\ViewSettings.ini", "[Options]\r\nLang=english\r\n"))
        return Fail(strError, L"cannot write ViewSettings.ini");

    if (!SetString(HKEY_LOCAL_MACHINE, kProductKey, L"OrvaneDir", fixture.strInstallDir, KEY_WOW64_64KEY) ||
        !MakeKey(HKEY_CURRENT_USER, kProductKey))
        return Fail(strError, L"cannot write the product key");
    SetMainApplication(std::wstring());

    fixture.vecSelection = {strFiles + L"\\Quarterly report.txt", strFiles + L"\\budget 2026.csv"};
    for (const std::wstring& strFile : fixture.vecSelection)
        if (!WriteText(strFile, "figures\r\n"))
            return Fail(strError, L"cannot write " + strFile);

    fixture.marked = {"stream", strFiles + L"\\marked.txt", strFiles + L"\\marked.txt:ovx", 0};
    if (!WriteText(fixture.marked.strFile, "marked\r\n") || !WriteText(fixture.marked.strExpectedLocation, "icon"))
        return Fail(strError, L"cannot write the marked file");

    const std::wstring strPlainIcon = fixture.strRoot + L"\\Icons\\plain.ico";
    fixture.plain = {"plain icon", strFiles + L"\\report.orvplain", strPlainIcon, 2};
    if (!WriteText(fixture.plain.strFile, "plain\r\n") ||
        !RegisterFileType(L".orvplain", L"OrvaneBench.Plain", L"\"" + strPlainIcon + L"\",2"))
        return Fail(strError, L"cannot register the plain file type");

    // The cache entry is named after the resolved indirect string.
    wchar_t szResolved[2 * MAX_PATH] = {};
    if (FAILED(::SHLoadIndirectString(kIndirectIcon, szResolved, ARRAYSIZE(szResolved), nullptr)))
        return Fail(strError, L"SHLoadIndirectString cannot resolve @shell32.dll,-7");
    const std::wstring strCacheFolder = fixture.strAppData + L"\\Kelvoss\\Orvane\\Cache\\";
    fixture.cached = {"cached @ icon", strFiles + L"\\sheet.orvcached", strCacheFolder + kCachedIconName, 0};
    if (!WriteText(fixture.cached.strFile, "cached\r\n") || !WriteText(fixture.cached.strExpectedLocation, "icon") ||
        !RegisterFileType(L".orvcached", L"OrvaneBench.Cached", kIndirectIcon) ||
        !SetString(HKEY_CURRENT_USER, kCacheKey, (std::wstring(szResolved) + L",0").c_str(), kCachedIconName,
                   KEY_WOW64_64KEY))
        return Fail(strError, L"cannot set up the cached icon");
    return true;
}

void SetMainApplication(const std::wstring& strPath)
{
    CRegKeyHandle key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    if (strPath.empty())
        ::RegDeleteValueW(key.Get(), L"OrvanePath");
    else
        ::RegSetValueExW(key.Get(), L"OrvanePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(strPath.c_str()),
                         static_cast<DWORD>((strPath.size() + 1) * sizeof(wchar_t)));
}

void TearDownFixture(const BenchFixture& fixture)
{
    (void)fixture;
    for (REGSAM samView : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
    {
        CRegKeyHandle software;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | samView, software.Receive()) !=
            ERROR_SUCCESS)
            continue;
        for (const wchar_t* pszKey : {L"Kelvoss", L"Classes\\.orvplain", L"Classes\\OrvaneBench.Plain",
                                      L"Classes\\.orvcached", L"Classes\\OrvaneBench.Cached"})
            ::RegDeleteTreeW(software.Get(), pszKey);
    }
    CRegKeyHandle user;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, user.Receive()) ==
        ERROR_SUCCESS)
        ::RegDeleteTreeW(user.Get(), L"Kelvoss");
}
