// The extension object as the shell's icon handler: Load, then
// GetIconLocation, for marked files (alternate data streams), for files whose
// type names a default icon, and for types whose icon comes from the main
// application's icon cache. File types are made for each test under
// HKEY_CLASSES_ROOT and removed again.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <climits>
#include <string>
#include <vector>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

const wchar_t kCacheKey[] = L"SOFTWARE\\Kelvoss\\Orvane\\Cache";
// Stands for the full name of the file asked about in expected locations.
const wchar_t kOwnName[] = L"<own name>";
// A resource string that Wine's SHLoadIndirectString resolves (shell32's
// string 7); "@{...}" and "@dll,-id" texts naming no string fail there.
const wchar_t kResolvableIndirect[] = L"@shell32.dll,-7";
const wchar_t kUnresolvableIndirect[] = L"@{Orvane.Test_1.0_x64__kelvoss?ms-resource://Orvane/Files/doc.png}";

std::wstring ClassesKey(const std::wstring& strName)
{
    return L"Software\\Classes\\" + strName;
}

void SetDefaultString(const std::wstring& strKey, const std::wstring& strValue)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &hKey, nullptr));
    ::RegSetValueExW(hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                     (DWORD)((strValue.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hKey);
}

// A file type known only while the object lives: extension -> program
// identifier -> DefaultIcon. Wine's association lookup reads
// HKEY_LOCAL_MACHINE\Software\Classes only, not the per-user classes.
class TestFileType
{
public:
    TestFileType(const std::wstring& strExtension, const std::wstring& strDefaultIcon)
        : m_strExtension(strExtension), m_strProgId(L"Orvane.IconTest" + strExtension)
    {
        SetDefaultString(ClassesKey(m_strExtension), m_strProgId);
        SetDefaultString(ClassesKey(m_strProgId + L"\\DefaultIcon"), strDefaultIcon);
    }
    ~TestFileType()
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassesKey(m_strExtension).c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassesKey(m_strProgId).c_str());
    }
    TestFileType(const TestFileType&) = delete;
    TestFileType& operator=(const TestFileType&) = delete;

private:
    std::wstring m_strExtension;
    std::wstring m_strProgId;
};

