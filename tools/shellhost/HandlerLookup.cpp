#include "tools/shellhost/HandlerLookup.h"

#include <objbase.h>

#include "ShellExt/core/Handles.h"
#include "tools/common/WinText.h"

namespace {

const wchar_t kHandlersKey[] = L"*\\shellex\\ContextMenuHandlers";

// The two halves of the merged HKEY_CLASSES_ROOT view, in the order in
// which the per-user one wins.
struct ClassesRoot
{
    HKEY hHive;
    const wchar_t* pszPrefix;
    const wchar_t* pszWhere;
};

const ClassesRoot kClassesRoots[] = {
    {HKEY_CURRENT_USER, L"Software\\Classes\\", L"per user"},
    {HKEY_LOCAL_MACHINE, L"Software\\Classes\\", L"machine-wide"},
};

bool OpenKey(HKEY hHive, const std::wstring& strPath, CRegKeyHandle& key)
{
    return ::RegOpenKeyExW(hHive, strPath.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

bool ReadString(HKEY hKey, const wchar_t* pszValue, std::wstring& strValue)
{
    DWORD dwType = 0;
    DWORD cb = 0;
    if (::RegQueryValueExW(hKey, pszValue, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return false;
    std::wstring strBuffer(cb / sizeof(wchar_t) + 1, L'\0');
    cb = static_cast<DWORD>(strBuffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(hKey, pszValue, nullptr, &dwType, reinterpret_cast<BYTE*>(&strBuffer[0]), &cb) !=
        ERROR_SUCCESS)
        return false;
    strBuffer.resize(cb / sizeof(wchar_t));
    while (!strBuffer.empty() && strBuffer.back() == L'\0')
        strBuffer.pop_back();
    strValue = strBuffer;
    return true;
}

bool ParseClsid(const std::wstring& strText, CLSID& clsid)
{
    if (strText.size() != 38 || strText.front() != L'{')
        return false;
    return SUCCEEDED(::CLSIDFromString(strText.c_str(), &clsid));
}

std::vector<std::wstring> SubkeyNames(HKEY hKey)
{
    std::vector<std::wstring> vecNames;
    for (DWORD i = 0;; ++i)
    {
        wchar_t szName[256] = {};
        DWORD cch = ARRAYSIZE(szName);
        LONG nResult = ::RegEnumKeyExW(hKey, i, szName, &cch, nullptr, nullptr, nullptr, nullptr);
        if (nResult == ERROR_MORE_DATA)
            continue;
        if (nResult != ERROR_SUCCESS)
            break;
        vecNames.emplace_back(szName, cch);
    }
    return vecNames;
}

// Explorer takes the class identifier from the entry's default value, or
// from the entry's name when that is itself one.
void ReadEntry(HKEY hHandlers, const std::wstring& strName, HandlerInfo& info)
{
    info.strName = strName;
    CRegKeyHandle entry;
    std::wstring strValue;
    if (OpenKey(hHandlers, strName, entry) && ReadString(entry.Get(), nullptr, strValue) &&
        ParseClsid(strValue, info.clsid))
        info.strClsid = strValue;
    else if (ParseClsid(strName, info.clsid))
        info.strClsid = strName;
}

void ReadServer(HandlerInfo& info)
{
    for (const ClassesRoot& root : kClassesRoots)
    {
        CRegKeyHandle server;
        if (!OpenKey(root.hHive, std::wstring(root.pszPrefix) + L"CLSID\\" + info.strClsid + L"\\InprocServer32",
                     server))
            continue;
        info.bServerRegistered = true;
        ReadString(server.Get(), nullptr, info.strServer);
        ReadString(server.Get(), L"ThreadingModel", info.strThreadingModel);
        return;
    }
}

bool EqualNoCase(const std::wstring& strA, const std::wstring& strB)
{
    return ::CompareStringOrdinal(strA.c_str(), static_cast<int>(strA.size()), strB.c_str(),
                                  static_cast<int>(strB.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::vector<HandlerInfo> ListContextMenuHandlers()
{
    std::vector<HandlerInfo> vecHandlers;
    for (const ClassesRoot& root : kClassesRoots)
    {
        CRegKeyHandle handlers;
        if (!OpenKey(root.hHive, std::wstring(root.pszPrefix) + kHandlersKey, handlers))
            continue;
        for (const std::wstring& strName : SubkeyNames(handlers.Get()))
        {
            bool bShadowed = false;
            for (const HandlerInfo& seen : vecHandlers)
                bShadowed = bShadowed || EqualNoCase(seen.strName, strName);
            if (bShadowed)
                continue;
            HandlerInfo info;
            info.strWhere = root.pszWhere;
            ReadEntry(handlers.Get(), strName, info);
            if (!info.strClsid.empty())
                ReadServer(info);
            vecHandlers.push_back(info);
        }
    }
    return vecHandlers;
}

bool FindContextMenuHandler(const std::wstring& strName, HandlerInfo& info, std::string& strError)
{
    for (const HandlerInfo& candidate : ListContextMenuHandlers())
    {
        if (!EqualNoCase(candidate.strName, strName))
            continue;
        if (candidate.strClsid.empty())
        {
            strError = "the handler entry \"" + WideToUtf8(strName) + "\" names no class identifier";
            return false;
        }
        info = candidate;
        return true;
    }
    strError = "no context-menu handler \"" + WideToUtf8(strName) +
               "\" is registered under HKEY_CLASSES_ROOT\\*\\shellex\\ContextMenuHandlers "
               "(register the DLL with regsvr32 first)";
    return false;
}

bool DescribeClass(const std::wstring& strClsid, HandlerInfo& info, std::string& strError)
{
    HandlerInfo described;
    described.strName = L"(given)";
    if (!ParseClsid(strClsid, described.clsid))
    {
        strError = "\"" + WideToUtf8(strClsid) + "\" is not a class identifier";
        return false;
    }
    described.strClsid = strClsid;
    ReadServer(described);
    info = described;
    return true;
}
