// Self-registration of the built DLL, driven as installers and users drive
// it (regsvr32, DllInstall), with every entry read back from the registry;
// and the agreement of the registry scripts, the type library and the GUIDs
// that the code uses.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ShellExt/module/Guids.h"
#include "ShellExt/registration/TypeLibrary.h"
#include "tests/win/ServerTestSupport.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

const std::wstring kSimpleShlExtKey = L"CLSID\\" ORVANE_CLSID_SIMPLESHLEXT_TEXT;
const std::wstring kCompRegKey = L"CLSID\\" ORVANE_CLSID_COMPREG_TEXT;
const std::wstring kHandlerKey = L"*\\shellex\\ContextMenuHandlers\\Orvane";
const std::wstring kTypeLibKey = L"TypeLib\\" ORVANE_LIBID_TEXT;

struct ExpectedValue
{
    std::wstring strKey;
    const wchar_t* pszValue;  // null: the default value
    std::wstring strData;
};

// Everything the two scripts write, for a DLL at strDll.
std::vector<ExpectedValue> ScriptEntries(const std::wstring& strDll)
{
    return {
        {kCompRegKey, nullptr, L"CompReg Class"},
        {kCompRegKey + L"\\InprocServer32", nullptr, strDll},
        {kCompRegKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kCompRegKey + L"\\TypeLib", nullptr, ORVANE_LIBID_TEXT},
        {kCompRegKey + L"\\Version", nullptr, L"2.0"},
        {kSimpleShlExtKey, nullptr, L"Orvane Shell Extension"},
        {kSimpleShlExtKey + L"\\InprocServer32", nullptr, strDll},
        {kSimpleShlExtKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kSimpleShlExtKey + L"\\TypeLib", nullptr, ORVANE_LIBID_TEXT},
        {kSimpleShlExtKey + L"\\Version", nullptr, L"2.1"},
        {kHandlerKey, nullptr, ORVANE_CLSID_SIMPLESHLEXT_TEXT},
    };
}

std::wstring TypeLibPathKey()
{
    return kTypeLibKey + L"\\1.0\\0\\" + SysKindName();
}

const wchar_t* HiveName(HKEY hHive)
{
    return hHive == HKEY_LOCAL_MACHINE ? L"machine" : L"user";
}

void ExpectScriptsRegistered(HKEY hHive, const std::wstring& strDll)
{
    for (const ExpectedValue& expected : ScriptEntries(strDll))
    {
        std::wstring strData;
        EXPECT_TRUE(ReadClassesString(hHive, expected.strKey, expected.pszValue, strData))
            << WideToUtf8(HiveName(hHive)) << ": " << WideToUtf8(expected.strKey);
        EXPECT_EQ(expected.strData, strData) << WideToUtf8(expected.strKey);
    }
}

void ExpectScriptsAbsent(HKEY hHive)
{
    for (const std::wstring& strKey : {kCompRegKey, kSimpleShlExtKey, kHandlerKey})
        EXPECT_FALSE(ClassesKeyExists(hHive, strKey)) << WideToUtf8(HiveName(hHive)) << ": " << WideToUtf8(strKey);
}

// The platform's type-library registration, in the given hive.
bool TypeLibRegisteredIn(HKEY hHive, const std::wstring& strDll)
{
    std::wstring strPath, strLibId;
    return ReadClassesString(hHive, TypeLibPathKey(), nullptr, strPath) && strPath == strDll &&
           ReadClassesString(hHive, L"Interface\\" + GuidText(IID_IComponentRegistrar) + L"\\TypeLib", nullptr,
                             strLibId) &&
           strLibId == ORVANE_LIBID_TEXT;
}

