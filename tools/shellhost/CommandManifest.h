// What the shell host reads to reach the Explorer command as the packaged
// activation does: the class identifier from the package manifest, and the
// icon locations the command hands out. Platform-free, tested natively.
#pragma once

#include <cstdint>
#include <string>

// The Id attribute of the manifest's first com:Class element, in registry
// form "{...}". False when there is none or it is not shaped like a GUID.
bool FindCommandClassId(const std::string& strManifest, std::u16string& strClsid);

// An icon location "file,index" split at its last comma; the index is
// signed decimal (a negative one names a resource identifier). False when
// there is no file or no valid index.
bool SplitIconLocation(const std::u16string& strLocation, std::u16string& strFile, int32_t& nIndex);
