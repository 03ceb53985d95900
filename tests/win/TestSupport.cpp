#include "tests/win/TestSupport.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <cstring>
#include <sstream>

namespace testing_support {

std::wstring Widen(const std::string& strUtf8)
{
    if (strUtf8.empty())
        return std::wstring();
    int cch = ::MultiByteToWideChar(CP_UTF8, 0, strUtf8.data(), (int)strUtf8.size(), nullptr, 0);
    std::wstring str(cch, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, strUtf8.data(), (int)strUtf8.size(), &str[0], cch);
    return str;
}

std::wstring EnvW(const wchar_t* pszVariable)
{
    DWORD cch = ::GetEnvironmentVariableW(pszVariable, nullptr, 0);
    if (cch == 0)
        return std::wstring();
    std::wstring str(cch, L'\0');
    cch = ::GetEnvironmentVariableW(pszVariable, &str[0], cch);
    str.resize(cch);
    return str;
}

std::wstring WinPathFromEnv(const wchar_t* pszVariable)
{
    std::wstring str = EnvW(pszVariable);
    if (!str.empty() && str[0] == L'/')
    {
        for (wchar_t& ch : str)
            if (ch == L'/')
                ch = L'\\';
        str = L"Z:" + str;
    }
    return str;
}

bool CreateFolderTree(const std::wstring& strPath)
{
    int nResult = ::SHCreateDirectoryExW(nullptr, strPath.c_str(), nullptr);
    return nResult == ERROR_SUCCESS || nResult == ERROR_ALREADY_EXISTS || nResult == ERROR_FILE_EXISTS;
}

void DeleteFolderTree(const std::wstring& strPath)
{
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strPath + L"\\*").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::wstring strName = data.cFileName;
            if (strName == L"." || strName == L"..")
                continue;
            std::wstring strChild = strPath + L"\\" + strName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteFolderTree(strChild);
            else
                ::DeleteFileW(strChild.c_str());
        } while (::FindNextFileW(hFind, &data));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryW(strPath.c_str());
}

std::wstring MakeTempFolder(const std::wstring& strHint)
{
    static std::atomic<int> s_nCounter{0};
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstringstream stream;
    stream << szTemp << L"orvtest-" << strHint << L"-" << ::GetCurrentProcessId() << L"-" << s_nCounter++;
    std::wstring strPath = stream.str();
    DeleteFolderTree(strPath);
    CreateFolderTree(strPath);
    return strPath;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& strPath)
{
    std::vector<uint8_t> vecBytes;
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return vecBytes;
    uint8_t buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(h, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead > 0)
        vecBytes.insert(vecBytes.end(), buffer, buffer + cbRead);
    ::CloseHandle(h);
    return vecBytes;
}

bool FileExists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::wstring& strPath, const std::vector<uint8_t>& vecBytes)
{
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    if (!vecBytes.empty())
        ::WriteFile(h, vecBytes.data(), (DWORD)vecBytes.size(), &cbWritten, nullptr);
    ::CloseHandle(h);
}

void WriteTextFile(const std::wstring& strPath, const std::string& strText)
{
    WriteFileBytes(strPath, std::vector<uint8_t>(strText.begin(), strText.end()));
}

void WriteUtf16File(const std::wstring& strPath, const std::wstring& strText)
{
    std::vector<uint8_t> vecBytes = {0xFF, 0xFE};
    for (wchar_t ch : strText)
    {
        vecBytes.push_back(static_cast<uint8_t>(ch & 0xFF));
        vecBytes.push_back(static_cast<uint8_t>(ch >> 8));
    }
    WriteFileBytes(strPath, vecBytes);
}

std::wstring AppDataFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath);
    return szPath;
}

std::wstring OrvaneDataFolder()
{
    std::wstring strPath = AppDataFolder() + L"\\Kelvoss\\Orvane";
    CreateFolderTree(strPath);
    return strPath;
}

namespace {
const wchar_t kProductKeyPath[] = L"Software\\Kelvoss\\Orvane";
}

