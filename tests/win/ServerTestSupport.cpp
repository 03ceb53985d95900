#include "tests/win/ServerTestSupport.h"

#include "tests/win/TestSupport.h"

namespace testing_support {

namespace {

std::wstring ClassesPath(const std::wstring& strKey)
{
    return L"Software\\Classes\\" + strKey;
}

}  // namespace

std::wstring ServerDllPath()
{
    return WinPathFromEnv(L"ORVANE_DLL");
}

CServerDll::CServerDll(const std::wstring& strPath)
{
    m_hModule = ::LoadLibraryW(strPath.c_str());
    if (m_hModule == nullptr)
        return;
    Find(m_hModule);
    if (!HasClassObject() || !HasRegistration())
    {
        ::FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}

CServerDll::~CServerDll()
{
    if (m_hModule != nullptr && MayBeFreed())
        ::FreeLibrary(m_hModule);
}

IClassFactory* CServerDll::GetFactory() const
{
    IClassFactory* pFactory = nullptr;
    if (FAILED(GetClassObject(CLSID_SimpleShlExt, IID_IClassFactory, reinterpret_cast<void**>(&pFactory))))
        return nullptr;
    return pFactory;
}

DWORD RunRegsvr32(const std::wstring& strOptions, const std::wstring& strDll)
{
    std::wstring strCommand = L"regsvr32.exe /s " + strOptions + L" \"" + strDll + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // On a loaded machine Wine now and then fails to bring a new process up
    // (ERROR_INTERNAL_ERROR, before any of its code ran): that start is
    // tried again, any other failure is the answer.
    BOOL bStarted = FALSE;
    for (int nTry = 0; nTry < 3 && !bStarted; ++nTry)
    {
        bStarted = ::CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                    &process);
        if (!bStarted && ::GetLastError() != ERROR_INTERNAL_ERROR)
            break;
    }
    if (!bStarted)
        return ::GetLastError() | 0x10000;
    DWORD dwExitCode = 0xFFFFFFFF;
    if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &dwExitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return dwExitCode;
}

bool ClassesKeyExists(HKEY hHive, const std::wstring& strKey)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hHive, ClassesPath(strKey).c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

bool ReadClassesString(HKEY hHive, const std::wstring& strKey, const wchar_t* pszValue, std::wstring& strData)
{
    wchar_t szData[1024] = {};
    DWORD cbData = sizeof(szData) - sizeof(wchar_t);
    if (::RegGetValueW(hHive, ClassesPath(strKey).c_str(), pszValue, RRF_RT_REG_SZ, nullptr, szData, &cbData) !=
        ERROR_SUCCESS)
        return false;
    strData = szData;
    return true;
}

void WriteClassesString(HKEY hHive, const std::wstring& strKey, const wchar_t* pszValue, const std::wstring& strData)
{
    ::RegSetKeyValueW(hHive, ClassesPath(strKey).c_str(), pszValue, REG_SZ, strData.c_str(),
                      static_cast<DWORD>((strData.size() + 1) * sizeof(wchar_t)));
}

void CreateClassesKey(HKEY hHive, const std::wstring& strKey, bool bVolatile)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(hHive, ClassesPath(strKey).c_str(), 0, nullptr,
                          bVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &hKey,
                          nullptr) == ERROR_SUCCESS)
        ::RegCloseKey(hKey);
}

void DeleteClassesTree(HKEY hHive, const std::wstring& strKey)
{
    ::RegDeleteTreeW(hHive, ClassesPath(strKey).c_str());
    ::RegDeleteKeyW(hHive, ClassesPath(strKey).c_str());
}

void RemoveServerRegistrations()
{
    const std::wstring astrKeys[] = {
        L"CLSID\\" ORVANE_CLSID_SIMPLESHLEXT_TEXT,
        L"CLSID\\" ORVANE_CLSID_COMPREG_TEXT,
        L"*\\shellex\\ContextMenuHandlers\\Orvane",
        L"TypeLib\\" ORVANE_LIBID_TEXT,
        L"Interface\\" + GuidText(IID_IComponentRegistrar),
        L"Interface\\" + GuidText(IID_ISimpleShlExt),
    };
    for (HKEY hHive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const std::wstring& strKey : astrKeys)
            DeleteClassesTree(hHive, strKey);
}

std::wstring GuidText(REFGUID guid)
{
    wchar_t szGuid[40] = {};
    ::StringFromGUID2(guid, szGuid, 40);
    return szGuid;
}

const wchar_t* SysKindName()
{
    return sizeof(void*) == 8 ? L"win64" : L"win32";
}

}  // namespace testing_support
