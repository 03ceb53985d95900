// Takes an icon out of an icon library the way the shell does
// (PrivateExtractIconsW) and turns it into pixels for an .ico file.
#pragma once

#include <windows.h>

#include <string>

#include "tools/refapp/IconFile.h"

// The image of icon nIndex at nSize x nSize pixels. False when the library
// or the icon cannot be read; strError then says why.
bool ExtractLibraryIcon(const std::wstring& strLibrary, int nIndex, int nSize, IconPixels& image,
                        std::string& strError);
