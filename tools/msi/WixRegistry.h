#pragma once

// Turns recorded registry contents into WiX registry elements: one
// RegistryValue per value, with the text escaped for Windows Installer's
// formatted fields and for XML.

#include <string>
#include <vector>

#include "tools/msi/MemoryRegistry.h"

// Text that stands for a path known only at install time, and the formatted
// reference ("[#file]", "[DIRECTORY]") that Windows Installer resolves it with.
struct MsiReference
{
    std::u16string strText;
    std::u16string strFormatted;
};

// Escapes text for a formatted field, putting in the references (longest
// first) where their text appears.
std::u16string ToMsiFormatted(const std::u16string& strText, const std::vector<MsiReference>& vecReferences);

// The RegistryValue elements for every value under HKEY_CLASSES_ROOT, one per
// line; throws on what the Registry table cannot hold as the registry had it.
std::string WixRegistryValues(const CMemoryRegistry& registry, const std::vector<MsiReference>& vecReferences);
