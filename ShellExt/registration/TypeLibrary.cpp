#include "ShellExt/registration/TypeLibrary.h"

#include <oleauto.h>

#include <cwchar>

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/SystemFunction.h"
#include "ShellExt/core/LastError.h"

namespace {

// The module path is asked for in 260 characters; the buffer has room for
// ".tlb" after a shorter one.
const DWORD kMaxModulePath = MAX_PATH;
const size_t kModulePathBuffer = 270;

using PfnRegisterTypeLibForUser = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using PfnUnRegisterTypeLibForUser = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Owners of what the type-library calls hand out (and CBstr, Handles.h).
class CTypeLibPtr
{
public:
    CTypeLibPtr() noexcept = default;
    ~CTypeLibPtr()
    {
        if (m_p)
            m_p->Release();
    }
    CTypeLibPtr(const CTypeLibPtr&) = delete;
    CTypeLibPtr& operator=(const CTypeLibPtr&) = delete;

    ITypeLib** Receive() noexcept { return &m_p; }
    ITypeLib* Get() const noexcept { return m_p; }

private:
    ITypeLib* m_p = nullptr;
};

class CLibAttr
{
public:
    explicit CLibAttr(ITypeLib* pTypeLib) noexcept : m_pTypeLib(pTypeLib) {}
    ~CLibAttr()
    {
        if (m_pAttr)
            m_pTypeLib->ReleaseTLibAttr(m_pAttr);
    }
    CLibAttr(const CLibAttr&) = delete;
    CLibAttr& operator=(const CLibAttr&) = delete;

    HRESULT Load() noexcept { return m_pTypeLib->GetLibAttr(&m_pAttr); }
    const TLIBATTR& Get() const noexcept { return *m_pAttr; }

private:
    ITypeLib* m_pTypeLib;
    TLIBATTR* m_pAttr = nullptr;
};

class CTypeInfoAttr
{
public:
    CTypeInfoAttr() noexcept = default;
    ~CTypeInfoAttr()
    {
        if (m_pAttr)
            m_pInfo->ReleaseTypeAttr(m_pAttr);
        if (m_pInfo)
            m_pInfo->Release();
    }
    CTypeInfoAttr(const CTypeInfoAttr&) = delete;
    CTypeInfoAttr& operator=(const CTypeInfoAttr&) = delete;

