// The subcommands under "Mark File" in the Windows 11 menu: the items of the
// classic plain menu in its order (six markers, a separator, four colours, a
// separator, "Restore Default", "More Icons"), and the enumerator that hands
// them to Explorer.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>

// Makes the subcommands for one opening, with the captions of strLangFile
// and the icon library of pszInstallDir, and an enumerator over them. The
// items of nHiddenItems (menu/MenuRows.h) are left out; the others hand over
// what they hand over with none hidden. With bTrace, every call on a
// subcommand is traced (diagnostics/Trace.h).
HRESULT CreateSubCommandEnum(const wchar_t* pszInstallDir, const std::wstring& strLangFile, uint32_t nHiddenItems,
                             bool bTrace, IEnumExplorerCommand** ppEnum) noexcept;
