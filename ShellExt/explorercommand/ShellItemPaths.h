// The selection as the Explorer command receives it: an IShellItemArray. In
// the surrogate that is a proxy of Explorer's array, and every call on it or
// on one of its items is a round trip to Explorer while Explorer waits: the
// selection is read in one transfer, the array's data object with its drop
// list (menu/DropSelection.h), and item by item (64 per fetch) only from an
// array that has none.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstddef>
#include <cstdint>

#include "ShellExt/menu/HandOffFormat.h"

// The number of items, 0 for a null array or one that cannot say.
DWORD CountShellItems(IShellItemArray* psiItemArray) noexcept;

// The file-system paths of the items, in order, appended to encoder as the
// selection file holds them (from the drop list without a string per name);
// the number of paths. Items without one (a library, a device, a page of the
// control panel) are left out. May throw std::bad_alloc.
size_t EncodeFileSystemPaths(IShellItemArray* psiItemArray, SelectionFileEncoder& encoder);

// The key of the right-click (menu/SelectionKey.h) from the same paths, in
// one pass over the drop list (or the items).
uint64_t SelectionKeyOfItems(IShellItemArray* psiItemArray) noexcept;
