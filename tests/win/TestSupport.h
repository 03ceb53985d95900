// Helpers shared by the Windows tests: real registry values, real files in
// the prefix's folders, a real CF_HDROP data object, message pumping, and the
// log of the stand-in main application.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/HDropDataObject.h"
#include "tools/common/MessagePump.h"
#include "tools/common/WinText.h"

namespace testing_support {

std::wstring Widen(const std::string& strUtf8);

// A Linux path handed in through the environment, as Wine sees it (Z:\...).
std::wstring WinPathFromEnv(const wchar_t* pszVariable);
std::wstring EnvW(const wchar_t* pszVariable);

// A fresh, empty folder under %TEMP% for one test.
std::wstring MakeTempFolder(const std::wstring& strHint);
bool CreateFolderTree(const std::wstring& strPath);
void DeleteFolderTree(const std::wstring& strPath);

std::vector<uint8_t> ReadFileBytes(const std::wstring& strPath);
bool FileExists(const std::wstring& strPath);
void WriteFileBytes(const std::wstring& strPath, const std::vector<uint8_t>& vecBytes);
void WriteTextFile(const std::wstring& strPath, const std::string& strText);  // 8-bit text
void WriteUtf16File(const std::wstring& strPath, const std::wstring& strText);  // with BOM

std::wstring AppDataFolder();  // the roaming application-data folder
std::wstring OrvaneDataFolder();  // <AppData>\Kelvoss\Orvane, created

// The product's registry key in one hive; the key is removed again when the
// object goes out of scope.
class ProductKey
{
public:
    explicit ProductKey(HKEY hHive);
    ~ProductKey();
    ProductKey(const ProductKey&) = delete;
    ProductKey& operator=(const ProductKey&) = delete;

    void SetString(const wchar_t* pszName, const std::wstring& strValue);
    void DeleteValue(const wchar_t* pszName);
    bool ReadString(const wchar_t* pszName, std::wstring& strValue) const;

private:
    HKEY m_hHive;
};

// The product's keys of an installation in strInstallDir whose main
// application is the stand-in: OrvanePath machine-wide, OrvaneDir for the
// user. Both keys are removed when the object goes.
class StandinInstallation
{
public:
    explicit StandinInstallation(const std::wstring& strInstallDir);
    const ProductKey& User() const { return m_user; }

private:
    ProductKey m_machine{HKEY_LOCAL_MACHINE};
    ProductKey m_user{HKEY_CURRENT_USER};
};

void DeleteProductKeys();  // both hives
bool ProductKeyExists(HKEY hHive);
bool ReadProductString(HKEY hHive, const wchar_t* pszName, std::wstring& strValue);

// The user's ViewSettings.ini in <AppData>\Kelvoss\Orvane: absent when the
// object is made, and removed again when it goes out of scope.
class ViewSettingsFile
{
public:
    ViewSettingsFile();
    ~ViewSettingsFile();
    ViewSettingsFile(const ViewSettingsFile&) = delete;
    ViewSettingsFile& operator=(const ViewSettingsFile&) = delete;

    const std::wstring& Path() const { return m_strPath; }
    void Write(const std::string& strText) const;  // 8-bit text
    void WriteLanguage(const wchar_t* pszLanguage) const;  // the user's language, as the main application writes it
    void Remove() const;

private:
    std::wstring m_strPath;
};

// Pumps messages (thread timers fire only while their thread does) until
// pred() is true or the time is up; returns pred().
template <class Pred>
bool PumpMessagesUntil(DWORD dwMilliseconds, Pred pred)
{
    DWORD dwStart = ::GetTickCount();
    while (!pred())
    {
        if (::GetTickCount() - dwStart >= dwMilliseconds)
            return pred();
        PumpMessagesFor(20);
    }
    return true;
}

// One start of the stand-in main application.
struct StandinStart
{
    std::wstring strCommandLine;
    std::vector<std::wstring> vecArgs;  // without the program name
    bool bSelectionPresent = false;
    std::vector<uint8_t> vecSelection;  // the file named by the second argument
    bool bCopyPresent = false;
    std::vector<uint8_t> vecCopy;  // <AppData>\Kelvoss\Orvane\selectedfiles.dat
};

// The stand-in writes to the log named by ORVANE_STANDIN_LOG, which tests
// point at a fresh file.
class StandinLog
{
public:
    StandinLog();  // a fresh log; sets ORVANE_STANDIN_LOG for programs we start
    ~StandinLog();
    std::vector<StandinStart> Read() const;
    // Waits (pumping messages) until the log holds at least n starts.
    std::vector<StandinStart> WaitFor(size_t nStarts, DWORD dwMilliseconds) const;
    const std::wstring& Path() const { return m_strPath; }

private:
    std::wstring m_strPath;
};

std::wstring StandinPath();

// A selection file's bytes as the main application reads them.
std::vector<uint8_t> SelectionBytes(const std::vector<std::wstring>& vecFiles);

// A CF_HDROP block: the header with the list's offset (the gap up to an
// offset below 64 filled with zeros) and fWide, then strList as it is.
std::string DropFilesBlock(uint32_t nOffset, bool bWide, const std::string& strList);
// The code units of str as bytes.
std::string Utf16Bytes(const std::wstring& str);
// The starts of the stand-in other than the delayed "-ad" hand-offs.
std::vector<StandinStart> WithoutHandOffs(std::vector<StandinStart> vecStarts);
// The parameters as the main application's command line shows them, after
// the program's own (quoted) name.
std::wstring ParametersOf(const StandinStart& start);

}  // namespace testing_support
