#pragma once

// Runs a registry script that a module carries as a resource (type "REGISTRY"
// for this DLL's own scripts) through a registrar.

#include <windows.h>

#include "RegScript.h"

// Loads resource nResourceId of type pszResourceType from pszModuleFile
// (as data; the module's code is not run), converts its 8-bit text with the
// thread's ANSI code page and runs it through registrar. bPerUser moves the
// script's "HKCR" roots to HKEY_CURRENT_USER\Software\Classes.
HRESULT RunResourceScript(CRegObject& registrar, LPCWSTR pszModuleFile, UINT nResourceId, LPCWSTR pszResourceType,
                          bool bRegister, bool bPerUser) noexcept;