void SetCacheValue(const std::wstring& strName, const std::wstring& strFile)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kCacheKey, 0, nullptr, 0,
                                               KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &hKey, nullptr));
    ::RegSetValueExW(hKey, strName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(strFile.c_str()),
                     (DWORD)((strFile.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hKey);
}

// What the indirect string resolves to, taken from the resource itself.
std::wstring ResolvedIndirectText()
{
    wchar_t szText[MAX_PATH] = {};
    ::LoadStringW(::GetModuleHandleW(L"shell32.dll"), 7, szText, MAX_PATH);
    return szText;
}

std::wstring CacheFolder()
{
    return EnvW(L"AppData") + L"\\Kelvoss\\Orvane\\Cache\\";
}

// Puts the environment variable back when the test ends.
class ScopedEnvironment
{
public:
    // A null value removes the variable.
    ScopedEnvironment(const wchar_t* pszName, const wchar_t* pszValue)
        : m_pszName(pszName), m_strSaved(EnvW(pszName))
    {
        ::SetEnvironmentVariableW(m_pszName, pszValue);
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(m_pszName, m_strSaved.c_str()); }

private:
    const wchar_t* m_pszName;
    std::wstring m_strSaved;
};

struct IconAnswer
{
    HRESULT hr = E_FAIL;
    std::wstring strLocation;
    int nIndex = -1;
    UINT uFlags = 0;
};

class IconHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        m_strFolder = MakeTempFolder(L"icons");
        m_pObject = new CComObject<CSimpleShlExt>();
        m_pObject->AddRef();
    }
    void TearDown() override
    {
        m_pObject->Release();
        for (const std::wstring& strStream : m_vecStreams)
            ::DeleteFileW(strStream.c_str());
        DeleteFolderTree(m_strFolder);
        DeleteProductKeys();
        // The cache key's vendor parent, if nothing else lives there.
        ::RegDeleteKeyExW(HKEY_CURRENT_USER, L"Software\\Kelvoss", KEY_WOW64_64KEY, 0);
    }

    std::wstring MakeFile(const std::wstring& strName)
    {
        std::wstring strPath = m_strFolder + L"\\" + strName;
        WriteTextFile(strPath, "content");
        return strPath;
    }

    void AddStream(const std::wstring& strFile, const wchar_t* pszSuffix)
    {
        m_vecStreams.push_back(strFile + pszSuffix);
        WriteFileBytes(m_vecStreams.back(), {0, 0, 1, 0});
        ASSERT_TRUE(FileExists(m_vecStreams.back()));
    }

    // As the shell asks: Load through IPersistFile, then GetIconLocation
    // through IExtractIconW on the same object.
    IconAnswer Ask(const std::wstring& strFile, UINT cchMax = MAX_PATH)
    {
        IconAnswer answer;
        IPersistFile* pPersist = nullptr;
        IExtractIconW* pExtract = nullptr;
        EXPECT_EQ(S_OK, m_pObject->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pPersist)));
        EXPECT_EQ(S_OK, m_pObject->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&pExtract)));
        EXPECT_EQ(S_OK, pPersist->Load(strFile.c_str(), STGM_READ));
        std::vector<wchar_t> vecBuffer(cchMax + 1, L'#');
        answer.hr = pExtract->GetIconLocation(GIL_FORSHELL, vecBuffer.data(), cchMax, &answer.nIndex, &answer.uFlags);
        EXPECT_EQ(L'#', vecBuffer[cchMax]) << "written past cchMax";
        vecBuffer[cchMax] = L'\0';
        answer.strLocation = vecBuffer.data();
        pExtract->Release();
        pPersist->Release();
        return answer;
    }

    // The shell's own default icon: S_FALSE, nothing named.
    static void ExpectLeftToShell(const IconAnswer& answer, const std::string& strWhat)
    {
        EXPECT_EQ(S_FALSE, answer.hr) << strWhat;
        EXPECT_EQ(L"", answer.strLocation) << strWhat;
        EXPECT_EQ(0, answer.nIndex) << strWhat;
        EXPECT_EQ(static_cast<UINT>(GIL_DONTCACHE), answer.uFlags) << strWhat;
    }

    CComObject<CSimpleShlExt>* m_pObject = nullptr;
    std::wstring m_strFolder;
    std::vector<std::wstring> m_vecStreams;
};

TEST_F(IconHandlerTest, MarkedFilesNameTheirStreamOvxFirst)
{
    struct Case
    {
        const char* pszWhat;
        bool bOvx;
        bool bOrvaneIcon;
        const wchar_t* pszExpectedSuffix;
    };
    const Case aCases[] = {
        {"ovx only", true, false, L":ovx"},
        {"orvaneicon only", false, true, L":orvaneicon"},
        {"both", true, true, L":ovx"},
    };
    // The type's own icon must lose against a marker.
    TestFileType type(L".orvtestmark", L"C:\\Icons\\type.ico,4");
    int nFile = 0;
    for (const Case& c : aCases)
    {
        const std::wstring strFile = MakeFile(L"marked" + std::to_wstring(nFile++) + L".orvtestmark");
        if (c.bOvx)
            AddStream(strFile, L":ovx");
        if (c.bOrvaneIcon)
            AddStream(strFile, L":orvaneicon");
        const IconAnswer answer = Ask(strFile);
        EXPECT_EQ(S_OK, answer.hr) << c.pszWhat;
        EXPECT_EQ(strFile + c.pszExpectedSuffix, answer.strLocation) << c.pszWhat;
        EXPECT_EQ(0, answer.nIndex) << c.pszWhat;
        EXPECT_EQ(static_cast<UINT>(GIL_DONTCACHE), answer.uFlags) << c.pszWhat;
    }

    const IconAnswer answer = Ask(MakeFile(L"plain.orvtestmark"));
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_EQ(L"C:\\Icons\\type.ico", answer.strLocation);
    EXPECT_EQ(4, answer.nIndex);
}

