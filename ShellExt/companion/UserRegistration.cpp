// Package registration for one user, run by the installer as the installing
// user and by Active Setup at every other user's next logon. The work itself
// is done by the signed script beside this program (Windows11Menu.ps1, which
// removes a registration of the same version before adding it again):
// Add-AppxPackage has no documented API that a program without the Windows
// Runtime could call as simply. Explorer is then told that associations
// changed, so that an open window picks up the new verb without a restart
// where it can.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ShellExt/companion/CompanionIds.h"
#include "ShellExt/companion/UserRegistration.h"
#include "ShellExt/companion/UserRegistrationPolicy.h"
#include "ShellExt/companion/Verbs.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/ModulePath.h"
#include "ShellExt/core/SystemFunction.h"

namespace {

// Beside this program: the folder that holds the command DLL and the
// program the package names, and nothing else.
constexpr const wchar_t* kPackageFolder = L"Windows11";
// In the system folder: never a PowerShell found by the search path.
constexpr const wchar_t* kPowerShell = L"WindowsPowerShell\\v1.0\\powershell.exe";

// Active Setup waits for its command before the desktop appears: a hung
// script must not hold a logon for longer than this.
constexpr DWORD kScriptTimeoutMs = 120 * 1000;

// Where a skipped registration asks for the user's next logon.
constexpr const wchar_t* kRunOnceKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kCatchUpValue = L"OrvaneShellExtWindows11Menu";

bool IsServiceAccount() noexcept
{
    CKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()))
        return false;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD cbNeeded = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &cbNeeded))
        return false;
    PSID pSid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    return ::IsWellKnownSid(pSid, WinLocalSystemSid) || ::IsWellKnownSid(pSid, WinLocalServiceSid) ||
           ::IsWellKnownSid(pSid, WinNetworkServiceSid);
}

DWORD ReadMachineDword(const wchar_t* pszKey, const wchar_t* pszValue) noexcept
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, pszKey, pszValue, RRF_RT_REG_DWORD, nullptr, &dwValue, &cbValue) !=
        ERROR_SUCCESS)
        return 0;
    return dwValue;
}

// Windows setup and the out-of-box experience mark themselves here until
// the first real logon.
bool IsWindowsSetupRunning() noexcept
{
    const wchar_t* const kSetupKey = L"SYSTEM\\Setup";
    return ReadMachineDword(kSetupKey, L"SystemSetupInProgress") != 0 ||
           ReadMachineDword(kSetupKey, L"OOBEInProgress") != 0 || ReadMachineDword(kSetupKey, L"UpgradeInProgress") != 0;
}

uint32_t WindowsBuild() noexcept
{
    OSVERSIONINFOW info;
    return ReadTrueWindowsVersion(info) ? info.dwBuildNumber : 0;
}

UserRegistrationFacts GatherFacts() noexcept
{
    return {IsServiceAccount(), ::GetSystemMetrics(SM_CLEANBOOT) != 0, IsWindowsSetupRunning(), WindowsBuild()};
}


