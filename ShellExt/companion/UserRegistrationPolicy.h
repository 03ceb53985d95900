// Whether this logon may register the sparse package for its user. Package
// registration is per user, and there are states in which it must not be
// tried: the SYSTEM account and the service accounts have no user profile
// that Explorer shows (a deployment tool runs the installer so, and Active
// Setup never does), safe mode refuses it, registering while Windows itself
// is being set up (OOBE, Sysprep's specialize pass) breaks the image, and
// Windows before 11 has no menu for it. Each of these is a quiet success.
//
// Active Setup runs the stub once per user and version and records the
// version afterwards whatever the stub did, so a logon that skipped would
// never be asked again (a user whose first logon after the installation was
// on Windows 10, in safe mode or during setup would not get the menu after
// the upgrade to Windows 11). A stub that skips therefore asks for the next
// logon itself (UserRegistration.cpp: the user's RunOnce key), until one
// registers.
#pragma once

#include <cstdint>

// What the machine says about this process; gathered by the caller.
struct UserRegistrationFacts
{
    bool bServiceAccount;
    bool bSafeMode;
    bool bWindowsSetup;
    uint32_t nBuild;  // 0 when the build could not be read
};

enum class UserRegistrationStep
{
    Proceed,
    SkipServiceAccount,
    SkipSafeMode,
    SkipWindowsSetup,
    SkipBeforeWindows11,
};

// The top-level menu of packaged handlers exists from this build on.
constexpr uint32_t kFirstWindows11Build = 22000;

// An unreadable build counts as too old: registering where the menu may not
// exist risks more than waiting for the next logon.
constexpr UserRegistrationStep DecideUserRegistration(const UserRegistrationFacts& facts) noexcept
{
    if (facts.bServiceAccount)
        return UserRegistrationStep::SkipServiceAccount;
    if (facts.bSafeMode)
        return UserRegistrationStep::SkipSafeMode;
    if (facts.bWindowsSetup)
        return UserRegistrationStep::SkipWindowsSetup;
    if (facts.nBuild < kFirstWindows11Build)
        return UserRegistrationStep::SkipBeforeWindows11;
    return UserRegistrationStep::Proceed;
}
