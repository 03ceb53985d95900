#include "tests/faults/SweepHost.h"

#include <exdisp.h>
#include <oleauto.h>
#include <shellapi.h>

#include "tests/faults/ImportFaults.h"

namespace {

std::wstring GuidText(const GUID& guid)
{
    wchar_t szGuid[40] = {};
    ::StringFromGUID2(guid, szGuid, 40);
    return szGuid;
}

RecordedStart g_starts;

HINSTANCE WINAPI RecordStart(HWND, LPCWSTR, LPCWSTR pszFile, LPCWSTR pszParameters, LPCWSTR, INT)
{
    ++g_starts.nStarts;
    lstrcpynW(g_starts.szFile, pszFile != nullptr ? pszFile : L"", MAX_PATH);
    lstrcpynW(g_starts.szParameters, pszParameters != nullptr ? pszParameters : L"", 2048);
    // Above 32: what ShellExecuteW answers for a started program.
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

BOOL WINAPI RecordStartEx(SHELLEXECUTEINFOW* pInfo)
{
    pInfo->hInstApp = RecordStart(nullptr, nullptr, pInfo->lpFile, pInfo->lpParameters, nullptr, 0);
    return TRUE;
}

// A chosen item's start is handed to the companion program ("start"), which
// would start the main application outside this process, where no start is
// recorded. Refused here, the DLL starts it itself (its fallback), through
// the recorded ShellExecuteExW; every other program starts as it would.
BOOL WINAPI CreateProcessWithoutStartVerb(LPCWSTR pszProgram, LPWSTR pszCommandLine, LPSECURITY_ATTRIBUTES pProcess,
                                          LPSECURITY_ATTRIBUTES pThread, BOOL bInherit, DWORD dwFlags, LPVOID pEnvironment,
                                          LPCWSTR pszFolder, LPSTARTUPINFOW pStartup, LPPROCESS_INFORMATION pInformation)
{
    if (pszCommandLine != nullptr && wcsstr(pszCommandLine, L"\" start ") != nullptr)
    {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return ::CreateProcessW(pszProgram, pszCommandLine, pProcess, pThread, bInherit, dwFlags, pEnvironment, pszFolder,
                            pStartup, pInformation);
}

// The sweep's host has no Explorer to start programs through: the DLL then
// starts them itself, through the recorded ShellExecuteW.
HRESULT WINAPI CreateWithoutExplorer(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwContext, REFIID riid, LPVOID* ppv)
{
    if (IsEqualCLSID(rclsid, CLSID_ShellWindows))
    {
        *ppv = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
    return ::CoCreateInstance(rclsid, pUnkOuter, dwContext, riid, ppv);
}

}  // namespace

CLoadedServer::~CLoadedServer()
{
    Unload();
}

bool CLoadedServer::Load(const std::wstring& strPath, std::string& strError, bool bRegistration)
{
    m_hModule = ::LoadLibraryW(strPath.c_str());
    if (m_hModule == nullptr)
    {
        strError = "cannot load " + WideToUtf8(strPath);
        return false;
    }
    Find(m_hModule);
    if (!HasClassObject())
    {
        strError = "the DLL lacks DllGetClassObject or DllCanUnloadNow";
        return false;
    }
    if (bRegistration && !HasRegistration())
    {
        strError = "the DLL lacks one of its registration exports";
        return false;
    }
    return true;
}

bool CLoadedServer::LoadCopy(const std::wstring& strPath, const std::wstring& strCopy, std::string& strError,
                             bool bRegistration)
{
    if (!::CopyFileW(strPath.c_str(), strCopy.c_str(), FALSE))
    {
        strError = "cannot copy the DLL to " + WideToUtf8(strCopy);
        return false;
    }
    m_strCopy = strCopy;
    return Load(strCopy, strError, bRegistration);
}

bool CLoadedServer::Unload()
{
    if (m_hModule == nullptr)
        return true;
    if (!MayBeFreed())
        return false;
    ::FreeLibrary(m_hModule);
    m_hModule = nullptr;
    if (!m_strCopy.empty() && ::GetModuleHandleW(m_strCopy.c_str()) != nullptr)
        return false;
    if (!m_strCopy.empty())
        ::DeleteFileW(m_strCopy.c_str());
    m_strCopy.clear();
    return true;
}

bool ReadServerIdentity(const std::wstring& strDll, ServerIdentity& identity, std::string& strError)
{
    CInterfacePtr<ITypeLib> typeLib;
    if (FAILED(::LoadTypeLibEx(strDll.c_str(), REGKIND_NONE, reinterpret_cast<ITypeLib**>(typeLib.ReceiveVoid()))))
    {
        strError = "the DLL carries no loadable type library";
        return false;
    }
    TLIBATTR* pLibAttr = nullptr;
    if (FAILED(typeLib->GetLibAttr(&pLibAttr)))
    {
        strError = "the type library has no attributes";
        return false;
    }
    identity.vecRegistryKeys = {L"TypeLib\\" + GuidText(pLibAttr->guid), L"*\\shellex\\ContextMenuHandlers\\Orvane"};
    typeLib->ReleaseTLibAttr(pLibAttr);

    bool bFound = false;
    for (UINT i = 0; i < typeLib->GetTypeInfoCount(); ++i)
    {
        CInterfacePtr<ITypeInfo> info;
        TYPEATTR* pAttr = nullptr;
        if (FAILED(typeLib->GetTypeInfo(i, reinterpret_cast<ITypeInfo**>(info.ReceiveVoid()))) ||
            FAILED(info->GetTypeAttr(&pAttr)))
            continue;
        BSTR bstrName = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &bstrName, nullptr, nullptr, nullptr);
        if (pAttr->typekind == TKIND_COCLASS)
        {
            identity.vecRegistryKeys.push_back(L"CLSID\\" + GuidText(pAttr->guid));
            if (bstrName != nullptr && lstrcmpW(bstrName, L"SimpleShlExt") == 0)
            {
                identity.clsidExtension = pAttr->guid;
                bFound = true;
            }
        }
        else if (pAttr->typekind == TKIND_INTERFACE || pAttr->typekind == TKIND_DISPATCH)
        {
            identity.vecRegistryKeys.push_back(L"Interface\\" + GuidText(pAttr->guid));
        }
        ::SysFreeString(bstrName);
        info->ReleaseTypeAttr(pAttr);
    }
    if (!bFound)
        strError = "the type library names no SimpleShlExt class";
    return bFound;
}

HRESULT CreateExtension(const CLoadedServer& server, REFCLSID rclsid, ExtensionObject& object)
{
    const HRESULT hr = server.CreateInstance(rclsid, IID_IShellExtInit, object.init.ReceiveVoid());
    return FAILED(hr) ? hr : QueryExtensionInterfaces(object);
}

void RecordProgramStarts()
{
    ImportFaults::ReplacePassThrough("ShellExecuteW", reinterpret_cast<void*>(&RecordStart));
    ImportFaults::ReplacePassThrough("ShellExecuteExW", reinterpret_cast<void*>(&RecordStartEx));
    ImportFaults::ReplacePassThrough("CreateProcessW", reinterpret_cast<void*>(&CreateProcessWithoutStartVerb));
    ImportFaults::ReplacePassThrough("CoCreateInstance", reinterpret_cast<void*>(&CreateWithoutExplorer));
}

const RecordedStart& LastStarts()
{
    return g_starts;
}

void ForgetStarts()
{
    g_starts.nStarts = 0;
    g_starts.szFile[0] = L'\0';
    g_starts.szParameters[0] = L'\0';
}
