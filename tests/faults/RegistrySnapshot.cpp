#include "tests/faults/RegistrySnapshot.h"

#include <windows.h>

#include <cstdio>

#include "tests/faults/SweepHost.h"

namespace {

void AppendKey(HKEY hParent, const std::wstring& strPath, REGSAM samView, std::string& strOut)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hParent, strPath.c_str(), 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS)
        return;
    strOut += "[" + Narrow(strPath) + "]\n";
    wchar_t szName[256];
    BYTE rgData[4096];
    for (DWORD i = 0;; ++i)
    {
        DWORD cchName = 256;
        DWORD cbData = sizeof(rgData);
        DWORD dwType = 0;
        if (::RegEnumValueW(hKey, i, szName, &cchName, nullptr, &dwType, rgData, &cbData) != ERROR_SUCCESS)
            break;
        char szType[16];
        snprintf(szType, sizeof(szType), " %lu:", static_cast<unsigned long>(dwType));
        strOut += "  " + Narrow(std::wstring(szName, cchName)) + szType;
        for (DWORD b = 0; b < cbData; ++b)
        {
            char szByte[4];
            snprintf(szByte, sizeof(szByte), "%02x", rgData[b]);
            strOut += szByte;
        }
        strOut += "\n";
    }
    std::vector<std::wstring> vecSubKeys;
    for (DWORD i = 0;; ++i)
    {
        DWORD cchName = 256;
        if (::RegEnumKeyExW(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        vecSubKeys.emplace_back(szName, cchName);
    }
    ::RegCloseKey(hKey);
    for (const std::wstring& strSubKey : vecSubKeys)
        AppendKey(hParent, strPath + L"\\" + strSubKey, samView, strOut);
}

}  // namespace

std::string SnapshotRegistry(const std::vector<std::wstring>& vecKeys)
{
    const struct
    {
        HKEY hRoot;
        const char* pszName;
    } rgRoots[] = {{HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_CURRENT_USER, "HKCU"}};
    std::string strOut;
    for (const auto& root : rgRoots)
        for (REGSAM samView : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        {
            strOut += std::string("== ") + root.pszName + (samView == KEY_WOW64_64KEY ? " 64\n" : " 32\n");
            for (const std::wstring& strKey : vecKeys)
                AppendKey(root.hRoot, L"Software\\Classes\\" + strKey, samView, strOut);
        }
    return strOut;
}

std::string FirstDifference(const std::string& strBefore, const std::string& strAfter)
{
    size_t nLineStart = 0;
    for (size_t i = 0; i < strBefore.size() && i < strAfter.size(); ++i)
    {
        if (strBefore[i] != strAfter[i])
            break;
        if (strBefore[i] == '\n')
            nLineStart = i + 1;
    }
    auto LineAt = [nLineStart](const std::string& str) {
        const size_t nEnd = str.find('\n', nLineStart);
        return nLineStart >= str.size() ? std::string("(end)") : str.substr(nLineStart, nEnd - nLineStart);
    };
    return "expected \"" + LineAt(strBefore) + "\", found \"" + LineAt(strAfter) + "\"";
}
