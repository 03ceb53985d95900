// The floor of each measured operation: the same system calls, with the same
// arguments and in the same order as the operation makes them, written out
// plainly here without any of the extension's own code. What the extension
// takes beyond its floor is the cost of its own bookkeeping.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shobjidl.h>

#include <string>
#include <vector>

struct FloorRecord
{
    int nType;
    COLORREF crColor;
    wchar_t szIconFile[MAX_PATH];
    int nIconIndex;
};

// What the extension keeps per process and per object, kept here for the
// floors alone.
struct FloorState
{
    HMODULE hResources = nullptr;  // the extension DLL: the swatch and logo icons
    // Process-wide values.
    wchar_t szAppPath[MAX_PATH] = {};
    wchar_t szAppData[MAX_PATH] = {};
    wchar_t szSelectionFile[MAX_PATH] = {};
    std::wstring strViewSettingsIni;
    std::wstring strLangFile;
    std::vector<HBITMAP> vecMenuBitmaps;
    // One object's fields.
    wchar_t szInstallDir[MAX_PATH] = {};
    wchar_t szFileName[2 * MAX_PATH] = {};
    std::vector<std::wstring> vecSelectedFiles;
    std::vector<FloorRecord> vecMenuItems;
};

// Class object from the cache, one instance made and released.
void FloorCreateAndRelease(FloorState& state);
// The settings, then the selection read in one walk over the CF_HDROP block.
HRESULT FloorInitialize(FloorState& state, IDataObject* pDataObject);
// The same with one DragQueryFileW call per name: what a naive handler pays,
// quadratic in the number of names.
HRESULT FloorInitializeNaive(FloorState& state, IDataObject* pDataObject);
HRESULT FloorQueryContextMenu(FloorState& state, HMENU hMenu, UINT nIndexMenu, UINT idCmdFirst, UINT uFlags);
HRESULT FloorInvokeCommand(FloorState& state, UINT nOffset);
void FloorLoad(FloorState& state, const wchar_t* pszFileName);
HRESULT FloorGetIconLocation(FloorState& state, wchar_t* pszIconFile, UINT cchMax, int* piIndex, UINT* pwFlags);

// The Windows 11 menu's Explorer command. A new command's title: the object,
// the settings read as at a right-click, the caption, the copy handed out.
HRESULT FloorCommandTitle(FloorState& state, LPWSTR* ppszTitle);
// The subcommands as Explorer reads them: each caption and icon location,
// the copies handed out and freed again. pszCommandDll: the DLL whose
// swatches the colours show. Returns how many icon locations were made.
int FloorCommandSubcommands(FloorState& state, const wchar_t* pszCommandDll);
// The items' file-system paths into vecSelectedFiles: the array asked for
// its data object (Wine's has none), then one walk of its enumerator.
void FloorCommandPaths(FloorState& state, IShellItemArray* pSelection);
// A subcommand chosen for the items of pSelection: their paths, then what
// the classic item at nOffset does.
HRESULT FloorCommandInvoke(FloorState& state, IShellItemArray* pSelection, UINT nOffset);

// The state asked in a site: the item count, the site's own IOleWindow, its
// window's class; hidden where the class is not the navigation pane's tree.
HRESULT FloorCommandState(IUnknown* pSite, IShellItemArray* pSelection, EXPCMDSTATE* pState);

// Deletes the bitmaps the floor's last menu build handed out.
void FloorReleaseMenuBitmaps(FloorState& state);