void ExpectTypeLibAbsent()
{
    for (HKEY hHive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    {
        EXPECT_FALSE(ClassesKeyExists(hHive, TypeLibPathKey())) << WideToUtf8(HiveName(hHive));
        EXPECT_FALSE(ClassesKeyExists(hHive, L"Interface\\" + GuidText(IID_IComponentRegistrar)))
            << WideToUtf8(HiveName(hHive));
    }
}

// What registration must never remove, in whichever hive it worked.
void ExpectSharedKeysKept(HKEY hHive)
{
    for (const wchar_t* pszKey : {L"CLSID", L"*\\shellex\\ContextMenuHandlers"})
        EXPECT_TRUE(ClassesKeyExists(hHive, pszKey)) << WideToUtf8(HiveName(hHive)) << ": " << WideToUtf8(pszKey);
}

class RegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        RemoveServerRegistrations();
        m_strDll = ServerDllPath();
    }
    void TearDown() override
    {
        RemoveServerRegistrations();
        DeleteClassesTree(HKEY_CURRENT_USER, L"*");
    }

    std::wstring m_strDll;
};

TEST_F(RegistrationTest, Regsvr32RegistersMachineWideAndUnregistersTwiceCleanly)
{
    ASSERT_EQ(0u, RunRegsvr32(L""));
    ExpectScriptsRegistered(HKEY_LOCAL_MACHINE, m_strDll);
    EXPECT_TRUE(TypeLibRegisteredIn(HKEY_LOCAL_MACHINE, m_strDll));
    ExpectScriptsAbsent(HKEY_CURRENT_USER);

    ASSERT_EQ(0u, RunRegsvr32(L"/u"));
    ExpectScriptsAbsent(HKEY_LOCAL_MACHINE);
    ExpectTypeLibAbsent();
    ExpectSharedKeysKept(HKEY_LOCAL_MACHINE);

    // Nothing left to remove is no failure.
    EXPECT_EQ(0u, RunRegsvr32(L"/u"));
}

TEST_F(RegistrationTest, Regsvr32InstallUserRegistersForTheUserOnly)
{
    ASSERT_EQ(0u, RunRegsvr32(L"/n /i:user"));
    ExpectScriptsRegistered(HKEY_CURRENT_USER, m_strDll);
    ExpectScriptsAbsent(HKEY_LOCAL_MACHINE);
    // Wine registers a per-user type library machine-wide.
    EXPECT_TRUE(TypeLibRegisteredIn(HKEY_CURRENT_USER, m_strDll) ||
                TypeLibRegisteredIn(HKEY_LOCAL_MACHINE, m_strDll));

    ASSERT_EQ(0u, RunRegsvr32(L"/u /n /i:user"));
    ExpectScriptsAbsent(HKEY_CURRENT_USER);
    ExpectScriptsAbsent(HKEY_LOCAL_MACHINE);
    ExpectTypeLibAbsent();
    ExpectSharedKeysKept(HKEY_CURRENT_USER);
}

TEST_F(RegistrationTest, RegisteringAgainReplacesWhatTheEarlierRegistrationLeft)
{
    ASSERT_EQ(0u, RunRegsvr32(L""));
    CreateClassesKey(HKEY_LOCAL_MACHINE, kSimpleShlExtKey + L"\\Foreign");
    WriteClassesString(HKEY_LOCAL_MACHINE, kSimpleShlExtKey + L"\\Version", nullptr, L"9.9");
    WriteClassesString(HKEY_LOCAL_MACHINE, kHandlerKey, L"Stale", L"x");

    ASSERT_EQ(0u, RunRegsvr32(L""));
    ExpectScriptsRegistered(HKEY_LOCAL_MACHINE, m_strDll);
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, kSimpleShlExtKey + L"\\Foreign"));
    std::wstring strStale;
    EXPECT_FALSE(ReadClassesString(HKEY_LOCAL_MACHINE, kHandlerKey, L"Stale", strStale));
    EXPECT_EQ(0u, RunRegsvr32(L"/u"));
}

