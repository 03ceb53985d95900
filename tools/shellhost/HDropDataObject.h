// A data object that offers the selection the way Explorer does for a
// context menu: CF_HDROP in global memory, a fresh copy for every GetData.
#pragma once

#include <objidl.h>

#include <string>
#include <vector>

// Returns a new object holding one reference, or null when out of memory.
IDataObject* CreateHDropDataObject(const std::vector<std::wstring>& vecFiles);