TEST_F(IconHandlerTest, UnmarkedFilesGetTheirTypesDefaultIcon)
{
    struct Case
    {
        const wchar_t* pszDefaultIcon;
        const wchar_t* pszLocation;  // kOwnName: the file's own full name
        int nIndex;
    };
    const Case aCases[] = {
        {L"C:\\Tools\\viewer.exe,2", L"C:\\Tools\\viewer.exe", 2},
        {L"\"C:\\Program Files\\App\\app.exe\",-5", L"C:\\Program Files\\App\\app.exe", -5},
        {L"C:\\Icons\\doc.ico", L"C:\\Icons\\doc.ico", 0},
        {L"%1", kOwnName, 0},
        {L"%1,0", kOwnName, 0},
        {L"\"%1\"", kOwnName, 0},
        {L"%1,1", L"%1", 1},
        {L"C:\\Icons\\odd.dll, \t-7", L"C:\\Icons\\odd.dll", -7},
        {L"C:\\Icons\\odd.dll,abc", L"C:\\Icons\\odd.dll", 0},
        {L"C:\\Icons\\odd.dll,99999999999", L"C:\\Icons\\odd.dll", INT_MAX},
        {L"C:\\Icons\\odd.dll,-99999999999", L"C:\\Icons\\odd.dll", INT_MIN},
        // An "@" after the first character is part of a path: no cache lookup.
        {L"C:\\a@b\\icons.dll,3", L"C:\\a@b\\icons.dll", 3},
    };
    // Would be found if "C:\a@b\icons.dll,3" were taken for an indirect string.
    SetCacheValue(L"C:\\a@b\\icons.dll,3,0", L"wrong.ico");

    int nType = 0;
    for (const Case& c : aCases)
    {
        const std::wstring strExtension = L".orvtest" + std::to_wstring(++nType);
        TestFileType type(strExtension, c.pszDefaultIcon);
        const std::wstring strFile = MakeFile(L"sample" + strExtension);
        const IconAnswer answer = Ask(strFile);
        const std::string strWhat = WideToUtf8(c.pszDefaultIcon);
        EXPECT_EQ(S_OK, answer.hr) << strWhat;
        EXPECT_EQ(c.pszLocation == kOwnName ? strFile : c.pszLocation, answer.strLocation) << strWhat;
        EXPECT_EQ(c.nIndex, answer.nIndex) << strWhat;
        EXPECT_EQ(static_cast<UINT>(GIL_DONTCACHE), answer.uFlags) << strWhat;
    }
}

TEST_F(IconHandlerTest, FilesWithoutAUsableTypeIconAreLeftToTheShell)
{
    // A folder name's dot makes no extension: ".dir" must not answer for it.
    TestFileType dirType(L".dir", L"C:\\Icons\\dir.ico,1");
    TestFileType emptyType(L".orvtestempty", L"");
    TestFileType commaOnlyType(L".orvtestcomma", L"\"\",3");
    CreateFolderTree(m_strFolder + L"\\my.dir");

    ExpectLeftToShell(Ask(MakeFile(L"my.dir\\README")), "dot in a folder name");
    ExpectLeftToShell(Ask(MakeFile(L"README")), "no dot at all");
    ExpectLeftToShell(Ask(MakeFile(L"unknown.orvtestnotype")), "no association");
    ExpectLeftToShell(Ask(MakeFile(L"empty.orvtestempty")), "empty default icon");
    ExpectLeftToShell(Ask(MakeFile(L"quotes.orvtestcomma")), "nothing but quotes before the comma");
}