TEST_F(RegistrationTest, UnregisteringKeepsAClassKeyThatSomeoneElseAddedASubkeyTo)
{
    ASSERT_EQ(0u, RunRegsvr32(L""));
    CreateClassesKey(HKEY_LOCAL_MACHINE, kSimpleShlExtKey + L"\\Foreign\\Deeper");

    ASSERT_EQ(0u, RunRegsvr32(L"/u"));
    EXPECT_TRUE(ClassesKeyExists(HKEY_LOCAL_MACHINE, kSimpleShlExtKey + L"\\Foreign\\Deeper"));
    for (const wchar_t* pszSubkey : {L"\\InprocServer32", L"\\TypeLib", L"\\Version"})
        EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, kSimpleShlExtKey + pszSubkey)) << WideToUtf8(pszSubkey);
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, kCompRegKey));
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, kHandlerKey));
    ExpectTypeLibAbsent();
}

TEST_F(RegistrationTest, InstallCommandLineChoosesUserOnlyForExactlyUser)
{
    struct
    {
        const wchar_t* pszCmdLine;
        HKEY hExpectedHive;
    } const aCases[] = {
        {L"user", HKEY_CURRENT_USER},  {L"USER", HKEY_CURRENT_USER},   {L"uSeR", HKEY_CURRENT_USER},
        {L"users", HKEY_LOCAL_MACHINE}, {L"user ", HKEY_LOCAL_MACHINE}, {L"use", HKEY_LOCAL_MACHINE},
        {L"", HKEY_LOCAL_MACHINE},      {nullptr, HKEY_LOCAL_MACHINE},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.pszCmdLine ? WideToUtf8(c.pszCmdLine) : "(null)");
        // A fresh load for each case: the per-user choice lasts while the DLL stays loaded.
        CServerDll dll;
        ASSERT_TRUE(dll.IsLoaded());
        ASSERT_EQ(S_OK, dll.Install(TRUE, c.pszCmdLine));
        HKEY hOther = c.hExpectedHive == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        ExpectScriptsRegistered(c.hExpectedHive, m_strDll);
        ExpectScriptsAbsent(hOther);

        ASSERT_EQ(S_OK, dll.Install(FALSE, c.pszCmdLine));
        ExpectScriptsAbsent(c.hExpectedHive);
        ExpectTypeLibAbsent();
        ASSERT_EQ(S_OK, dll.CanUnloadNow());
    }
}

TEST_F(RegistrationTest, FailedInstallationIsUndoneWholeAndTheThreadLocaleIsRestored)
{
    // Registry keys under a volatile key must be volatile too, so the
    // extension's script fails at ContextMenuHandlers, after the module's
    // script and the extension's class key were written.
    CreateClassesKey(HKEY_CURRENT_USER, L"*");
    CreateClassesKey(HKEY_CURRENT_USER, L"*\\shellex", true);
    const LCID lcidGerman = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    ASSERT_TRUE(::SetThreadLocale(lcidGerman));

    {
        CServerDll dll;
        ASSERT_TRUE(dll.IsLoaded());
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), dll.Install(TRUE, L"user"));
        EXPECT_EQ(lcidGerman, ::GetThreadLocale());
        ExpectScriptsAbsent(HKEY_CURRENT_USER);
        ExpectScriptsAbsent(HKEY_LOCAL_MACHINE);
        ExpectTypeLibAbsent();
        EXPECT_TRUE(ClassesKeyExists(HKEY_CURRENT_USER, L"*\\shellex"));
    }

    // The same through regsvr32, which reports the failure.
    EXPECT_NE(0u, RunRegsvr32(L"/n /i:user"));
    ExpectScriptsAbsent(HKEY_CURRENT_USER);
    ExpectTypeLibAbsent();

    // Plain registration keeps the caller's locale too.
    {
        CServerDll dll;
        ASSERT_TRUE(dll.IsLoaded());
        EXPECT_EQ(S_OK, dll.RegisterServer());
        EXPECT_EQ(lcidGerman, ::GetThreadLocale());
        EXPECT_EQ(S_OK, dll.UnregisterServer());
        EXPECT_EQ(lcidGerman, ::GetThreadLocale());
    }
    ::SetThreadLocale(LOCALE_USER_DEFAULT);
}

