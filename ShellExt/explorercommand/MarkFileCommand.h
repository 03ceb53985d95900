// The Windows 11 top-level menu's "Mark File": an Explorer command with the
// markers, colours and commands of the classic plain menu as subcommands.
// Explorer makes one for every opening of the menu and calls it on one
// thread at a time, so its fields need no lock.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <shobjidl.h>

#include <string>

#include "ShellExt/diagnostics/Trace.h"
#include "ShellExt/explorercommand/ComOwners.h"
#include "ShellExt/module/ComObject.h"
#include "ShellExt/settings/Switches.h"

// The class of the top-level command, as the package manifest declares it.
extern const CLSID CLSID_MarkFileCommand;

// Explorer's surrogate may release the command on another thread than the
// one it was made on, so the count is interlocked.
class CMarkFileCommand : public CComObjectRootEx<CComMultiThreadModel>,
                         public IExplorerCommand,
                         public IObjectWithSite
{
public:
    CMarkFileCommand() noexcept;
    virtual ~CMarkFileCommand() = default;

    CMarkFileCommand(const CMarkFileCommand&) = delete;
    CMarkFileCommand& operator=(const CMarkFileCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // IExplorerCommand
    STDMETHOD(GetTitle)(IShellItemArray* psiItemArray, LPWSTR* ppszName) override;
    STDMETHOD(GetIcon)(IShellItemArray* psiItemArray, LPWSTR* ppszIcon) override;
    STDMETHOD(GetToolTip)(IShellItemArray* psiItemArray, LPWSTR* ppszInfotip) override;
    STDMETHOD(GetCanonicalName)(GUID* pguidCommandName) override;
    STDMETHOD(GetState)(IShellItemArray* psiItemArray, BOOL fOkToBeSlow, EXPCMDSTATE* pCmdState) override;
    STDMETHOD(Invoke)(IShellItemArray* psiItemArray, IBindCtx* pbc) override;
    STDMETHOD(GetFlags)(EXPCMDFLAGS* pFlags) override;
    STDMETHOD(EnumSubCommands)(IEnumExplorerCommand** ppEnum) override;

    // IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* pUnkSite) override;
    STDMETHOD(GetSite)(REFIID riid, void** ppvSite) override;

private:
    // The settings of this opening (install folder, language file, the main
    // application), read on the first call that needs them, as the classic
    // menu reads them at every right-click. They stay in the object: command
    // objects of other openings load theirs on other threads meanwhile. A
    // load that fails (out of memory) leaves nothing half-read and is tried
    // again by the next call.
    void LoadSettingsOnce();

    // Switches as they were when Explorer made this object (Switches.h).
    const ShellExtSwitches m_switches;
    const CCallTrace m_trace;
    bool m_bSettingsLoaded = false;
    bool m_bHandOffStarted = false;
    wchar_t m_szInstallDir[MAX_PATH];
    std::wstring m_strLangFile;
    CComOwner<IUnknown> m_site;
};