// Runs the script with its words, hidden; true when it reported success.
bool RunScript(const std::wstring& strFolder, const std::wstring& strWords)
{
    const std::wstring strPowerShell = SystemFilePath(kPowerShell);
    if (strPowerShell.empty())
        return false;
    std::wstring strCommand = L"\"" + strPowerShell +
                              L"\" -NoProfile -NonInteractive -ExecutionPolicy Bypass -WindowStyle Hidden -File \"" +
                              strFolder + L"Windows11Menu.ps1\" " + strWords;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(strPowerShell.c_str(), &strCommand[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &process))
        return false;
    CKernelHandle hProcess(process.hProcess);
    CKernelHandle hThread(process.hThread);
    if (::WaitForSingleObject(hProcess.Get(), kScriptTimeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD dwExit = 1;
    return ::GetExitCodeProcess(hProcess.Get(), &dwExit) && dwExit == 0;
}


// "a,b,c,d": one to four numbers, as Active Setup compares them.
bool IsActiveSetupVersion(const wchar_t* psz) noexcept
{
    int nParts = 1;
    int nDigits = 0;
    for (; *psz != L'\0'; ++psz)
    {
        if (*psz == L',' && nDigits > 0 && nParts < 4)
        {
            ++nParts;
            nDigits = 0;
        }
        else if (*psz >= L'0' && *psz <= L'9' && nDigits < 5)
            ++nDigits;
        else
            return false;
    }
    return nDigits > 0;
}

bool SetString(HKEY hKey, const wchar_t* pszName, const std::wstring& strValue) noexcept
{
    return ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                            static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

std::wstring CompanionFolder()
{
    const std::wstring strPath = FullModulePath(nullptr);
    size_t nSlash = strPath.find_last_of(L'\\');
    return nSlash == std::wstring::npos ? std::wstring() : strPath.substr(0, nSlash + 1);
}

std::wstring FindPackage(const std::wstring& strFolder)
{
    WIN32_FIND_DATAW found;
    CFindHandle search(::FindFirstFileW((strFolder + L"*.msix").c_str(), &found));
    if (!search)
        return {};
    std::wstring strPackage = strFolder + found.cFileName;
    if (::FindNextFileW(search.Get(), &found))
        return {};  // two packages: which one is ours is not for us to guess
    return strPackage;
}

void TellExplorer() noexcept
{
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

int RunTellExplorer(int nArgs, wchar_t**)
{
    if (nArgs != 0)
        return kCompanionUsage;
    TellExplorer();
    return kCompanionDone;
}

static bool RegisterPackage(const std::wstring& strFolder)
{
    const std::wstring strPackage = FindPackage(strFolder);
    // The package's external location is a folder of its own: registration
    // changes that folder's permissions. "FOLDER\." keeps a backslash away
    // from the closing quote.
    return !strPackage.empty() && RunScript(strFolder, L"register \"" + strPackage + L"\" \"" + strFolder +
                                                           kPackageFolder + L"\\.\" " + ORVANE_PACKAGE_NAME);
}

static bool RemovePackage(const std::wstring& strFolder)
{
    return RunScript(strFolder, std::wstring(L"remove ") + ORVANE_PACKAGE_NAME);
}

// The user's next logon runs "<this program>" register-user again: written
// when this logon had to skip, so that Active Setup's record of a run that
// did nothing does not keep the user from the menu for good. RunOnce
// removes the value before it runs the command; a logon that skips again
// writes it again. Safe mode leaves RunOnce for the next ordinary start.
static void AskForNextLogon() noexcept
{
    try
    {
        const std::wstring strProgram = FullModulePath(nullptr);
        if (strProgram.empty())
            return;
        CRegKeyHandle key;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                              nullptr) != ERROR_SUCCESS)
            return;
        SetString(key.Get(), kCatchUpValue, L"\"" + strProgram + L"\" register-user");
    }
    catch (...)
    {
        // No catch-up: the next version's Active Setup run is the next chance.
    }
}

// Either step runs only where DecideUserRegistration lets it, from the
// companion's own folder, and Explorer hears of it afterwards.
static int RunUserPackageStep(int nArgs, bool (*pfnStep)(const std::wstring& strFolder), bool bCatchUp)
{
    if (nArgs != 0)
        return kCompanionUsage;
    if (DecideUserRegistration(GatherFacts()) != UserRegistrationStep::Proceed)
    {
        if (bCatchUp)
            AskForNextLogon();
        return kCompanionDone;
    }
    const std::wstring strFolder = CompanionFolder();
    const bool bDone = !strFolder.empty() && pfnStep(strFolder);
    TellExplorer();
    return bDone ? kCompanionDone : kUserRegistrationFailed;
}

bool MayRegisterUserPackage() noexcept
{
    return DecideUserRegistration(GatherFacts()) == UserRegistrationStep::Proceed;
}

bool RegisterUserPackage()
{
    const std::wstring strFolder = CompanionFolder();
    return !strFolder.empty() && RegisterPackage(strFolder);
}

int RunRegisterUser(int nArgs, wchar_t**)
{
    return RunUserPackageStep(nArgs, RegisterPackage, true);
}

int RunUnregisterUser(int nArgs, wchar_t**)
{
    return RunUserPackageStep(nArgs, RemovePackage, false);
}

// After the uninstallation no file of ours is left to run: the removal step
// needs only PowerShell. Version must exceed the installation's, so that
// each user who ran the registration runs the removal once.
int RunUnregisterAllUsers(int nArgs, wchar_t** ppszArgs)
{
    if (nArgs != 1 || !IsActiveSetupVersion(ppszArgs[0]))
        return kCompanionUsage;
    const std::wstring strPowerShell = SystemFilePath(kPowerShell);
    if (strPowerShell.empty())
        return kUserRegistrationFailed;
    CRegKeyHandle key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ORVANE_ACTIVE_SETUP_KEY, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return kUserRegistrationFailed;
    std::wstring strStub = L"\"" + strPowerShell +
                           L"\" -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Get-AppxPackage -Name '" +
                           ORVANE_PACKAGE_NAME + L"' | Remove-AppxPackage\"";
    DWORD dwInstalled = 1;
    bool bWritten = SetString(key.Get(), nullptr, L"Orvane Shell Extension (Windows 11 menu, removal)") &&
                    SetString(key.Get(), L"StubPath", strStub) && SetString(key.Get(), L"Version", ppszArgs[0]) &&
                    ::RegSetValueExW(key.Get(), L"IsInstalled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwInstalled),
                                     sizeof(dwInstalled)) == ERROR_SUCCESS;
    return bWritten ? kCompanionDone : kUserRegistrationFailed;
}