TEST_F(IconHandlerTest, IndirectIconsComeFromTheMainApplicationsCache)
{
    const std::wstring strResolved = ResolvedIndirectText();
    ASSERT_FALSE(strResolved.empty());
    TestFileType type(L".orvtestind", kResolvableIndirect);
    const std::wstring strFile = MakeFile(L"doc.orvtestind");

    ExpectLeftToShell(Ask(strFile), "no cache value yet");

    SetCacheValue(strResolved + L",0", L"abc.ico");
    IconAnswer answer = Ask(strFile);
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_EQ(CacheFolder() + L"abc.ico", answer.strLocation);
    EXPECT_EQ(0, answer.nIndex);
    EXPECT_EQ(static_cast<UINT>(GIL_DONTCACHE), answer.uFlags);

    // A comma in the user's folder belongs to the path; only the cached name
    // may carry an index.
    SetCacheValue(strResolved + L",0", L"abc.icl,3");
    {
        ScopedEnvironment appData(L"AppData", L"C:\\users\\Smith, John\\AppData\\Roaming");
        answer = Ask(strFile);
        EXPECT_EQ(S_OK, answer.hr);
        EXPECT_EQ(L"C:\\users\\Smith, John\\AppData\\Roaming\\Kelvoss\\Orvane\\Cache\\abc.icl", answer.strLocation);
        EXPECT_EQ(3, answer.nIndex);
    }
    {
        // "AppData" is read at each request; without it there is no cache.
        ScopedEnvironment appData(L"AppData", nullptr);
        ExpectLeftToShell(Ask(strFile), "no AppData");
    }
    {
        // 260 characters is the cache path's limit; a cut path would be
        // another file.
        const std::wstring strLongFolder = L"C:\\" + std::wstring(MAX_PATH - 20, L'a');
        ScopedEnvironment appData(L"AppData", strLongFolder.c_str());
        ExpectLeftToShell(Ask(strFile), "cache path too long");
    }
}

TEST_F(IconHandlerTest, IndirectIconsThatDoNotResolveAreLeftToTheShell)
{
    wchar_t szResolved[MAX_PATH];
    if (SUCCEEDED(::SHLoadIndirectString(kUnresolvableIndirect, szResolved, MAX_PATH, nullptr)))
        GTEST_SKIP() << "this system resolves package resource strings";
    TestFileType type(L".orvtestpkg", kUnresolvableIndirect);
    // Neither the unresolved text nor an empty one is looked up.
    SetCacheValue(std::wstring(kUnresolvableIndirect) + L",0", L"wrong.ico");
    SetCacheValue(L",0", L"wrong.ico");
    ExpectLeftToShell(Ask(MakeFile(L"doc.orvtestpkg")), "unresolvable indirect string");
}

TEST_F(IconHandlerTest, LocationsThatDoNotFitAreRefusedNotCut)
{
    TestFileType type(L".orvtestfit", L"C:\\Icons\\doc.ico,2");  // 16 characters
    TestFileType selfType(L".orvtestself", L"%1");
    const std::wstring strFile = MakeFile(L"a.orvtestfit");
    const std::wstring strSelf = MakeFile(L"self.orvtestself");
    const std::wstring strMarked = MakeFile(L"m.orvtestfit");
    AddStream(strMarked, L":ovx");

    IconAnswer answer = Ask(strFile, 17);
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_EQ(L"C:\\Icons\\doc.ico", answer.strLocation);
    ExpectLeftToShell(Ask(strFile, 16), "default icon one character too long");

    answer = Ask(strSelf, (UINT)strSelf.size() + 1);
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_EQ(strSelf, answer.strLocation);
    ExpectLeftToShell(Ask(strSelf, (UINT)strSelf.size()), "own name one character too long");

    answer = Ask(strMarked, (UINT)strMarked.size() + 5);
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_EQ(strMarked + L":ovx", answer.strLocation);
    ExpectLeftToShell(Ask(strMarked, (UINT)strMarked.size() + 4), "stream path one character too long");

    // A name of 515 characters leaves room for ":ovx" but not for
    // ":orvaneicon" in the 520-character stream path: with the marker
    // unknown, the type's icon must not be given.
    const std::wstring strLong = m_strFolder + L"\\" + std::wstring(515 - m_strFolder.size() - 1 - 11, L'n') + L".orvtestfit";
    ASSERT_EQ(515u, strLong.size());
    ExpectLeftToShell(Ask(strLong), "orvaneicon stream path beyond its buffer");
}