namespace {

// The extension reads the 64-bit view of the registry from both builds, so
// the tests write there too (a 32-bit test would otherwise land in
// Wow6432Node under HKEY_LOCAL_MACHINE).
HKEY OpenProductKey(HKEY hHive, bool bCreate)
{
    HKEY hKey = nullptr;
    LONG lResult = bCreate ? ::RegCreateKeyExW(hHive, kProductKeyPath, 0, nullptr, 0,
                                               KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &hKey, nullptr)
                           : ::RegOpenKeyExW(hHive, kProductKeyPath, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &hKey);
    return lResult == ERROR_SUCCESS ? hKey : nullptr;
}

void DeleteProductKey(HKEY hHive)
{
    HKEY hKey = OpenProductKey(hHive, false);
    if (hKey == nullptr)
        return;
    ::RegDeleteTreeW(hKey, nullptr);
    ::RegCloseKey(hKey);
    ::RegDeleteKeyExW(hHive, kProductKeyPath, KEY_WOW64_64KEY, 0);
}

}  // namespace

ProductKey::ProductKey(HKEY hHive) : m_hHive(hHive)
{
    HKEY hKey = OpenProductKey(m_hHive, true);
    if (hKey)
        ::RegCloseKey(hKey);
}

ProductKey::~ProductKey()
{
    DeleteProductKey(m_hHive);
}

void ProductKey::SetString(const wchar_t* pszName, const std::wstring& strValue)
{
    HKEY hKey = OpenProductKey(m_hHive, true);
    if (hKey == nullptr)
        return;
    ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                     (DWORD)((strValue.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hKey);
}

void ProductKey::DeleteValue(const wchar_t* pszName)
{
    HKEY hKey = OpenProductKey(m_hHive, false);
    if (hKey == nullptr)
        return;
    ::RegDeleteValueW(hKey, pszName);
    ::RegCloseKey(hKey);
}

bool ProductKey::ReadString(const wchar_t* pszName, std::wstring& strValue) const
{
    return ReadProductString(m_hHive, pszName, strValue);
}

bool ReadProductString(HKEY hHive, const wchar_t* pszName, std::wstring& strValue)
{
    HKEY hKey = OpenProductKey(hHive, false);
    if (hKey == nullptr)
        return false;
    wchar_t szValue[1024] = {};
    DWORD cbValue = sizeof(szValue) - sizeof(wchar_t);
    DWORD dwType = 0;
    LONG lResult = ::RegQueryValueExW(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(szValue), &cbValue);
    ::RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwType != REG_SZ)
        return false;
    strValue = szValue;
    return true;
}