TEST_F(RegistrationTest, PathWithSingleQuotesArrivesIntact)
{
    std::wstring strFolder = MakeTempFolder(L"o'brien's");
    std::wstring strDll = strFolder + L"\\it's.dll";
    ASSERT_TRUE(::CopyFileW(m_strDll.c_str(), strDll.c_str(), FALSE));
    {
        CServerDll dll(strDll);
        ASSERT_TRUE(dll.IsLoaded());
        ASSERT_EQ(S_OK, dll.RegisterServer());
        ExpectScriptsRegistered(HKEY_LOCAL_MACHINE, strDll);
        EXPECT_TRUE(TypeLibRegisteredIn(HKEY_LOCAL_MACHINE, strDll));
        EXPECT_EQ(S_OK, dll.UnregisterServer());
        ExpectScriptsAbsent(HKEY_LOCAL_MACHINE);
    }
    DeleteFolderTree(strFolder);
}

TEST_F(RegistrationTest, PathLongerThanMaxPathFailsInsteadOfRegisteringACutPath)
{
    std::wstring strFolder = MakeTempFolder(L"long");
    std::wstring strDeep = L"\\\\?\\" + strFolder;
    std::vector<std::wstring> vecFolders;
    while (strDeep.size() < 4 + MAX_PATH + 20)
    {
        strDeep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(::CreateDirectoryW(strDeep.c_str(), nullptr));
        vecFolders.push_back(strDeep);
    }
    std::wstring strDll = strDeep + L"\\OrvaneShlExt.dll";
    ASSERT_TRUE(::CopyFileW(m_strDll.c_str(), strDll.c_str(), FALSE));
    {
        CServerDll dll(strDll);
        if (!dll.IsLoaded())
            GTEST_SKIP() << "this system cannot load a DLL from a path longer than MAX_PATH";
        const HRESULT hrTooLong = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(hrTooLong, dll.RegisterServer());
        EXPECT_EQ(hrTooLong, dll.Install(TRUE, L"user"));
        EXPECT_EQ(hrTooLong, dll.UnregisterServer());
        ExpectScriptsAbsent(HKEY_LOCAL_MACHINE);
        ExpectScriptsAbsent(HKEY_CURRENT_USER);
    }
    ::DeleteFileW(strDll.c_str());
    for (auto it = vecFolders.rbegin(); it != vecFolders.rend(); ++it)
        ::RemoveDirectoryW(it->c_str());
    DeleteFolderTree(strFolder);
}

TEST_F(RegistrationTest, ComCreatesAWorkingExtensionFromTheRegistration)
{
    ASSERT_EQ(0u, RunRegsvr32(L""));
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        IContextMenu* pMenu = nullptr;
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_SimpleShlExt, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                           reinterpret_cast<void**>(&pMenu)));
        // COM loaded the built DLL, not this program's copy of the code.
        wchar_t szDllName[MAX_PATH];
        wcscpy(szDllName, ::PathFindFileNameW(m_strDll.c_str()));
        EXPECT_NE(nullptr, ::GetModuleHandleW(szDllName));

        HMENU hMenu = ::CreatePopupMenu();
        HRESULT hr = pMenu->QueryContextMenu(hMenu, 0, 100, 200, CMF_NORMAL);
        EXPECT_TRUE(SUCCEEDED(hr) && HRESULT_CODE(hr) > 0) << std::hex << hr;
        EXPECT_GT(::GetMenuItemCount(hMenu), 0);
        ::DestroyMenu(hMenu);

        IShellExtInit* pInit = nullptr;
        EXPECT_EQ(S_OK, pMenu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&pInit)));
        void* pPersist = nullptr;
        EXPECT_EQ(E_NOINTERFACE, pMenu->QueryInterface(IID_IPersist, &pPersist));
        if (pInit)
            pInit->Release();
        pMenu->Release();
    }
    ::CoUninitialize();
    EXPECT_EQ(0u, RunRegsvr32(L"/u"));
}