    HRESULT Load(ITypeLib* pTypeLib, UINT nIndex) noexcept
    {
        HRESULT hr = pTypeLib->GetTypeInfo(nIndex, &m_pInfo);
        return SUCCEEDED(hr) ? m_pInfo->GetTypeAttr(&m_pAttr) : hr;
    }
    const TYPEATTR& Get() const noexcept { return *m_pAttr; }

private:
    ITypeInfo* m_pInfo = nullptr;
    TYPEATTR* m_pAttr = nullptr;
};

// The per-user variants exist from Vista on; looked up at run time so the
// DLL still loads where they are missing.
template <class Pfn>
Pfn FindPerUserFunction(bool bPerUser, const char* pszName) noexcept
{
    if (!bPerUser)
        return nullptr;
    return FindSystemFunction<Pfn>(L"OLEAUT32.DLL", pszName);
}

// The folder part of a help file's path, up to and including its last
// separator, cut to 259 characters.
void CopyHelpDirectory(const wchar_t* pszHelpFile, wchar_t (&szHelpDir)[MAX_PATH]) noexcept
{
    size_t cchDir = 0;
    for (size_t i = 0; pszHelpFile[i] != L'\0'; ++i)
    {
        wchar_t ch = pszHelpFile[i];
        if (ch == L'\\' || ch == L'/' || ch == L':')
            cchDir = i + 1;
    }
    if (cchDir > MAX_PATH - 1)
        cchDir = MAX_PATH - 1;
    wmemcpy(szHelpDir, pszHelpFile, cchDir);
    szHelpDir[cchDir] = L'\0';
}

const wchar_t* SysKindKeyName(SYSKIND sysKind) noexcept
{
    switch (sysKind)
    {
    case SYS_WIN16:
        return L"win16";
    case SYS_WIN32:
        return L"win32";
    case SYS_WIN64:
        return L"win64";
    default:
        return L"mac";
    }
}

// Whether "TypeLib\{libid}\major.minor\lcid\syskind" is there, in the
// machine's classes or the user's. A key that cannot be read for another
// reason than its absence counts as present, so that its failure is reported.
bool IsTypeLibRegistered(const TLIBATTR& attr) noexcept
{
    wchar_t szLibId[40];
    if (::StringFromGUID2(attr.guid, szLibId, 40) == 0)
        return true;
    wchar_t szKey[160];
    int cch = _snwprintf(szKey, 160, L"Software\\Classes\\TypeLib\\%ls\\%x.%x\\%lx\\%ls", szLibId,
                         attr.wMajorVerNum, attr.wMinorVerNum, static_cast<unsigned long>(attr.lcid),
                         SysKindKeyName(attr.syskind));
    if (cch < 0 || cch >= 160)
        return true;
    const wchar_t* pszClassesKey = szKey + wcslen(L"Software\\Classes\\");
    const struct
    {
        HKEY hRoot;
        const wchar_t* pszKey;
    } aPlaces[] = {{HKEY_CLASSES_ROOT, pszClassesKey}, {HKEY_CURRENT_USER, szKey}};
    for (const auto& place : aPlaces)
    {
        CRegKeyHandle key;
        LONG nError = ::RegOpenKeyExW(place.hRoot, place.pszKey, 0, KEY_READ, key.Receive());
        if (nError != ERROR_FILE_NOT_FOUND)
            return true;
    }
    return false;
}

// pszPrefix and "{XXXXXXXX-...}", with room for a root's path in front.
HRESULT AppendGuidKey(const wchar_t* pszPrefix, REFGUID guid, std::vector<std::u16string>& vecKeys)
{
    wchar_t szGuid[40];
    if (::StringFromGUID2(guid, szGuid, 40) == 0)
        return E_UNEXPECTED;
    std::u16string strKey;
    strKey.reserve(80);
    strKey.append(reinterpret_cast<const char16_t*>(pszPrefix));
    strKey.append(reinterpret_cast<const char16_t*>(szGuid));
    vecKeys.push_back(std::move(strKey));
    return S_OK;
}

HRESULT AppendTypeLibKeys(ITypeLib* pTypeLib, std::vector<std::u16string>& vecKeys)
{
    CLibAttr attr(pTypeLib);
    HRESULT hr = attr.Load();
    const UINT nInfos = pTypeLib->GetTypeInfoCount();
    vecKeys.reserve(vecKeys.size() + nInfos + 2);
    if (SUCCEEDED(hr))
        hr = AppendGuidKey(L"TypeLib\\", attr.Get().guid, vecKeys);
    for (UINT i = 0; i < nInfos && SUCCEEDED(hr); ++i)
    {
        CTypeInfoAttr info;
        hr = info.Load(pTypeLib, i);
        if (FAILED(hr))
            break;
        const TYPEKIND kind = info.Get().typekind;
        if (kind == TKIND_COCLASS)
            hr = AppendGuidKey(L"CLSID\\", info.Get().guid, vecKeys);
        else if (kind == TKIND_INTERFACE || kind == TKIND_DISPATCH)
            hr = AppendGuidKey(L"Interface\\", info.Get().guid, vecKeys);
    }
    return hr;
}

}  // namespace

size_t FindPathExtension(const wchar_t* pszPath) noexcept
{
    const wchar_t* pszExtension = nullptr;
    const wchar_t* psz = pszPath;
    for (; *psz != L'\0'; psz = ::CharNextW(psz))
    {
        if (*psz == L'.')
            pszExtension = psz;
        else if (*psz == L'\\')
            pszExtension = nullptr;
    }
    return static_cast<size_t>((pszExtension != nullptr ? pszExtension : psz) - pszPath);
}

