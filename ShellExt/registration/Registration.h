// Self-registration: the exports DllRegisterServer, DllUnregisterServer and
// DllInstall, which run the DLL's two registry scripts and register its type
// library, machine-wide or (DllInstall with "user") for the current user.
#pragma once

#include <windows.h>

#include <cstddef>

// Set by DllInstall("user"), in any letter case, and kept while the DLL stays
// loaded: every script's "HKCR" root then lands under
// HKEY_CURRENT_USER\Software\Classes, and the type library is registered for
// the user.
extern bool g_bPerUserRegistration;

// Whether a DllInstall command line asks for per-user registration: exactly
// "user", without regard to case ("users" or "user " do not).
bool IsPerUserCommandLine(LPCWSTR pszCmdLine) noexcept;

// One extra substitution for a registry script (name and value as in "%name%").
struct RegistrySubstitution
{
    const wchar_t* pszName;
    const wchar_t* pszValue;
};

// Registers or unregisters with the "REGISTRY" resource nResourceId of this
// DLL. The extra substitutions come first and win over the standard ones
// (%APPID%, %Module%, %Module_Raw%); entries without a value are skipped.
HRESULT RunRegistryScript(UINT nResourceId, bool bRegister, const RegistrySubstitution* pExtra = nullptr,
                          size_t nExtra = 0) noexcept;
