// The pictures beside the items of the marker menu: icons from an icon
// library or from this module's resources, turned into 32-bpp bitmaps of the
// small-icon size and kept alive while the menu that shows them may be open.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <vector>

// An icon of the library file at pszLibrary, index nIndex, composed on the
// menu colour into a small-icon square. The caller destroys it. Null for a
// null path, a missing file or index, or any failure.
HICON LoadIclIcon(const wchar_t* pszLibrary, int nIndex) noexcept;

// Gives the entry at nPosition of the host menu the logo, composed on the
// menu colour.
void SetSubmenuLogo(HMENU hMenu, UINT nPosition) noexcept;

// Sets a bitmap made from hIcon (which stays the caller's) as the checked and
// unchecked picture of the item at nPosition, and keeps the bitmap in the
// calling thread's menu bitmap list.
void SetMenuItemIcon(HICON hIcon, HMENU hMenu, UINT nPosition) noexcept;

// A new bottom-up 32-bpp DIB section of nWidth x nHeight holding hIcon, owned
// by the caller; null for a null icon or on failure.
HBITMAP IconToMenuDib(HICON hIcon, int nWidth, int nHeight) noexcept;

// For an icon that drew without any alpha into the paint buffer: every pixel
// under a clear mask bit becomes opaque, every pixel under a set one fully
// transparent. An icon that brought alpha of its own is left as drawn.
HRESULT FixAlphaFromMask(HPAINTBUFFER hPaintBuffer, HDC hdcMemory, HICON hIcon, int nWidth, int nHeight) noexcept;

// The bitmaps handed to menus are owned by a list kept per thread: a menu
// build deletes what earlier builds on the same thread handed out, and what
// threads that have ended left, never the bitmaps of a menu that another
// running thread may still be showing. Whatever is left when the module
// unloads is deleted then.
void ClearMenuBitmapList() noexcept;

// The bitmaps that menu builds on the calling thread handed out since its
// last clearing, in order (null entries included).
std::vector<HBITMAP> MenuBitmapsOfThisThread();
