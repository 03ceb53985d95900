// The verbs that register the Windows 11 menu's sparse package for the user
// who runs them, and that leave its removal to every other user.
#pragma once

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