bool ProductKeyExists(HKEY hHive)
{
    HKEY hKey = OpenProductKey(hHive, false);
    if (hKey == nullptr)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

void DeleteProductKeys()
{
    DeleteProductKey(HKEY_LOCAL_MACHINE);
    DeleteProductKey(HKEY_CURRENT_USER);
}

StandinInstallation::StandinInstallation(const std::wstring& strInstallDir)
{
    m_machine.SetString(L"OrvanePath", StandinPath());
    m_user.SetString(L"OrvaneDir", strInstallDir);
}

ViewSettingsFile::ViewSettingsFile() : m_strPath(OrvaneDataFolder() + L"\\ViewSettings.ini")
{
    Remove();
}

ViewSettingsFile::~ViewSettingsFile()
{
    Remove();
}

void ViewSettingsFile::Write(const std::string& strText) const
{
    WriteTextFile(m_strPath, strText);
}

void ViewSettingsFile::WriteLanguage(const wchar_t* pszLanguage) const
{
    Write("[Options]\r\nLang=" + WideToUtf8(pszLanguage) + "\r\n");
}

void ViewSettingsFile::Remove() const
{
    ::DeleteFileW(m_strPath.c_str());
}

std::wstring StandinPath()
{
    return WinPathFromEnv(L"ORVANE_STANDIN");
}

StandinLog::StandinLog()
{
    // Where the stand-in logs also when Explorer starts it (with Explorer's
    // environment, without ORVANE_STANDIN_LOG).
    m_strPath = OrvaneDataFolder() + L"\\standin-starts.log";
    ::DeleteFileW(m_strPath.c_str());
    ::SetEnvironmentVariableW(L"ORVANE_STANDIN_LOG", m_strPath.c_str());
}

StandinLog::~StandinLog()
{
    ::SetEnvironmentVariableW(L"ORVANE_STANDIN_LOG", nullptr);
    ::DeleteFileW(m_strPath.c_str());
}

namespace {

std::vector<uint8_t> ParseHex(const std::string& strHex)
{
    std::vector<uint8_t> vecBytes;
    for (size_t i = 0; i + 1 < strHex.size(); i += 2)
        vecBytes.push_back(static_cast<uint8_t>(std::stoi(strHex.substr(i, 2), nullptr, 16)));
    return vecBytes;
}

}  // namespace

std::vector<StandinStart> StandinLog::Read() const
{
    // A start being logged holds the file, unshared, for its one write (a
    // hand-off's timer may start one at any time while a test pumps): wait
    // for it rather than take the log for empty.
    std::vector<uint8_t> vecBytes;
    for (int nAttempt = 0; nAttempt < 200; ++nAttempt)
    {
        ::SetLastError(ERROR_SUCCESS);
        vecBytes = ReadFileBytes(m_strPath);
        if (!vecBytes.empty() || ::GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        ::Sleep(10);
    }
    std::istringstream stream(std::string(vecBytes.begin(), vecBytes.end()));
    std::vector<StandinStart> vecStarts;
    StandinStart current;
    std::string strLine;
    while (std::getline(stream, strLine))
    {
        size_t nSpace = strLine.find(' ');
        std::string strTag = strLine.substr(0, nSpace);
        std::string strRest = nSpace == std::string::npos ? std::string() : strLine.substr(nSpace + 1);
        if (strTag == "begin")
            current = StandinStart();
        else if (strTag == "cmdline")
            current.strCommandLine = Widen(strRest);
        else if (strTag == "arg")
            current.vecArgs.push_back(Widen(strRest));
        else if (strTag == "selection")
        {
            current.bSelectionPresent = strRest != "missing";
            if (current.bSelectionPresent)
                current.vecSelection = ParseHex(strRest);
        }
        else if (strTag == "copy")
        {
            current.bCopyPresent = strRest != "missing";
            if (current.bCopyPresent)
                current.vecCopy = ParseHex(strRest);
        }
        else if (strTag == "end")
            vecStarts.push_back(current);
    }
    return vecStarts;
}

std::vector<StandinStart> StandinLog::WaitFor(size_t nStarts, DWORD dwMilliseconds) const
{
    PumpMessagesUntil(dwMilliseconds, [&] { return Read().size() >= nStarts; });
    return Read();
}

std::string DropFilesBlock(uint32_t nOffset, bool bWide, const std::string& strList)
{
    std::string strBlock(20, '\0');
    memcpy(&strBlock[0], &nOffset, 4);
    strBlock[16] = bWide ? 1 : 0;
    strBlock.resize(nOffset > 20 && nOffset < 64 ? nOffset : 20, '\0');
    return strBlock + strList;
}

std::string Utf16Bytes(const std::wstring& str)
{
    return std::string(reinterpret_cast<const char*>(str.data()), str.size() * sizeof(wchar_t));
}

std::vector<uint8_t> SelectionBytes(const std::vector<std::wstring>& vecFiles)
{
    std::vector<uint8_t> vecBytes = {0xFF, 0xFE};
    for (const std::wstring& strFile : vecFiles)
    {
        for (wchar_t ch : strFile + L"\r")
        {
            vecBytes.push_back(static_cast<uint8_t>(ch & 0xFF));
            vecBytes.push_back(static_cast<uint8_t>(ch >> 8));
        }
    }
    return vecBytes;
}

std::vector<StandinStart> WithoutHandOffs(std::vector<StandinStart> vecStarts)
{
    std::vector<StandinStart> vecOut;
    for (StandinStart& start : vecStarts)
        if (start.vecArgs != std::vector<std::wstring>{L"-ad"})
            vecOut.push_back(std::move(start));
    return vecOut;
}

std::wstring ParametersOf(const StandinStart& start)
{
    const std::wstring& str = start.strCommandLine;
    size_t nPos = 0;
    if (!str.empty() && str[0] == L'"')
        nPos = str.find(L'"', 1) + 1;
    else
        nPos = str.find(L' ');
    while (nPos < str.size() && str[nPos] == L' ')
        ++nPos;
    return nPos < str.size() ? str.substr(nPos) : std::wstring();
}

}  // namespace testing_support
