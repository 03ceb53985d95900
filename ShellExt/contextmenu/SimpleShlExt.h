// The one COM class of the extension: Explorer's context-menu handler for
// files, and an icon handler for file types whose entry names it.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ShellExt/diagnostics/Trace.h"
#include "ShellExt/menu/MenuItemRecord.h"
#include "ShellExt/module/ComObject.h"
#include "ShellExt/module/Guids.h"
#include "ShellExt/settings/Switches.h"

// The class's own interface: nothing beyond IUnknown, described by the type
// library so that the class has an identity of its own.
struct ISimpleShlExt : public IUnknown
{
};

// Every COM method runs its body through GuardComMethod: no exception reaches
// the host, a stray one is answered with E_UNEXPECTED.
class CSimpleShlExt : public CComObjectRootEx<CComSingleThreadModel>,
                      public CComCoClass<CSimpleShlExt, &CLSID_SimpleShlExt>,
                      public ISimpleShlExt,
                      public IShellExtInit,
                      public IContextMenu,
                      public IPersistFile,
                      public IExtractIconW
{
public:
    CSimpleShlExt() noexcept;
    virtual ~CSimpleShlExt();

    CSimpleShlExt(const CSimpleShlExt&) = delete;
    CSimpleShlExt& operator=(const CSimpleShlExt&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // IShellExtInit
    STDMETHOD(Initialize)(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;

    // IContextMenu
    STDMETHOD(QueryContextMenu)(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
    STDMETHOD(InvokeCommand)(CMINVOKECOMMANDINFO* pici) override;
    STDMETHOD(GetCommandString)(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName, UINT cchMax) override;

    // IPersistFile
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(IsDirty)() override;
    STDMETHOD(Load)(LPCOLESTR pszFileName, DWORD dwMode) override;
    STDMETHOD(Save)(LPCOLESTR pszFileName, BOOL fRemember) override;
    STDMETHOD(SaveCompleted)(LPCOLESTR pszFileName) override;
    STDMETHOD(GetCurFile)(LPOLESTR* ppszFileName) override;

    // IExtractIconW
    STDMETHOD(GetIconLocation)(UINT uFlags, PWSTR pszIconFile, UINT cchMax, int* piIndex, UINT* pwFlags) override;
    STDMETHOD(Extract)(PCWSTR pszFile, UINT nIconIndex, HICON* phiconLarge, HICON* phiconSmall,
                       UINT nIconSize) override;

    // Read-only views for code of the same module and for tests.
    const std::vector<std::wstring>& SelectedFiles() const noexcept { return m_vecSelectedFiles; }
    const std::vector<MenuItemRecord>& MenuItems() const noexcept { return m_vecMenuItems; }
    const wchar_t* InstallDir() const noexcept { return m_szInstallDir; }

    // Inserts the item of one row of the marker menu and appends its record
    // (none for the cascading item, whose idOrSubmenu is the submenu it
    // opens), then gives it its picture. Returns the result of the insertion.
    BOOL AddMenuItem(HMENU hMenu, UINT nPosition, UINT_PTR idOrSubmenu, const wchar_t* pszCaption,
                     const MenuRow& row) noexcept;
    // Appends the record of an item the HiddenMenuItems policy leaves out: it
    // names no command, so its offset starts nothing, and the offsets after
    // it keep their meaning.
    void AddHiddenItemRecord() noexcept;

protected:
    wchar_t m_szInstallDir[MAX_PATH];
    wchar_t m_szFileName[2 * MAX_PATH];
    std::vector<std::wstring> m_vecSelectedFiles;
    std::vector<MenuItemRecord> m_vecMenuItems;
    // The switches as they were when Explorer made the object
    // (settings/Switches.h); the trace is on or off for the object's life.
    const ShellExtSwitches m_switches;
    const CCallTrace m_trace;

private:
    // The details of a call on the selection: how many files, never which.
    TraceDetails SelectionDetails() const noexcept;

    HRESULT CaptureSelection(IDataObject* pdtobj);
    HRESULT InvokeChosenItem(const CMINVOKECOMMANDINFO* pici);
    HRESULT ClearCommandString(UINT uType, CHAR* pszName, UINT cchMax);
    HRESULT BuildMarkerMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags);
};

// Creates a CComObject<CSimpleShlExt> and asks it for riid; the class cannot
// be aggregated.
HRESULT CreateSimpleShlExt(IUnknown* pOuter, REFIID riid, void** ppv) noexcept;