// The resource bytes of one of the DLL's registry scripts.
std::string LoadScript(HMODULE hDll, UINT nId)
{
    HRSRC hResource = ::FindResourceW(hDll, MAKEINTRESOURCEW(nId), L"REGISTRY");
    if (hResource == nullptr)
        return std::string();
    const char* pBytes = static_cast<const char*>(::LockResource(::LoadResource(hDll, hResource)));
    return std::string(pBytes, ::SizeofResource(hDll, hResource));
}

std::multiset<std::wstring> GuidsIn(const std::string& strScript)
{
    std::multiset<std::wstring> setGuids;
    const std::regex guidPattern("\\{[0-9A-Fa-f-]{36}\\}");
    for (auto it = std::sregex_iterator(strScript.begin(), strScript.end(), guidPattern);
         it != std::sregex_iterator(); ++it)
        setGuids.insert(Widen(it->str()));
    return setGuids;
}

TEST(RegistrationResourcesTest, ScriptsAreTabIndentedCrLfTextNamingTheFixedGuids)
{
    // The registry form in Guids.h is that of the binary GUIDs.
    EXPECT_EQ(ORVANE_CLSID_SIMPLESHLEXT_TEXT, GuidText(CLSID_SimpleShlExt));
    EXPECT_EQ(ORVANE_CLSID_COMPREG_TEXT, GuidText(CLSID_CompReg));
    EXPECT_EQ(ORVANE_LIBID_TEXT, GuidText(LIBID_SimpleExtLib));
    EXPECT_EQ(ORVANE_APPID_TEXT, GuidText(APPID_SimpleExt));

    HMODULE hDll = ::LoadLibraryExW(ServerDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, hDll);
    struct
    {
        UINT nId;
        std::multiset<std::wstring> setGuids;
    } const aScripts[] = {
        {101, {ORVANE_CLSID_COMPREG_TEXT, ORVANE_LIBID_TEXT}},
        {106, {ORVANE_CLSID_SIMPLESHLEXT_TEXT, ORVANE_CLSID_SIMPLESHLEXT_TEXT, ORVANE_LIBID_TEXT}},
    };
    for (const auto& script : aScripts)
    {
        SCOPED_TRACE(script.nId);
        std::string strText = LoadScript(hDll, script.nId);
        ASSERT_FALSE(strText.empty());
        EXPECT_EQ(script.setGuids, GuidsIn(strText));
        EXPECT_EQ(0u, strText.compare(0, 6, "HKCR\r\n"));
        EXPECT_EQ(0u, strText.compare(strText.size() - 3, 3, "}\r\n"));
        for (size_t i = 0; i < strText.size(); ++i)
        {
            if (strText[i] == '\n')
                EXPECT_TRUE(i > 0 && strText[i - 1] == '\r') << "bare LF at " << i;
            if (strText[i] == '\r')
                EXPECT_TRUE(i + 1 < strText.size() && strText[i + 1] == '\n') << "bare CR at " << i;
            if (i == 0 || strText[i - 1] == '\n')
                EXPECT_NE(' ', strText[i]) << "indented with spaces at " << i;
        }
    }
    EXPECT_NE(nullptr, ::FindResourceW(hDll, MAKEINTRESOURCEW(1), L"TYPELIB"));
    ::FreeLibrary(hDll);
}

