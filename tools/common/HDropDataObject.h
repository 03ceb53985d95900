// A data object that offers the selection the way Explorer does for a
// context menu: CF_HDROP in global memory, a fresh copy for every GetData.
// Shared by the shell host, the benchmark and the Windows tests.
#pragma once

#include <objidl.h>

#include <string>
#include <vector>

// Returns a new object holding one reference, or null when out of memory.
// Without bOfferHDrop it offers no format at all, as a host handing over
// something other than files would. Without bWideNames the names are listed
// as 8-bit text in the ANSI code page, as some programs still hand them over.
IDataObject* CreateHDropDataObject(const std::vector<std::wstring>& vecFiles, bool bOfferHDrop = true,
                                   bool bWideNames = true);

// The same object handing out strBlock as the medium's bytes, whatever they
// hold: for the readers of malformed blocks.
IDataObject* CreateRawHDropDataObject(const std::string& strBlock);

// An object that offers CF_HDROP and answers every GetData with hrGetData (a
// failure), as a proxy whose transfer fails does.
IDataObject* CreateRefusingHDropDataObject(HRESULT hrGetData);
