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
    strOut += "[" + WideToUtf8(strPath) + "]\n";
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
        strOut += "  " + WideToUtf8(std::wstring(szName, cchName)) + szType;
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

const HKEY kClassesRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const wchar_t kOlderFolder[] = L"C:\\Program Files\\Orvane 0.9";

bool KeyExists(HKEY hRoot, const std::wstring& strPath)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hRoot, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

void SetString(HKEY hRoot, const std::wstring& strPath, const wchar_t* pszName, const std::wstring& strText)
{
    ::RegSetKeyValueW(hRoot, strPath.c_str(), pszName, REG_SZ, strText.c_str(),
                      static_cast<DWORD>((strText.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

void RemoveRegistryKeys(const std::vector<std::wstring>& vecKeys)
{
    for (HKEY hRoot : kClassesRoots)
        for (REGSAM samView : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        {
            HKEY hClasses = nullptr;
            if (::RegOpenKeyExW(hRoot, L"Software\\Classes", 0, KEY_ALL_ACCESS | samView, &hClasses) != ERROR_SUCCESS)
                continue;
            for (const std::wstring& strKey : vecKeys)
                ::RegDeleteTreeW(hClasses, strKey.c_str());
            ::RegCloseKey(hClasses);
        }
}

void MakeOlderRegistration(const std::vector<std::wstring>& vecKeys)
{
    const std::wstring strServer = std::wstring(kOlderFolder) + L"\\OrvaneShlExt.dll";
    for (HKEY hRoot : kClassesRoots)
        for (const std::wstring& strKey : vecKeys)
        {
            const std::wstring strPath = L"Software\\Classes\\" + strKey;
            if (!KeyExists(hRoot, strPath))
                continue;
            if (strKey.rfind(L"CLSID\\", 0) == 0)
                SetString(hRoot, strPath + L"\\InprocServer32", nullptr, strServer);
            else if (strKey.rfind(L"Interface\\", 0) == 0 && KeyExists(hRoot, strPath + L"\\TypeLib"))
                SetString(hRoot, strPath + L"\\TypeLib", L"Version", L"0.9");
            else if (strKey.rfind(L"TypeLib\\", 0) == 0)
            {
                ::RegDeleteTreeW(hRoot, strPath.c_str());
                const std::wstring strVersion = strPath + L"\\0.9";
                SetString(hRoot, strVersion, nullptr, L"SimpleExtLib");
                SetString(hRoot, strVersion + L"\\FLAGS", nullptr, L"0");
                SetString(hRoot, strVersion + L"\\HELPDIR", nullptr, kOlderFolder);
                SetString(hRoot, strVersion + (sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32"), nullptr,
                          strServer);
            }
        }
}

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