TEST(RegistrationResourcesTest, ExtensionIsFoundInTheFileNameOnly)
{
    struct
    {
        const wchar_t* pszPath;
        size_t nExpected;
    } const aCases[] = {
        {L"C:\\bin\\ext.dll", 10},
        {L"C:\\bin\\ext.v2.dll", 13},
        {L"C:\\bin.d\\ext", 12},
        {L"C:\\bin.d\\ext.", 12},
        {L"ext", 3},
        {L"", 0},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(c.nExpected, FindPathExtension(c.pszPath)) << WideToUtf8(c.pszPath);
}

// A module without its own "TYPELIB" resource gets the library from the
// ".tlb" file of the same name beside it.
TEST(RegistrationResourcesTest, TypeLibraryFallsBackToATlbFileBesideTheModule)
{
    std::wstring strFolder = MakeTempFolder(L"tlb");
    std::wstring strModule = strFolder + L"\\Plain.v1.exe";
    ASSERT_TRUE(::CopyFileW(StandinPath().c_str(), strModule.c_str(), FALSE));
    {
        HMODULE hDll = ::LoadLibraryExW(ServerDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, hDll);
        HRSRC hResource = ::FindResourceW(hDll, MAKEINTRESOURCEW(1), L"TYPELIB");
        ASSERT_NE(nullptr, hResource);
        const uint8_t* pBytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(hDll, hResource)));
        WriteFileBytes(strFolder + L"\\Plain.v1.tlb",
                       std::vector<uint8_t>(pBytes, pBytes + ::SizeofResource(hDll, hResource)));
        ::FreeLibrary(hDll);
    }

    HMODULE hModule = ::LoadLibraryW(strModule.c_str());
    ASSERT_NE(nullptr, hModule);
    BSTR bstrPath = nullptr;
    ITypeLib* pTypeLib = nullptr;
    EXPECT_EQ(S_OK, LoadModuleTypeLib(hModule, &bstrPath, &pTypeLib));
    EXPECT_EQ(strFolder + L"\\Plain.v1.tlb", std::wstring(bstrPath ? bstrPath : L""));
    if (pTypeLib)
    {
        TLIBATTR* pAttr = nullptr;
        ASSERT_EQ(S_OK, pTypeLib->GetLibAttr(&pAttr));
        EXPECT_EQ(LIBID_SimpleExtLib, pAttr->guid);
        pTypeLib->ReleaseTLibAttr(pAttr);
        pTypeLib->Release();
    }
    ::SysFreeString(bstrPath);
    ::FreeLibrary(hModule);

    // Without the file there is nothing to load.
    ::DeleteFileW((strFolder + L"\\Plain.v1.tlb").c_str());
    hModule = ::LoadLibraryW(strModule.c_str());
    ASSERT_NE(nullptr, hModule);
    EXPECT_TRUE(FAILED(LoadModuleTypeLib(hModule, &bstrPath, &pTypeLib)));
    EXPECT_EQ(nullptr, pTypeLib);
    ::FreeLibrary(hModule);
    DeleteFolderTree(strFolder);
}

template <class T>
class CReleaser
{
public:
    ~CReleaser()
    {
        if (p)
            p->Release();
    }
    T* p = nullptr;
};

std::wstring TypeName(ITypeInfo* pInfo)
{
    BSTR bstrName = nullptr;
    pInfo->GetDocumentation(MEMBERID_NIL, &bstrName, nullptr, nullptr, nullptr);
    std::wstring strName = bstrName ? bstrName : L"";
    ::SysFreeString(bstrName);
    return strName;
}

// Name of the library that describes the base interface of pInfo, and the
// base's name.
void DescribeBase(ITypeInfo* pInfo, std::wstring& strBase, GUID& libidContaining)
{
    HREFTYPE hRef = 0;
    CReleaser<ITypeInfo> base;
    CReleaser<ITypeLib> containing;
    UINT nIndex = 0;
    ASSERT_EQ(S_OK, pInfo->GetRefTypeOfImplType(0, &hRef));
    ASSERT_EQ(S_OK, pInfo->GetRefTypeInfo(hRef, &base.p));
    strBase = TypeName(base.p);
    ASSERT_EQ(S_OK, base.p->GetContainingTypeLib(&containing.p, &nIndex));
    TLIBATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, containing.p->GetLibAttr(&pAttr));
    libidContaining = pAttr->guid;
    containing.p->ReleaseTLibAttr(pAttr);
}