TEST_F(IconHandlerTest, LoadRefusesNamesItCannotHoldWholeAndForgetsThePreviousFile)
{
    TestFileType type(L".orvtestload", L"C:\\Icons\\doc.ico,2");
    const std::wstring strFile = MakeFile(L"a.orvtestload");
    IPersistFile* pPersist = nullptr;
    ASSERT_EQ(S_OK, m_pObject->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pPersist)));
    wchar_t szLocation[MAX_PATH];
    int nIndex = -1;
    UINT uFlags = 0;

    const std::wstring strLongest = L"C:\\" + std::wstring(2 * MAX_PATH - 1 - 3 - 12, L'n') + L".orvtestload";
    ASSERT_EQ(519u, strLongest.size());
    EXPECT_EQ(S_OK, pPersist->Load(strLongest.c_str(), STGM_READ));

    struct Case
    {
        const char* pszWhat;
        const wchar_t* pszName;
        HRESULT hrLoad;
    };
    const std::wstring strTooLong = strLongest + L"x";
    const Case aCases[] = {
        {"one character beyond the buffer", strTooLong.c_str(), HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)},
        {"no name", nullptr, E_POINTER},
    };
    for (const Case& c : aCases)
    {
        ASSERT_EQ(S_OK, pPersist->Load(strFile.c_str(), STGM_READ));
        ASSERT_EQ(S_OK, m_pObject->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags)) << c.pszWhat;
        EXPECT_EQ(2, nIndex);
        EXPECT_EQ(c.hrLoad, pPersist->Load(c.pszName, STGM_READ)) << c.pszWhat;
        // Not answered for the earlier file, nor for a cut name.
        EXPECT_EQ(S_FALSE, m_pObject->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags)) << c.pszWhat;
        EXPECT_EQ(L'\0', szLocation[0]) << c.pszWhat;
    }
    pPersist->Release();
}

TEST_F(IconHandlerTest, BadArgumentsAreRefusedWithoutWritingThroughNull)
{
    TestFileType type(L".orvtestargs", L"C:\\Icons\\doc.ico,2");
    const std::wstring strFile = MakeFile(L"a.orvtestargs");
    ASSERT_EQ(S_OK, m_pObject->Load(strFile.c_str(), STGM_READ));

    wchar_t szLocation[MAX_PATH] = L"old";
    int nIndex = 7;
    UINT uFlags = 7;
    EXPECT_EQ(E_POINTER, m_pObject->GetIconLocation(0, nullptr, MAX_PATH, &nIndex, &uFlags));
    EXPECT_EQ(E_POINTER, m_pObject->GetIconLocation(0, szLocation, MAX_PATH, nullptr, &uFlags));
    EXPECT_EQ(E_POINTER, m_pObject->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, nullptr));
    EXPECT_EQ(L'\0', szLocation[0]);
    EXPECT_EQ(0, nIndex);
    EXPECT_EQ(0u, uFlags);

    szLocation[0] = L'x';
    EXPECT_EQ(E_INVALIDARG, m_pObject->GetIconLocation(0, szLocation, 0, &nIndex, &uFlags));
    EXPECT_EQ(L'x', szLocation[0]);

    // Without Load there is no file to name.
    CComObject<CSimpleShlExt>* pFresh = new CComObject<CSimpleShlExt>();
    pFresh->AddRef();
    EXPECT_EQ(S_FALSE, pFresh->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags));
    EXPECT_EQ(L'\0', szLocation[0]);
    pFresh->Release();
}

}  // namespace
