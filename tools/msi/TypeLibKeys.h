#pragma once

// The keys that the system's type-library registration writes for a library
// registered from a file without a help directory of its own, written here
// through the registry operations so that they can be recorded.

#include <cstdint>
#include <string>

#include "ShellExt/registration/RegistryOps.h"
#include "tools/msi/TypeLibFile.h"

// Returns a Win32 error code.
int32_t WriteTypeLibKeys(IRegistryOps& ops, const TypeLibFacts& facts, const std::u16string& strPath);
