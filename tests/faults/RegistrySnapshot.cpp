#include "tests/faults/RegistrySnapshot.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "tools/common/WinText.h"

namespace {

// Tries of one value whose size keeps growing while it is read.
const int kValueReadAttempts = 8;

void AppendHex(const BYTE* pbData, DWORD cbData, std::string& strOut)
{
    static const char kDigits[] = "0123456789abcdef";
    for (DWORD b = 0; b < cbData; ++b)
    {
        strOut += kDigits[pbData[b] >> 4];
        strOut += kDigits[pbData[b] & 0xF];
    }
}

// A read that failed is written into the snapshot: skipping it would let a
// broken state pass for the expected one.
void AppendFailure(const char* pszWhat, DWORD dwIndex, LONG lResult, std::string& strOut)
{
    char szLine[80];
    snprintf(szLine, sizeof(szLine), "  !%s %lu unreadable: error %ld\n", pszWhat, static_cast<unsigned long>(dwIndex),
             static_cast<long>(lResult));
    strOut += szLine;
}

// Every value of the key, names and data of any size: the buffers start at
// the largest sizes the key reports and grow when a value is larger by the
// time it is read (ERROR_MORE_DATA).
void AppendValues(HKEY hKey, std::string& strOut)
{
    DWORD cchMaxName = 0;
    DWORD cbMaxData = 0;
    ::RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cchMaxName, &cbMaxData,
                       nullptr, nullptr);
    std::vector<wchar_t> vecName(cchMaxName + 1);
    std::vector<BYTE> vecData(cbMaxData + 1);  // never empty: a null buffer would only ask for the size
    for (DWORD i = 0;; ++i)
    {
        DWORD cchName = 0;
        DWORD cbData = 0;
        DWORD dwType = 0;
        LONG lResult = ERROR_MORE_DATA;
        for (int nAttempt = 0; nAttempt < kValueReadAttempts && lResult == ERROR_MORE_DATA; ++nAttempt)
        {
            if (nAttempt > 0)
            {
                vecName.resize(vecName.size() * 2);
                vecData.resize(std::max<size_t>(cbData, vecData.size() * 2));
            }
            cchName = static_cast<DWORD>(vecName.size());
            cbData = static_cast<DWORD>(vecData.size());
            lResult = ::RegEnumValueW(hKey, i, vecName.data(), &cchName, nullptr, &dwType, vecData.data(), &cbData);
        }
        if (lResult != ERROR_SUCCESS)
        {
            if (lResult != ERROR_NO_MORE_ITEMS)
                AppendFailure("value", i, lResult, strOut);
            return;
        }
        char szType[16];
        snprintf(szType, sizeof(szType), " %lu:", static_cast<unsigned long>(dwType));
        strOut += "  " + WideToUtf8(std::wstring(vecName.data(), cchName)) + szType;
        AppendHex(vecData.data(), cbData, strOut);
        strOut += "\n";
    }
}

void AppendKey(HKEY hParent, const std::wstring& strPath, REGSAM samView, std::string& strOut)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hParent, strPath.c_str(), 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS)
        return;
    strOut += "[" + WideToUtf8(strPath) + "]\n";
    AppendValues(hKey, strOut);
    std::vector<std::wstring> vecSubKeys;
    for (DWORD i = 0;; ++i)
    {
        wchar_t szName[256];  // a key's name has 255 characters at most
        DWORD cchName = 256;
        const LONG lResult = ::RegEnumKeyExW(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lResult != ERROR_SUCCESS)
        {
            if (lResult != ERROR_NO_MORE_ITEMS)
                AppendFailure("subkey", i, lResult, strOut);
            break;
        }
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

// A value larger than the first buffer any reader starts with, so that
// restoring it after a failed registration takes the path of large values and
// the snapshot has to read it whole to see it restored.
void SetLargeValue(HKEY hRoot, const std::wstring& strPath)
{
    std::vector<BYTE> vecData(5000);
    for (size_t i = 0; i < vecData.size(); ++i)
        vecData[i] = static_cast<BYTE>(i * 7 + 1);
    ::RegSetKeyValueW(hRoot, strPath.c_str(), L"OlderSettings", REG_BINARY, vecData.data(),
                      static_cast<DWORD>(vecData.size()));
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
            {
                SetString(hRoot, strPath + L"\\InprocServer32", nullptr, strServer);
                SetLargeValue(hRoot, strPath);
            }
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