HRESULT LoadModuleTypeLib(HINSTANCE hInstTypeLib, BSTR* pbstrPath, ITypeLib** ppTypeLib) noexcept
{
    *pbstrPath = nullptr;
    *ppTypeLib = nullptr;

    wchar_t szPath[kModulePathBuffer] = {};
    DWORD cchPath = ::GetModuleFileNameW(hInstTypeLib, szPath, kMaxModulePath);
    if (cchPath == 0)
        return LastErrorHr();
    if (cchPath == kMaxModulePath)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    size_t nExtension = FindPathExtension(szPath);
    CTypeLibPtr typeLib;
    // On a DLL's path LoadTypeLib finds its "TYPELIB" resource 1; a full path
    // is loaded without being registered.
    HRESULT hr = ::LoadTypeLib(szPath, typeLib.Receive());
    if (FAILED(hr))
    {
        if (nExtension + 5 > kMaxModulePath)
            return E_FAIL;
        wmemcpy(szPath + nExtension, L".tlb", 5);
        hr = ::LoadTypeLib(szPath, typeLib.Receive());
        if (FAILED(hr))
            return hr;
    }

    BSTR bstrPath = ::SysAllocString(szPath);
    if (bstrPath == nullptr)
        return E_OUTOFMEMORY;
    *pbstrPath = bstrPath;
    *ppTypeLib = typeLib.Get();
    (*ppTypeLib)->AddRef();
    return S_OK;
}

namespace {

// The module's type library and the path it was loaded from.
struct CModuleTypeLib
{
    CBstr path;
    CTypeLibPtr typeLib;

    HRESULT Load(HINSTANCE hInstTypeLib) noexcept
    {
        return LoadModuleTypeLib(hInstTypeLib, path.Receive(), typeLib.Receive());
    }
};

}  // namespace

HRESULT RegisterModuleTypeLib(HINSTANCE hInstTypeLib, bool bPerUser) noexcept
{
    CModuleTypeLib lib;
    if (const HRESULT hr = lib.Load(hInstTypeLib); FAILED(hr))
        return hr;

    CBstr helpFile;
    wchar_t szHelpDir[MAX_PATH] = {};
    wchar_t* pszHelpDir = nullptr;
    if (SUCCEEDED(lib.typeLib.Get()->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.Receive())) &&
        helpFile.Get() != nullptr)
    {
        CopyHelpDirectory(helpFile.Get(), szHelpDir);
        pszHelpDir = szHelpDir;
    }

    auto pfnForUser = FindPerUserFunction<PfnRegisterTypeLibForUser>(bPerUser, "RegisterTypeLibForUser");
    if (pfnForUser != nullptr)
        return pfnForUser(lib.typeLib.Get(), lib.path.Get(), pszHelpDir);
    return ::RegisterTypeLib(lib.typeLib.Get(), lib.path.Get(), pszHelpDir);
}

HRESULT UnRegisterModuleTypeLib(HINSTANCE hInstTypeLib, bool bPerUser) noexcept
{
    CModuleTypeLib lib;
    if (const HRESULT hr = lib.Load(hInstTypeLib); FAILED(hr))
        return hr;

    CLibAttr attr(lib.typeLib.Get());
    if (const HRESULT hr = attr.Load(); FAILED(hr))
        return hr;
    const TLIBATTR& libAttr = attr.Get();
    // The system reports a library that is not registered as an error. Left
    // at that, a second unregistration would fail, and the undo of a failed
    // installation would stop here and leave the module's own script
    // registered.
    if (!IsTypeLibRegistered(libAttr))
        return S_OK;

    auto pfnForUser = FindPerUserFunction<PfnUnRegisterTypeLibForUser>(bPerUser, "UnRegisterTypeLibForUser");
    if (pfnForUser != nullptr)
        return pfnForUser(libAttr.guid, libAttr.wMajorVerNum, libAttr.wMinorVerNum, libAttr.lcid, libAttr.syskind);
    return ::UnRegisterTypeLib(libAttr.guid, libAttr.wMajorVerNum, libAttr.wMinorVerNum, libAttr.lcid,
                               libAttr.syskind);
}

HRESULT ListModuleTypeLibKeys(HINSTANCE hInstTypeLib, std::vector<std::u16string>& vecKeys) noexcept
{
    CModuleTypeLib lib;
    if (const HRESULT hr = lib.Load(hInstTypeLib); FAILED(hr))
        return hr;
    return CallNoThrow([&] { return AppendTypeLibKeys(lib.typeLib.Get(), vecKeys); });
}
