#include "ShellExt/companion/StatusProbe.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <softpub.h>
#include <wintrust.h>

#include <string>
#include <vector>

#include "ShellExt/companion/CompanionIds.h"
#include "ShellExt/companion/StatusFindings.h"
#include "ShellExt/companion/UserRegistration.h"
#include "ShellExt/companion/UserRegistrationPolicy.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/ModulePath.h"
#include "ShellExt/core/SystemFunction.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/module/Guids.h"
#include "ShellExt/settings/Elevation.h"
#include "ShellExt/settings/ProductPaths.h"
#include "ShellExt/settings/Settings.h"
#include "ShellExt/settings/Switches.h"

namespace {

const wchar_t kShellExtensionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\";
const wchar_t kExplorerPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const wchar_t kMenuHandlerKey[] = L"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Orvane";
const wchar_t kClassicMenuTweakKey[] =
    L"Software\\Classes\\CLSID\\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}\\InprocServer32";
// This user's registered packages, one subkey per package full name.
const wchar_t kPackageRepositoryKey[] =
    L"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\Repository\\"
    L"Packages";
const wchar_t kClassId[] = ORVANE_CLSID_SIMPLESHLEXT_TEXT;

// Text other than the product values (which the extension's own reader
// judges) gets room, and a path longer than MAX_PATH is reported as such.
const DWORD kTextChars = 4096;
const DWORD kTextValueBytes = kTextChars * sizeof(wchar_t);
const size_t kMaxIconHandlerTypes = 12;
const DWORD kMaxClassesEnumerated = 200000;
const DWORD kMaxVersionInfoBytes = 1024 * 1024;
const DWORD kPeProbeBytes = 4096;
const UINT32 kPackagePathTypeEffectiveExternal = 5;  // PackagePathType_EffectiveExternal

std::u16string ToText(const wchar_t* psz)
{
    return std::u16string(AsUtf16(psz));
}

KeyState OpenKey(HKEY hRoot, const wchar_t* pszKey, REGSAM samView, CRegKeyHandle& key,
                 REGSAM samAccess = KEY_QUERY_VALUE)
{
    const LSTATUS nStatus = ::RegOpenKeyExW(hRoot, pszKey, 0, samAccess | samView, key.Receive());
    if (nStatus == ERROR_SUCCESS)
        return KeyState::kPresent;
    return (nStatus == ERROR_FILE_NOT_FOUND || nStatus == ERROR_PATH_NOT_FOUND) ? KeyState::kAbsent
                                                                                  : KeyState::kUnreadable;
}

// The type a value holds; REG_NONE when it cannot be read.
DWORD ValueType(HKEY hKey, const wchar_t* pszName) noexcept
{
    DWORD dwType = REG_NONE;
    ::RegQueryValueExW(hKey, pszName, nullptr, &dwType, nullptr, nullptr);
    return dwType;
}

// What RegGetValueW's answer says of a value read as eRead (text or a
// number). Registry data is whatever anyone wrote: RegGetValueW checks the
// type and the size, terminates the text and expands REG_EXPAND_SZ.
RegValue JudgeRead(HKEY hKey, const wchar_t* pszName, LSTATUS nStatus, ValueState eRead)
{
    RegValue value;
    switch (nStatus)
    {
    case ERROR_SUCCESS: value.state = eRead; break;
    case ERROR_FILE_NOT_FOUND: break;
    case ERROR_MORE_DATA:
        value.state = eRead == ValueState::kText ? ValueState::kTooLong : ValueState::kWrongType;
        break;
    case ERROR_UNSUPPORTED_TYPE:
    case ERROR_DATATYPE_MISMATCH:
        value.state = ValueState::kWrongType;
        value.nType = ValueType(hKey, pszName);
        break;
    default:
        value.state = ValueState::kUnreadable;
        value.nError = static_cast<uint32_t>(nStatus);
        break;
    }
    return value;
}

// A text value (REG_SZ, or REG_EXPAND_SZ expanded) of at most cbLimit bytes,
// up to its first NUL as Windows reads REG_SZ.
RegValue QueryText(HKEY hKey, const wchar_t* pszName, DWORD cbLimit)
{
    std::vector<wchar_t> vecData(cbLimit / sizeof(wchar_t) + 1, L'\0');
    DWORD cbData = cbLimit;
    RegValue value = JudgeRead(hKey, pszName,
                               ::RegGetValueW(hKey, nullptr, pszName, RRF_RT_REG_SZ, nullptr, vecData.data(), &cbData),
                               ValueState::kText);
    if (value.state == ValueState::kText)
        value.strText = ToText(vecData.data());
    return value;
}

RegValue QueryNumber(HKEY hKey, const wchar_t* pszName)
{
    DWORD dwNumber = 0;
    DWORD cbData = sizeof(dwNumber);
    RegValue value =
        JudgeRead(hKey, pszName,
                  ::RegGetValueW(hKey, nullptr, pszName, RRF_RT_REG_DWORD, nullptr, &dwNumber, &cbData),
                  ValueState::kNumber);
    value.nNumber = dwNumber;
    return value;
}

RegValue ReadText(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszName, REGSAM samView, DWORD cbLimit)
{
    CRegKeyHandle key;
    const KeyState keyState = OpenKey(hRoot, pszKey, samView, key);
    if (keyState != KeyState::kPresent)
    {
        RegValue value;
        value.state = keyState == KeyState::kAbsent ? ValueState::kAbsent : ValueState::kUnreadable;
        return value;
    }
    return QueryText(key.Get(), pszName, cbLimit);
}

// Whether a list key holds a value of this name, of any type.
KeyState ValueListed(HKEY hRoot, const std::wstring& strKey, const wchar_t* pszName, REGSAM samView)
{
    CRegKeyHandle key;
    const KeyState keyState = OpenKey(hRoot, strKey.c_str(), samView, key);
    if (keyState != KeyState::kPresent)
        return keyState;
    const LSTATUS nStatus = ::RegQueryValueExW(key.Get(), pszName, nullptr, nullptr, nullptr, nullptr);
    if (nStatus == ERROR_SUCCESS)
        return KeyState::kPresent;
    return nStatus == ERROR_FILE_NOT_FOUND ? KeyState::kAbsent : KeyState::kUnreadable;
}

// --- files -------------------------------------------------------------------

// A DLL from the system folder, loaded only for the check that needs it
// (version.dll, wintrust.dll): the program then starts with nothing but the
// DLLs every process has, which Windows takes from the system folder whatever
// lies beside the program.
CLibraryHandle LoadSystemLibrary(const wchar_t* pszName)
{
    const std::wstring strPath = SystemFilePath(pszName);
    return CLibraryHandle(strPath.empty() ? nullptr : ::LoadLibraryW(strPath.c_str()));
}

using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

void ReadVersion(const wchar_t* pszPath, FileFacts& facts)
{
    const CLibraryHandle version = LoadSystemLibrary(L"version.dll");
    const auto pfnSize = FindSystemFunction<GetFileVersionInfoSizeFunction>(version.Get(), "GetFileVersionInfoSizeW");
    const auto pfnInfo = FindSystemFunction<GetFileVersionInfoFunction>(version.Get(), "GetFileVersionInfoW");
    const auto pfnQuery = FindSystemFunction<VerQueryValueFunction>(version.Get(), "VerQueryValueW");
    if (pfnSize == nullptr || pfnInfo == nullptr || pfnQuery == nullptr)
        return;
    DWORD dwIgnored = 0;
    const DWORD cbInfo = pfnSize(pszPath, &dwIgnored);
    if (cbInfo == 0 || cbInfo > kMaxVersionInfoBytes)
        return;
    std::vector<BYTE> vecInfo(cbInfo);
    if (!pfnInfo(pszPath, 0, cbInfo, vecInfo.data()))
        return;
    void* pFixed = nullptr;
    UINT cbFixed = 0;
    if (!pfnQuery(vecInfo.data(), L"\\", &pFixed, &cbFixed) || pFixed == nullptr ||
        cbFixed < sizeof(VS_FIXEDFILEINFO))
        return;
    const VS_FIXEDFILEINFO* pInfo = static_cast<const VS_FIXEDFILEINFO*>(pFixed);
    if (pInfo->dwSignature != VS_FFI_SIGNATURE)
        return;
    facts.bHasVersion = true;
    facts.nVersion[0] = HIWORD(pInfo->dwFileVersionMS);
    facts.nVersion[1] = LOWORD(pInfo->dwFileVersionMS);
    facts.nVersion[2] = HIWORD(pInfo->dwFileVersionLS);
    facts.nVersion[3] = LOWORD(pInfo->dwFileVersionLS);
}

void ReadMachine(const wchar_t* pszPath, FileFacts& facts)
{
    CFileHandle file(::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    uint8_t bytes[kPeProbeBytes];
    DWORD cbRead = 0;
    if (::ReadFile(file.Get(), bytes, sizeof(bytes), &cbRead, nullptr))
        facts.nMachine = PeMachineOf(bytes, cbRead);
}

SignatureState SignatureStateOf(LONG nResult) noexcept
{
    switch (static_cast<HRESULT>(nResult))
    {
    case S_OK:
        return SignatureState::kVerified;
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN:
        return SignatureState::kUnsigned;
    case TRUST_E_BAD_DIGEST:
    case TRUST_E_CERT_SIGNATURE:
    case TRUST_E_NO_SIGNER_CERT:
    case CERT_E_REVOKED:
        return SignatureState::kBroken;
    default:
        return SignatureState::kUntrusted;
    }
}

using WinVerifyTrustFunction = LONG(WINAPI*)(HWND, GUID*, LPVOID);

void CheckSignature(const wchar_t* pszPath, FileFacts& facts)
{
    const CLibraryHandle wintrust = LoadSystemLibrary(L"wintrust.dll");
    const auto pfnVerify = FindSystemFunction<WinVerifyTrustFunction>(wintrust.Get(), "WinVerifyTrust");
    if (pfnVerify == nullptr)
    {
        facts.signature = SignatureState::kUnavailable;
        return;
    }
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = pszPath;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // No download of revocation lists or certificates: status answers at
    // once, also offline.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND hNoWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG nResult = pfnVerify(hNoWindow, &action, &data);
    // The verification keeps state until it is closed, whatever it answered.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    pfnVerify(hNoWindow, &action, &data);
    facts.nTrustResult = static_cast<uint32_t>(nResult);
    facts.signature = SignatureStateOf(nResult);
}

enum class FileDepth
{
    kExistence,
    kImage,           // version and machine too
    kSignedImage,     // and the signature
};

FileFacts InspectPath(const std::u16string& strPath, FileDepth depth)
{
    FileFacts facts;
    if (strPath.empty())
        return facts;
    if (strPath.size() >= MAX_PATH)
    {
        facts.state = PathState::kTooLong;
        return facts;
    }
    const wchar_t* pszPath = AsWide(strPath.c_str());
    const DWORD dwAttributes = ::GetFileAttributesW(pszPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
    {
        const DWORD dwError = ::GetLastError();
        facts.nError = dwError;
        const bool bMissing = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ||
                              dwError == ERROR_INVALID_NAME || dwError == ERROR_INVALID_DRIVE ||
                              dwError == ERROR_BAD_NETPATH || dwError == ERROR_BAD_PATHNAME;
        facts.state = bMissing ? PathState::kMissing : PathState::kUnreadable;
        return facts;
    }
    facts.state = (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathState::kDirectory : PathState::kFile;
    if (facts.state != PathState::kFile || depth == FileDepth::kExistence)
        return facts;
    ReadVersion(pszPath, facts);
    ReadMachine(pszPath, facts);
    if (depth == FileDepth::kSignedImage)
        CheckSignature(pszPath, facts);
    return facts;
}

// --- Windows -------------------------------------------------------------------

using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

void ProbeWindows(StatusRecord& record)
{
    OSVERSIONINFOW info;
    if (ReadTrueWindowsVersion(info))
    {
        record.bVersionKnown = true;
        record.nMajor = info.dwMajorVersion;
        record.nMinor = info.dwMinorVersion;
        record.nBuild = info.dwBuildNumber;
    }
    USHORT nProcessMachine = 0;
    USHORT nNativeMachine = 0;
    const auto pfnIsWow64Process2 =
        FindSystemFunction<IsWow64Process2Function>(L"kernel32.dll", "IsWow64Process2");
    if (pfnIsWow64Process2 != nullptr && pfnIsWow64Process2(::GetCurrentProcess(), &nProcessMachine, &nNativeMachine))
    {
        record.nNativeMachine = nNativeMachine;
    }
    else
    {
        SYSTEM_INFO system = {};
        ::GetNativeSystemInfo(&system);
        switch (system.wProcessorArchitecture)
        {
        case PROCESSOR_ARCHITECTURE_AMD64: record.nNativeMachine = kMachineAmd64; break;
        case PROCESSOR_ARCHITECTURE_INTEL: record.nNativeMachine = kMachineI386; break;
        case 12 /* PROCESSOR_ARCHITECTURE_ARM64 */: record.nNativeMachine = kMachineArm64; break;
        default: break;
        }
    }
    record.bWindows64 = record.nNativeMachine == kMachineAmd64 || record.nNativeMachine == kMachineArm64;

    const std::wstring strProgram = FullModulePath(nullptr);
    if (!strProgram.empty())
        record.program = InspectPath(ToText(strProgram.c_str()), FileDepth::kImage);
}

// --- the classic handler ---------------------------------------------------------

HKEY RootOf(RegistryScope scope) noexcept
{
    return scope == RegistryScope::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM ViewFlag(RegistryView view) noexcept
{
    return view == RegistryView::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::vector<RegistryView> ViewsOf(const StatusRecord& record)
{
    if (record.bWindows64)
        return {RegistryView::k64, RegistryView::k32};
    return {RegistryView::k32};
}

ClassRegistration ProbeClass(RegistryScope scope, RegistryView view)
{
    ClassRegistration entry;
    entry.scope = scope;
    entry.view = view;
    const std::wstring strClassKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClassId;
    CRegKeyHandle classKey;
    entry.classKey = OpenKey(RootOf(scope), strClassKey.c_str(), ViewFlag(view), classKey);
    if (entry.classKey == KeyState::kPresent)
    {
        entry.server = ReadText(classKey.Get(), L"InprocServer32", nullptr, 0, kTextValueBytes);
        if (entry.server.state == ValueState::kText)
            entry.file = InspectPath(entry.server.strText, FileDepth::kSignedImage);
    }
    entry.menuHandler = ReadText(RootOf(scope), kMenuHandlerKey, nullptr, ViewFlag(view), kTextValueBytes);
    return entry;
}

void ProbeLists(StatusRecord& record)
{
    const std::wstring strBlocked = std::wstring(kShellExtensionsKey) + L"Blocked";
    const std::wstring strApproved = std::wstring(kShellExtensionsKey) + L"Approved";
    for (RegistryScope scope : {RegistryScope::kMachine, RegistryScope::kUser})
    {
        for (RegistryView view : ViewsOf(record))
        {
            // HKCU\Software has one view only.
            if (scope == RegistryScope::kUser && view != ViewsOf(record).front())
                continue;
            const REGSAM samView = ViewFlag(view);
            record.vecBlocked.push_back(
                ListPlace{scope, view, ValueListed(RootOf(scope), strBlocked, kClassId, samView)});
            record.vecApproved.push_back(
                ListPlace{scope, view, ValueListed(RootOf(scope), strApproved, kClassId, samView)});
        }
        CRegKeyHandle policy;
        if (OpenKey(RootOf(scope), kExplorerPolicyKey, KEY_WOW64_64KEY, policy) == KeyState::kPresent)
        {
            const RegValue enforce = QueryNumber(policy.Get(), L"EnforceShellExtensionSecurity");
            record.bApprovalEnforced =
                record.bApprovalEnforced || (enforce.state == ValueState::kNumber && enforce.nNumber != 0);
        }
    }
}

// File types whose IconHandler names the class. The main application writes
// such entries; the registration never does.
void ProbeIconHandlers(StatusRecord& record)
{
    wchar_t szName[256];
    for (DWORD nIndex = 0; nIndex < kMaxClassesEnumerated; ++nIndex)
    {
        DWORD cchName = ARRAYSIZE(szName);
        const LSTATUS nStatus =
            ::RegEnumKeyExW(HKEY_CLASSES_ROOT, nIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (nStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (nStatus != ERROR_SUCCESS)
            continue;  // a name longer than a key name may be: skip it
        wchar_t szKey[ARRAYSIZE(szName) + 32];
        if (!JoinBounded(AsUtf16(szKey), ARRAYSIZE(szKey), {AsUtf16(szName), u"\\shellex\\IconHandler"}))
            continue;
        const RegValue handler = ReadText(HKEY_CLASSES_ROOT, szKey, nullptr, 0, kTextValueBytes);
        if (handler.state != ValueState::kText ||
            ::lstrcmpiW(AsWide(handler.strText.c_str()), kClassId) != 0)
            continue;
        if (record.vecIconHandlerTypes.size() == kMaxIconHandlerTypes)
        {
            record.bIconHandlerListCut = true;
            break;
        }
        record.vecIconHandlerTypes.push_back(ToText(szName));
    }
}

void ProbeClassicHandler(StatusRecord& record)
{
    for (RegistryScope scope : {RegistryScope::kMachine, RegistryScope::kUser})
    {
        for (RegistryView view : ViewsOf(record))
            record.vecClasses.push_back(ProbeClass(scope, view));
    }
    ProbeLists(record);
    ProbeIconHandlers(record);
    CRegKeyHandle tweak;
    record.classicMenuTweak = OpenKey(HKEY_CURRENT_USER, kClassicMenuTweakKey, 0, tweak);
}

// --- the Windows 11 package --------------------------------------------------

using GetPackagePathByFullName2Function = LONG(WINAPI*)(PCWSTR, UINT32, UINT32*, PWSTR);
using GetPackagePathByFullNameFunction = LONG(WINAPI*)(PCWSTR, UINT32*, PWSTR);

// Where the package's files are: its external location (a sparse package's
// files live there), else its package folder, else what the repository says.
RegValue PackageFolder(HKEY hRepository, const wchar_t* pszFullName)
{
    const HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    std::vector<wchar_t> vecPath(kTextChars, L'\0');
    UINT32 cchPath = kTextChars;
    LONG nStatus = ERROR_PROC_NOT_FOUND;
    if (const auto pfnPath2 = FindSystemFunction<GetPackagePathByFullName2Function>(hKernel, "GetPackagePathByFullName2"))
        nStatus = pfnPath2(pszFullName, kPackagePathTypeEffectiveExternal, &cchPath, vecPath.data());
    if (nStatus != ERROR_SUCCESS)
    {
        cchPath = kTextChars;
        if (const auto pfnPath = FindSystemFunction<GetPackagePathByFullNameFunction>(hKernel, "GetPackagePathByFullName"))
            nStatus = pfnPath(pszFullName, &cchPath, vecPath.data());
    }
    if (nStatus == ERROR_SUCCESS)
    {
        vecPath[kTextChars - 1] = L'\0';
        RegValue folder;
        folder.state = ValueState::kText;
        folder.strText = ToText(vecPath.data());
        return folder;
    }
    return ReadText(hRepository, pszFullName, L"PackageRootFolder", 0, kTextValueBytes);
}

void ProbePackage(StatusRecord& record)
{
    record.bPackageChecked = record.bVersionKnown && record.nBuild >= kFirstWindows11Build;
    if (!record.bPackageChecked)
        return;
    CRegKeyHandle repository;
    record.packageRepository =
        OpenKey(HKEY_CURRENT_USER, kPackageRepositoryKey, 0, repository, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE);
    if (record.packageRepository != KeyState::kPresent)
        return;  // none at all: no package is registered for this user
    const std::wstring strPrefix = std::wstring(ORVANE_PACKAGE_NAME) + L"_";
    wchar_t szName[256];
    for (DWORD nIndex = 0; nIndex < kMaxClassesEnumerated; ++nIndex)
    {
        DWORD cchName = ARRAYSIZE(szName);
        const LSTATUS nStatus =
            ::RegEnumKeyExW(repository.Get(), nIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (nStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (nStatus != ERROR_SUCCESS || cchName <= strPrefix.size() ||
            ::CompareStringOrdinal(szName, static_cast<int>(strPrefix.size()), strPrefix.c_str(),
                                   static_cast<int>(strPrefix.size()), TRUE) != CSTR_EQUAL)
            continue;
        PackageRegistration package;
        package.strFullName = ToText(szName);
        package.folder = PackageFolder(repository.Get(), szName);
        if (package.folder.state == ValueState::kText)
            package.commandDll =
                InspectPath(package.folder.strText + u"\\" + record.strCommandDllName, FileDepth::kExistence);
        record.vecPackages.push_back(std::move(package));
    }
}

// --- the main application ----------------------------------------------------

// A product value judged by the extension's own reader, with the type
// named when it is the wrong one.
RegValue QueryProductText(HKEY hKey, const wchar_t* pszName)
{
    RegValue value;
    wchar_t szText[MAX_PATH];
    switch (ReadProductText(hKey, pszName, szText))
    {
    case ProductValueState::kAbsent: value.state = ValueState::kAbsent; break;
    case ProductValueState::kText:
        value.state = ValueState::kText;
        value.strText = ToText(szText);
        break;
    case ProductValueState::kWrongType:
        value.state = ValueState::kWrongType;
        value.nType = ValueType(hKey, pszName);
        break;
    case ProductValueState::kTooLong: value.state = ValueState::kTooLong; break;
    case ProductValueState::kUnreadable: value.state = ValueState::kUnreadable; break;
    }
    return value;
}

ProductKeyFacts ProbeProductKey(HKEY hHive)
{
    ProductKeyFacts facts;
    CRegKeyHandle key;
    // The view the extension reads (see ReadInstallLocation).
    facts.key = OpenKey(hHive, kProductKey, KEY_WOW64_64KEY, key);
    if (facts.key != KeyState::kPresent)
        return facts;
    facts.appPath = QueryProductText(key.Get(), L"OrvanePath");
    facts.installDir = QueryProductText(key.Get(), L"OrvaneDir");
    return facts;
}

void ProbeMainApplication(StatusRecord& record)
{
    record.machineProduct = ProbeProductKey(HKEY_LOCAL_MACHINE);
    record.userProduct = ProbeProductKey(HKEY_CURRENT_USER);
    CRegKeyHandle kelvoss;
    record.kelvossUserKey = OpenKey(HKEY_CURRENT_USER, L"Software\\Kelvoss", KEY_WOW64_64KEY, kelvoss);

    // The extension's own reading, so that the paths judged are the paths it
    // uses, with its precedence and its bounds.
    wchar_t szInstallDir[MAX_PATH] = {};
    record.bElevated = IsProcessElevated();
    ReadInstallLocation(record.bElevated, szInstallDir);
    wchar_t szAppPath[MAX_PATH] = {};
    g_szAppPath.CopyTo(szAppPath);
    record.strAppPath = ToText(szAppPath);
    record.strInstallDir = ToText(szInstallDir);
    record.app = InspectPath(record.strAppPath, FileDepth::kImage);
    record.installDir = InspectPath(record.strInstallDir, FileDepth::kExistence);

    wchar_t szIconLibrary[MAX_PATH];
    BuildIconLibraryPath(szInstallDir, L"Main.icl", szIconLibrary);
    record.strIconLibrary = ToText(szIconLibrary);
    record.iconLibrary = InspectPath(record.strIconLibrary, FileDepth::kExistence);

    std::wstring strIni;
    if (GetViewSettingsPath(strIni))
        g_strViewSettingsIni.Store(strIni);
    const std::wstring strLanguage = ReadLanguageName();
    record.strLanguage = ToText(strLanguage.c_str());
    record.strLanguageFile = ToText(BuildLanguageFilePath(szInstallDir, strLanguage).c_str());
    record.languageFile = InspectPath(record.strLanguageFile, FileDepth::kExistence);
}

// --- who may change an installation for every user --------------------------

std::u16string SidText(PSID pSid)
{
    CLocalBlock text;
    if (!::ConvertSidToStringSidW(pSid, reinterpret_cast<LPWSTR*>(text.Receive())))
        return u"?";
    return ToText(static_cast<const wchar_t*>(text.Get()));
}

AccessFacts ReadAccess(const std::u16string& strPath, bool bFolder)
{
    AccessFacts facts;
    facts.strPath = strPath;
    facts.bFolder = bFolder;
    PACL pDacl = nullptr;
    CLocalBlock descriptor;
    const DWORD dwError = ::GetNamedSecurityInfoW(AsWide(strPath.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                  nullptr, nullptr, &pDacl, nullptr, descriptor.Receive());
    facts.nError = dwError;
    facts.bRead = dwError == ERROR_SUCCESS;
    facts.bNullDacl = facts.bRead && pDacl == nullptr;
    for (DWORD i = 0; facts.bRead && pDacl != nullptr && i < pDacl->AceCount; ++i)
    {
        void* pAce = nullptr;
        if (!::GetAce(pDacl, i, &pAce))
            continue;
        const auto* pAllowed = static_cast<const ACCESS_ALLOWED_ACE*>(pAce);
        if (pAllowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && !(pAllowed->Header.AceFlags & INHERIT_ONLY_ACE))
            facts.vecAllowed.push_back(
                AccessEntry{SidText(const_cast<DWORD*>(&pAllowed->SidStart)), pAllowed->Mask});
    }
    return facts;
}

// A registration for every user trusts its folder: Explorer loads the DLL,
// every logon runs the companion beside it.
void ProbeInstallAccess(StatusRecord& record)
{
    auto add = [&record](const std::u16string& strPath, bool bFolder) {
        for (const AccessFacts& seen : record.vecInstallAccess)
            if (::CompareStringOrdinal(AsWide(seen.strPath.c_str()), -1, AsWide(strPath.c_str()), -1, TRUE) ==
                CSTR_EQUAL)
                return;
        record.vecInstallAccess.push_back(ReadAccess(strPath, bFolder));
    };
    for (const ClassRegistration& entry : record.vecClasses)
    {
        const std::u16string& strDll = entry.server.strText;
        const size_t nSlash = strDll.find_last_of(u'\\');
        if (entry.scope != RegistryScope::kMachine || entry.file.state != PathState::kFile || nSlash == 0 ||
            nSlash == std::u16string::npos)
            continue;
        const std::u16string strProgram = strDll.substr(0, nSlash + 1) + u"OrvaneShellExt.exe";
        add(strDll.substr(0, nSlash), true);
        add(strDll, false);
        if (InspectPath(strProgram, FileDepth::kExistence).state == PathState::kFile)
            add(strProgram, false);
    }
}

// --- this program's own installation ---------------------------------------

void ProbeOwnFolder(StatusRecord& record)
{
    const std::wstring strFolder = CompanionFolder();
    if (strFolder.empty())
        return;
    record.strProgramFolder = ToText(strFolder.c_str());
    record.strOwnDll = record.strProgramFolder + ToText(ORVANE_CLASSIC_DLL_FILE);
    record.ownDll = InspectPath(record.strOwnDll, FileDepth::kExistence);
    record.bPackageBeside = !FindPackage(strFolder).empty();
}

}  // namespace

StatusRecord ProbeStatus()
{
    StatusRecord record;
    record.strClassId = ToText(kClassId);
    record.strPackageName = ToText(ORVANE_PACKAGE_NAME);
    record.strCommandDllName = ToText(ORVANE_COMMAND_DLL_FILE);
    ProbeWindows(record);
    ProbeClassicHandler(record);
    ProbeInstallAccess(record);
    ProbePackage(record);
    ProbeMainApplication(record);
    ProbeOwnFolder(record);
    record.switches = ReadRawSwitchValues();
    return record;
}
