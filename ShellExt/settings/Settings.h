// Where the main application lives, which language the user reads, and the
// paths derived from them. Everything is read again at every Initialize: the
// extension keeps no configuration of its own.
#pragma once

#include <windows.h>

#include <string>

#include "ShellExt/settings/ProductValueChoice.h"
#include "ShellExt/settings/SharedValues.h"

// Registry key of the product, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
extern const wchar_t kProductKey[];

extern CSharedBuffer<MAX_PATH> g_szAppPath;   // the main application's executable
extern CSharedBuffer<MAX_PATH> g_szAppData;   // "AppData" from the environment
extern CSharedString g_strViewSettingsIni;    // the user's ViewSettings.ini
extern CSharedString g_strLangFile;           // the language file of the captions

// "AppData" from the environment, read afresh; false when it is absent or too
// long for the buffer.
bool ReadAppDataFolder(wchar_t (&szFolder)[MAX_PATH]) noexcept;

// Refreshes g_szAppData from the environment. An absent variable, or one too
// long for its buffer, leaves it empty rather than cut: a cut folder would
// send the fixed selection copy somewhere else entirely.
void ReadAppDataVariable() noexcept;

// "<szInstallDir>\Languages\<strLanguage>.lng", the language file of the
// captions.
std::wstring BuildLanguageFilePath(const wchar_t* pszInstallDir, const std::wstring& strLanguage);

// The first step of every Initialize. Never fails; may throw std::bad_alloc,
// which the COM boundary catches.
void LoadSettings(wchar_t (&szInstallDir)[MAX_PATH]);

// The same, with the language file handed to the caller in strLangFile
// instead of g_strLangFile: for objects that keep their settings to
// themselves while others on other threads load theirs.
void LoadSettings(wchar_t (&szInstallDir)[MAX_PATH], std::wstring& strLangFile);

// One product value of an open key as the extension judges it: text only
// from REG_SZ or REG_EXPAND_SZ (kept as stored, not expanded), and only when
// it fits szValue with its terminator; anything else leaves szValue empty.
// The companion's status reads the values through the same function.
ProductValueState ReadProductText(HKEY hKey, const wchar_t* pszName, wchar_t (&szValue)[MAX_PATH]) noexcept;

// Reads OrvanePath into g_szAppPath and OrvaneDir into szInstallDir, each
// from the hive ChooseProductValue picks; a value found in neither leaves its
// target alone. bElevated: IsProcessElevated(), or what a program running
// elevated would read.
void ReadInstallLocation(bool bElevated, wchar_t (&szInstallDir)[MAX_PATH]) noexcept;

// Leaves the version mark for the main application, only in an existing key.
void WriteDllVersion() noexcept;

// Builds the ViewSettings.ini path in strPath; false (and strPath unchanged)
// when the roaming application-data folder is unknown.
bool GetViewSettingsPath(std::wstring& strPath);

// The user's language name from ViewSettings.ini; never empty.
std::wstring ReadLanguageName();
