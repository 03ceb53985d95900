// What `OrvaneShellExt.exe status` saw on the machine, as plain values: the
// Windows calls fill it (StatusProbe.cpp), the platform-free judgement turns
// it into findings (StatusFindings.cpp). Nothing here is interpreted yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ShellExt/settings/SwitchPolicy.h"

enum class KeyState : uint8_t
{
    kAbsent,
    kPresent,
    kUnreadable,  // there, but opening it failed (permissions, a damaged hive)
};

enum class ValueState : uint8_t
{
    kAbsent,      // the key or the value is not there
    kText,        // REG_SZ or REG_EXPAND_SZ (expanded), in strText
    kNumber,      // REG_DWORD, in nNumber
    kWrongType,   // another type than the reader wants (nType says which)
    kTooLong,     // more than the reader's bounded buffer
    kUnreadable,  // the key or the value could not be read (nError)
};

struct RegValue
{
    ValueState state = ValueState::kAbsent;
    std::u16string strText;
    uint32_t nNumber = 0;
    uint32_t nType = 0;
    uint32_t nError = 0;
};

enum class PathState : uint8_t
{
    kNotChecked,  // no path to check
    kFile,
    kDirectory,
    kMissing,
    kTooLong,     // MAX_PATH or more: the shell's loaders stop there
    kUnreadable,  // the file system answered with another error (nError)
};

enum class SignatureState : uint8_t
{
    kNotChecked,
    kVerified,
    kUnsigned,
    kUntrusted,   // a signature whose chain ends in no trusted root, or expired
    kBroken,      // the file changed after signing, or the signature is damaged
    kUnavailable, // no WinVerifyTrust on this system
};

// PE machine numbers of the image file header.
enum : uint16_t
{
    kMachineUnknown = 0,
    kMachineI386 = 0x014C,
    kMachineAmd64 = 0x8664,
    kMachineArm64 = 0xAA64,
};

struct FileFacts
{
    PathState state = PathState::kNotChecked;
    uint32_t nError = 0;
    bool bHasVersion = false;   // the version resource's file version
    uint16_t nVersion[4] = {};
    uint16_t nMachine = kMachineUnknown;
    SignatureState signature = SignatureState::kNotChecked;
    uint32_t nTrustResult = 0;
};

enum class RegistryScope : uint8_t
{
    kMachine,  // HKLM\Software\Classes
    kUser,     // HKCU\Software\Classes
};

enum class RegistryView : uint8_t
{
    k64,
    k32,
};

// The classic handler's class and its menu-handler entry in one scope and
// registry view.
struct ClassRegistration
{
    RegistryScope scope = RegistryScope::kMachine;
    RegistryView view = RegistryView::k64;
    KeyState classKey = KeyState::kAbsent;
    RegValue server;       // InprocServer32's default value
    FileFacts file;        // the file it names
    RegValue menuHandler;  // *\shellex\ContextMenuHandlers\Orvane's default value
};

// Whether the class is listed under one shell-extension list key.
struct ListPlace
{
    RegistryScope scope = RegistryScope::kMachine;
    RegistryView view = RegistryView::k64;
    KeyState listed = KeyState::kAbsent;  // kPresent: a value named after the class
};

struct PackageRegistration
{
    std::u16string strFullName;
    RegValue folder;  // where the package's files are, as Windows answers
    FileFacts commandDll;
};

// One hive's Software\Kelvoss\Orvane.
struct ProductKeyFacts
{
    KeyState key = KeyState::kAbsent;
    RegValue appPath;     // OrvanePath
    RegValue installDir;  // OrvaneDir
};

// One allowed entry of a file's or folder's access list, as a SID's text
// ("S-1-5-32-545") and its access mask. Entries that only pass on to the
// folder's children are left out: they grant nothing on the folder itself.
struct AccessEntry
{
    std::u16string strSid;
    uint32_t nMask = 0;
};

// The access list of a file or folder of an installation for every user.
struct AccessFacts
{
    std::u16string strPath;
    bool bFolder = false;
    bool bRead = false;      // the access list was read (else nError)
    uint32_t nError = 0;
    bool bNullDacl = false;  // no access list at all: everyone may do anything
    std::vector<AccessEntry> vecAllowed;
};

struct StatusRecord
{
    // Identifiers, as the registry writes them.
    std::u16string strClassId;
    std::u16string strPackageName;
    std::u16string strCommandDllName;

    // Windows.
    bool bVersionKnown = false;
    uint32_t nMajor = 0;
    uint32_t nMinor = 0;
    uint32_t nBuild = 0;
    bool bWindows64 = false;
    bool bElevated = false;  // this program runs elevated: the product values are an elevated program's
    uint16_t nNativeMachine = kMachineUnknown;
    FileFacts program;  // this program itself

    // The classic handler.
    std::vector<ClassRegistration> vecClasses;
    std::vector<ListPlace> vecBlocked;
    std::vector<ListPlace> vecApproved;
    bool bApprovalEnforced = false;  // the EnforceShellExtensionSecurity policy
    std::vector<std::u16string> vecIconHandlerTypes;  // file types whose IconHandler names the class
    bool bIconHandlerListCut = false;
    KeyState classicMenuTweak = KeyState::kAbsent;

    // Who may change the folder of each HKLM registration's DLL, the DLL
    // and the OrvaneShellExt.exe beside it.
    std::vector<AccessFacts> vecInstallAccess;

    // The Windows 11 package, looked for from its first build on.
    bool bPackageChecked = false;
    KeyState packageRepository = KeyState::kAbsent;
    std::vector<PackageRegistration> vecPackages;

    // The main application, raw per hive and as the extension resolves it.
    ProductKeyFacts machineProduct;
    ProductKeyFacts userProduct;
    KeyState kelvossUserKey = KeyState::kAbsent;  // HKCU\Software\Kelvoss
    std::u16string strAppPath;
    std::u16string strInstallDir;
    FileFacts app;
    FileFacts installDir;
    FileFacts iconLibrary;
    std::u16string strIconLibrary;
    std::u16string strLanguage;
    std::u16string strLanguageFile;
    FileFacts languageFile;

    // This program's folder (with its closing backslash), the classic
    // handler's DLL of this program's processor in it, and whether exactly
    // one Windows 11 package lies beside it: what repair works from.
    std::u16string strProgramFolder;
    std::u16string strOwnDll;
    FileFacts ownDll;
    bool bPackageBeside = false;

    // The switches, in the machine's and the user's policy and the user's
    // own key (settings/Switches.h).
    RawSwitchValues switches;
};
