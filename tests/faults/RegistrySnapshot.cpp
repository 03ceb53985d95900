#include "tests/faults/RegistrySnapshot.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "ShellExt/core/Handles.h"
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

// One value at a time, names and data of any size: the buffers start at the
// largest sizes the key reports and grow when a value turns out larger by
// the time it is read (ERROR_MORE_DATA).
class CValueReader
{
public:
    explicit CValueReader(HKEY hKey) : m_hKey(hKey)
    {
        DWORD cchMaxName = 0;
        DWORD cbMaxData = 0;
        ::RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cchMaxName,
                           &cbMaxData, nullptr, nullptr);
        m_vecName.resize(cchMaxName + 1);
        m_vecData.resize(cbMaxData + 1);  // never empty: a null buffer would only ask for the size
    }

    LONG Read(DWORD dwIndex)
    {
        LONG lResult = ERROR_MORE_DATA;
        for (int nAttempt = 0; nAttempt < kValueReadAttempts && lResult == ERROR_MORE_DATA; ++nAttempt)
        {
            if (nAttempt > 0)
            {
                m_vecName.resize(m_vecName.size() * 2);
                m_vecData.resize(std::max<size_t>(m_cbData, m_vecData.size() * 2));
            }
            m_cchName = static_cast<DWORD>(m_vecName.size());
            m_cbData = static_cast<DWORD>(m_vecData.size());
            lResult = ::RegEnumValueW(m_hKey, dwIndex, m_vecName.data(), &m_cchName, nullptr, &m_dwType,
                                      m_vecData.data(), &m_cbData);
        }
        return lResult;
    }

    // The value last read as "name type:hex".
    void AppendTo(std::string& strOut) const
    {
        char szType[16];
        snprintf(szType, sizeof(szType), " %lu:", static_cast<unsigned long>(m_dwType));
        strOut += "  " + WideToUtf8(std::wstring(m_vecName.data(), m_cchName)) + szType;
        AppendHex(m_vecData.data(), m_cbData, strOut);
        strOut += "\n";
    }

private:
    HKEY m_hKey;
    std::vector<wchar_t> m_vecName;
    std::vector<BYTE> m_vecData;
    DWORD m_cchName = 0;
    DWORD m_dwType = 0;
    DWORD m_cbData = 0;
};

void AppendValues(HKEY hKey, std::string& strOut)
{
    CValueReader reader(hKey);
    for (DWORD i = 0;; ++i)
    {
        const LONG lResult = reader.Read(i);
        if (lResult != ERROR_SUCCESS)
        {
            if (lResult != ERROR_NO_MORE_ITEMS)
                AppendFailure("value", i, lResult, strOut);
            return;
        }
        reader.AppendTo(strOut);
    }
}

void AppendKey(HKEY hParent, const std::wstring& strPath, REGSAM samView, std::string& strOut)
{
    std::vector<std::wstring> vecSubKeys;
    {
        CRegKeyHandle key;
        if (::RegOpenKeyExW(hParent, strPath.c_str(), 0, KEY_READ | samView, key.Receive()) != ERROR_SUCCESS)
            return;
        strOut += "[" + WideToUtf8(strPath) + "]\n";
        AppendValues(key.Get(), strOut);
        for (DWORD i = 0;; ++i)
        {
            wchar_t szName[256];  // a key's name has 255 characters at most
            DWORD cchName = 256;
            const LONG lResult = ::RegEnumKeyExW(key.Get(), i, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
            if (lResult != ERROR_SUCCESS)
            {
                if (lResult != ERROR_NO_MORE_ITEMS)
                    AppendFailure("subkey", i, lResult, strOut);
                break;
            }
            vecSubKeys.emplace_back(szName, cchName);
        }
    }
    for (const std::wstring& strSubKey : vecSubKeys)
        AppendKey(hParent, strPath + L"\\" + strSubKey, samView, strOut);
}

const HKEY kClassesRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const wchar_t kOlderFolder[] = L"C:\\Program Files\\Orvane 0.9";

bool KeyExists(HKEY hRoot, const std::wstring& strPath)
{
    CRegKeyHandle key;
    return ::RegOpenKeyExW(hRoot, strPath.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

void SetString(HKEY hRoot, const std::wstring& strPath, const wchar_t* pszName, const std::wstring& strText)
{
    ::RegSetKeyValueW(hRoot, strPath.c_str(), pszName, REG_SZ, strText.c_str(),
                      static_cast<DWORD>((strText.size() + 1) * sizeof(wchar_t)));
}

// The older registration's name of a class: over 4 KiB, larger than the
// first buffer registration saves a value into. Registration writes the
// name again, so one that succeeds leaves its own; one that fails has to
// restore this one whole, and the snapshot has to read it whole to see that.
std::wstring OlderClassName()
{
    std::wstring strName = L"Orvane Shell Extension 0.9 ";
    while (strName.size() < 2200)
        strName += static_cast<wchar_t>(L'0' + strName.size() % 10);
    return strName;
}

// One key and everything below it, in one view. The view is named on the
// key's own opening and deletion: RegDeleteTreeW given a parent and a
// relative path opens and deletes that path without a view, which a 32-bit
// process's redirection can send to the other view's key (a class's
// Interface key then outlived the removal).
void DeleteKeyInView(HKEY hRoot, const std::wstring& strPath, REGSAM samView)
{
    {
        CRegKeyHandle key;
        if (::RegOpenKeyExW(hRoot, strPath.c_str(), 0, KEY_ALL_ACCESS | samView, key.Receive()) != ERROR_SUCCESS)
            return;
        ::RegDeleteTreeW(key.Get(), nullptr);
    }
    ::RegDeleteKeyExW(hRoot, strPath.c_str(), samView, 0);
}

}  // namespace

void RemoveRegistryKeys(const std::vector<std::wstring>& vecKeys)
{
    for (HKEY hRoot : kClassesRoots)
        for (REGSAM samView : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
            for (const std::wstring& strKey : vecKeys)
                DeleteKeyInView(hRoot, L"Software\\Classes\\" + strKey, samView);
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
                SetString(hRoot, strPath, nullptr, OlderClassName());
                SetString(hRoot, strPath + L"\\InprocServer32", nullptr, strServer);
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