TEST(RegistrationResourcesTest, TypeLibraryHoldsExactlyItsOwnFourTypesAndRefersToStdole2ForTheRest)
{
    const GUID libidStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        CReleaser<ITypeLib> lib;
        ASSERT_EQ(S_OK, ::LoadTypeLibEx(ServerDllPath().c_str(), REGKIND_NONE, &lib.p));
        TLIBATTR* pLibAttr = nullptr;
        ASSERT_EQ(S_OK, lib.p->GetLibAttr(&pLibAttr));
        EXPECT_EQ(LIBID_SimpleExtLib, pLibAttr->guid);
        EXPECT_EQ(1, pLibAttr->wMajorVerNum);
        EXPECT_EQ(0, pLibAttr->wMinorVerNum);
        EXPECT_EQ(0u, pLibAttr->lcid);
        EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, pLibAttr->syskind);
        lib.p->ReleaseTLibAttr(pLibAttr);
        BSTR bstrLibName = nullptr;
        ASSERT_EQ(S_OK, lib.p->GetDocumentation(MEMBERID_NIL, &bstrLibName, nullptr, nullptr, nullptr));
        EXPECT_STREQ(L"SimpleExtLib", bstrLibName);
        ::SysFreeString(bstrLibName);
        // No copy of IUnknown or IDispatch: only the library's own types.
        EXPECT_EQ(4u, lib.p->GetTypeInfoCount());

        struct
        {
            const GUID* pguid;
            const wchar_t* pszName;
            TYPEKIND kind;
            WORD wFlags;
            const wchar_t* pszBase;  // implemented interface, or base interface
            bool bBaseInStdOle;
        } const aTypes[] = {
            {&CLSID_CompReg, L"CompReg", TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"IComponentRegistrar", false},
            {&CLSID_SimpleShlExt, L"SimpleShlExt", TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"ISimpleShlExt", false},
            {&IID_IComponentRegistrar, L"IComponentRegistrar", TKIND_DISPATCH,
             TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, L"IDispatch", true},
            {&IID_ISimpleShlExt, L"ISimpleShlExt", TKIND_INTERFACE, 0, L"IUnknown", true},
        };
        for (const auto& expected : aTypes)
        {
            SCOPED_TRACE(WideToUtf8(expected.pszName));
            CReleaser<ITypeInfo> info;
            ASSERT_EQ(S_OK, lib.p->GetTypeInfoOfGuid(*expected.pguid, &info.p));
            EXPECT_EQ(expected.pszName, TypeName(info.p));
            TYPEATTR* pAttr = nullptr;
            ASSERT_EQ(S_OK, info.p->GetTypeAttr(&pAttr));
            EXPECT_EQ(expected.kind, pAttr->typekind);
            EXPECT_EQ(expected.wFlags, pAttr->wTypeFlags);
            EXPECT_EQ(1, pAttr->cImplTypes);
            info.p->ReleaseTypeAttr(pAttr);

            std::wstring strBase;
            GUID libidBase = GUID_NULL;
            DescribeBase(info.p, strBase, libidBase);
            EXPECT_EQ(expected.pszBase, strBase);
            EXPECT_EQ(expected.bBaseInStdOle ? libidStdOle : LIBID_SimpleExtLib, libidBase);
        }

        // The vtable side of the dual interface: automation-compatible, derived
        // from stdole2's IDispatch, six methods with dispatch ids 1 to 6.
        CReleaser<ITypeInfo> dispatch, vtable;
        ASSERT_EQ(S_OK, lib.p->GetTypeInfoOfGuid(IID_IComponentRegistrar, &dispatch.p));
        HREFTYPE hRef = 0;
        ASSERT_EQ(S_OK, dispatch.p->GetRefTypeOfImplType(-1, &hRef));
        ASSERT_EQ(S_OK, dispatch.p->GetRefTypeInfo(hRef, &vtable.p));
        std::wstring strBase;
        GUID libidBase = GUID_NULL;
        DescribeBase(vtable.p, strBase, libidBase);
        EXPECT_EQ(L"IDispatch", strBase);
        EXPECT_EQ(libidStdOle, libidBase);

        TYPEATTR* pAttr = nullptr;
        ASSERT_EQ(S_OK, vtable.p->GetTypeAttr(&pAttr));
        EXPECT_EQ(TKIND_INTERFACE, pAttr->typekind);
        EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, pAttr->wTypeFlags);
        ASSERT_EQ(6, pAttr->cFuncs);
        vtable.p->ReleaseTypeAttr(pAttr);

        const struct
        {
            const wchar_t* pszName;
            std::vector<std::wstring> vecParams;
            std::vector<VARTYPE> vecTypes;  // VT_PTR: pointer to SAFEARRAY of BSTR
        } aMethods[] = {
            {L"Attach", {L"bstrPath"}, {VT_BSTR}},
            {L"RegisterAll", {}, {}},
            {L"UnregisterAll", {}, {}},
            {L"GetComponents", {L"pbstrCLSIDs", L"pbstrDescriptions"}, {VT_PTR, VT_PTR}},
            {L"RegisterComponent", {L"bstrCLSID"}, {VT_BSTR}},
            {L"UnregisterComponent", {L"bstrCLSID"}, {VT_BSTR}},
        };
        for (UINT i = 0; i < 6; ++i)
        {
            const auto& expected = aMethods[i];
            SCOPED_TRACE(WideToUtf8(expected.pszName));
            FUNCDESC* pFunc = nullptr;
            ASSERT_EQ(S_OK, vtable.p->GetFuncDesc(i, &pFunc));
            EXPECT_EQ(static_cast<MEMBERID>(i + 1), pFunc->memid);
            EXPECT_EQ(VT_HRESULT, pFunc->elemdescFunc.tdesc.vt);
            BSTR abstrNames[4] = {};
            UINT nNames = 0;
            ASSERT_EQ(S_OK, vtable.p->GetNames(pFunc->memid, abstrNames, 4, &nNames));
            std::vector<std::wstring> vecNames;
            for (UINT n = 0; n < nNames; ++n)
            {
                vecNames.push_back(abstrNames[n]);
                ::SysFreeString(abstrNames[n]);
            }
            ASSERT_EQ(expected.vecParams.size() + 1, vecNames.size());
            EXPECT_EQ(expected.pszName, vecNames[0]);
            EXPECT_EQ(expected.vecParams, std::vector<std::wstring>(vecNames.begin() + 1, vecNames.end()));
            ASSERT_EQ(static_cast<SHORT>(expected.vecTypes.size()), pFunc->cParams);
            for (SHORT p = 0; p < pFunc->cParams; ++p)
            {
                const TYPEDESC& type = pFunc->lprgelemdescParam[p].tdesc;
                EXPECT_EQ(expected.vecTypes[p], type.vt);
                if (type.vt == VT_PTR)
                {
                    EXPECT_EQ(PARAMFLAG_FOUT, pFunc->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FOUT);
                    ASSERT_EQ(VT_SAFEARRAY, type.lptdesc->vt);
                    EXPECT_EQ(VT_BSTR, type.lptdesc->lptdesc->vt);
                }
            }
            vtable.p->ReleaseFuncDesc(pFunc);
        }
    }
    ::CoUninitialize();
}

}  // namespace
