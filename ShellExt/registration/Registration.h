// Self-registration: the exports DllRegisterServer, DllUnregisterServer and
// DllInstall, which run the DLL's two registry scripts and register its type
// library, machine-wide or (DllInstall with "user") for the current user.
#pragma once

#include <windows.h>

// Set by DllInstall("user"), in any letter case, and kept while the DLL stays
// loaded: every script's "HKCR" root then lands under
// HKEY_CURRENT_USER\Software\Classes, and the type library is registered for
// the user.
extern bool g_bPerUserRegistration;

// Whether a DllInstall command line asks for per-user registration: exactly
// "user", without regard to case ("users" or "user " do not).
bool IsPerUserCommandLine(LPCWSTR pszCmdLine) noexcept;
