// The verbs that register the Windows 11 menu's sparse package for the user
// who runs them, and that leave its removal to every other user.
#pragma once

#include <string>

// register-user: the package beside this program, for the current user.
int RunRegisterUser(int nArgs, wchar_t** ppszArgs);
// unregister-user: the package removed for the current user.
int RunUnregisterUser(int nArgs, wchar_t** ppszArgs);
// unregister-all-users VERSION: the uninstallation's last word to Active
// Setup, which then removes the package at each user's next logon.
int RunUnregisterAllUsers(int nArgs, wchar_t** ppszArgs);

// tell-explorer: associations changed (the install scripts' last step after
// they registered or removed the package).
int RunTellExplorer(int nArgs, wchar_t** ppszArgs);

// Exit code of these verbs when registering or removing failed.
constexpr int kUserRegistrationFailed = 3;

// This program's folder with its closing backslash, or empty.
std::wstring CompanionFolder();
// The one sparse package in strFolder (*.msix), or empty when there is none
// or more than one.
std::wstring FindPackage(const std::wstring& strFolder);

// Whether this user's package may be registered now (not as SYSTEM, not in
// safe mode or Windows setup, Windows 11), and the registration itself: the
// package beside this program removed and added again.
bool MayRegisterUserPackage() noexcept;
bool RegisterUserPackage();

// Tells Explorer that associations changed.
void TellExplorer() noexcept;
