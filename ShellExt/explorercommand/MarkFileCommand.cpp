#include "ShellExt/explorercommand/MarkFileCommand.h"

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/explorercommand/CommandHandOff.h"
#include "ShellExt/explorercommand/IconLocations.h"
#include "ShellExt/explorercommand/ShellItemPaths.h"
#include "ShellExt/explorercommand/SiteWindow.h"
#include "ShellExt/explorercommand/SubCommands.h"
#include "ShellExt/menu/CommandPlacement.h"
#include "ShellExt/menu/MenuRows.h"
#include "ShellExt/resources/resource.h"
#include "ShellExt/settings/Captions.h"
#include "ShellExt/settings/Settings.h"

namespace {

const char kTraceObject[] = "CMarkFileCommand";

}  // namespace

CMarkFileCommand::CMarkFileCommand() noexcept
    : m_switches(CurrentShellExtSwitches()), m_trace(kTraceObject, m_switches.bTrace)
{
    m_szInstallDir[0] = L'\0';
}

namespace {

// Filled while the DLL loads. As a function's static it would be filled on
// the first call, under a guard whose first use allocates inside the
// runtime, which does not survive running out of memory there.
const InterfaceMapEntry s_markFileCommandInterfaces[] = {
    {&IID_IExplorerCommand, OffsetOfBase<IExplorerCommand, CMarkFileCommand>(), InterfaceEntryKind::Offset},
    {&IID_IObjectWithSite, OffsetOfBase<IObjectWithSite, CMarkFileCommand>(), InterfaceEntryKind::Offset},
    {nullptr, 0, InterfaceEntryKind::End},
};

}  // namespace

const InterfaceMapEntry* CMarkFileCommand::GetInterfaceMap() noexcept
{
    return s_markFileCommandInterfaces;
}

void CMarkFileCommand::LoadSettingsOnce()
{
    if (m_bSettingsLoaded)
        return;
    ReadAppDataVariable();
    // Read aside and taken over whole, so that a load that throws leaves the
    // object as it was and the next call tries again.
    wchar_t szInstallDir[MAX_PATH];
    CopyBounded(szInstallDir, MAX_PATH, m_szInstallDir);
    std::wstring strLangFile;
    LoadSettings(szInstallDir, strLangFile);
    CopyBounded(m_szInstallDir, MAX_PATH, szInstallDir);
    m_strLangFile.swap(strLangFile);
    m_bSettingsLoaded = true;
}

STDMETHODIMP CMarkFileCommand::GetTitle(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszName)
{
    return m_trace.Call("GetTitle", [&]() -> HRESULT {
        if (ppszName == nullptr)
            return E_POINTER;
        *ppszName = nullptr;
        return GuardComMethod([&] {
            LoadSettingsOnce();
            CaptionPtr caption(
                GetMenuCaptionFrom(m_strLangFile.c_str(), AsWide(kMarkFileKey), AsWide(kMarkFileFallback)));
            return HandOutText(caption ? caption.get() : AsWide(kMarkFileFallback), ppszName);
        });
    });
}

STDMETHODIMP CMarkFileCommand::GetIcon(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszIcon)
{
    return m_trace.Call("GetIcon", [&]() -> HRESULT {
        if (ppszIcon == nullptr)
            return E_POINTER;
        *ppszIcon = nullptr;
        return GuardComMethod([&] { return HandOutText(ModuleIconLocation(IDI_LOGO), ppszIcon); });
    });
}

STDMETHODIMP CMarkFileCommand::GetToolTip(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszInfotip)
{
    return m_trace.Call("GetToolTip", [&] { return HandOutText(nullptr, ppszInfotip); });
}

STDMETHODIMP CMarkFileCommand::GetCanonicalName(GUID* pguidCommandName)
{
    return m_trace.Call("GetCanonicalName", [&]() -> HRESULT {
        if (pguidCommandName == nullptr)
            return E_POINTER;
        *pguidCommandName = CLSID_MarkFileCommand;
        return S_OK;
    });
}

// Shown for one or more items, except where a classic menu asks
// (menu/CommandPlacement.h): there the classic handler's entry is the one.
// The first answer "shown" starts the delayed hand-off of this opening
// (CommandHandOff.h); a hidden command starts nothing.
//
// The shell asks a classic menu's commands first with fOkToBeSlow FALSE, on
// the thread that is about to show the menu, and expects a quick answer or
// E_PENDING, after which it asks again with TRUE on another object on a
// background thread (some builds never do). This answer needs neither: the
// site's window class comes from the window manager, and the per-user
// switch ShowCommandInClassicMenus was taken when the object was made
// (Switches.h), so no request touches a file or the registry to decide, and
// the first answer is final, whatever fOkToBeSlow says. Only an answer
// "shown" goes on to the hand-off, which only starts its waiter.
STDMETHODIMP CMarkFileCommand::GetState(IShellItemArray* psiItemArray, BOOL fOkToBeSlow, EXPCMDSTATE* pCmdState)
{
    wchar_t szSiteClass[kSiteClassCapacity];
    TraceDetails details;
    details.nOkToBeSlow = fOkToBeSlow ? 1 : 0;
    return m_trace.Call("GetState", details, [&]() -> HRESULT {
        if (pCmdState == nullptr)
            return E_POINTER;
        *pCmdState = ECS_HIDDEN;
        const DWORD nItems = CountShellItems(psiItemArray);
        details.nItems = nItems;
        if (nItems == 0 && !m_trace.IsOn())
            return S_OK;
        const CommandSiteWindow site = ReadSiteWindow(m_site.get(), szSiteClass);
        details.bSite = true;
        details.strSite = SiteTraceText(site);
        // The ShowWindows11Command policy 0 hides the command in every menu.
        if (!m_switches.bShowWindows11Command ||
            !IsCommandShown(site, m_switches.bShowCommandInClassicMenus, nItems))
            return S_OK;
        *pCmdState = ECS_ENABLED;
        if (!m_bHandOffStarted)
        {
            m_bHandOffStarted = true;
            StartSelectionHandOff(psiItemArray);
        }
        return S_OK;
    });
}

// The top level only opens the submenu; there is nothing to run.
STDMETHODIMP CMarkFileCommand::Invoke(IShellItemArray* psiItemArray, IBindCtx* /*pbc*/)
{
    TraceDetails details;
    if (m_trace.IsOn())
        details.nItems = CountShellItems(psiItemArray);
    return m_trace.Call("Invoke", details, [] { return E_NOTIMPL; });
}

STDMETHODIMP CMarkFileCommand::GetFlags(EXPCMDFLAGS* pFlags)
{
    return m_trace.Call("GetFlags", [&]() -> HRESULT {
        if (pFlags == nullptr)
            return E_POINTER;
        *pFlags = ECF_HASSUBCOMMANDS;
        return S_OK;
    });
}

STDMETHODIMP CMarkFileCommand::EnumSubCommands(IEnumExplorerCommand** ppEnum)
{
    return m_trace.Call("EnumSubCommands", [&]() -> HRESULT {
        if (ppEnum == nullptr)
            return E_POINTER;
        *ppEnum = nullptr;
        return GuardComMethod([&] {
            LoadSettingsOnce();
            return CreateSubCommandEnum(m_szInstallDir, m_strLangFile, m_switches.nHiddenMenuItems, m_trace.IsOn(),
                                        ppEnum);
        });
    });
}

STDMETHODIMP CMarkFileCommand::SetSite(IUnknown* pUnkSite)
{
    return m_trace.Call("SetSite", [&] {
        if (pUnkSite != nullptr)
            pUnkSite->AddRef();
        m_site.reset(pUnkSite);
        return S_OK;
    });
}

STDMETHODIMP CMarkFileCommand::GetSite(REFIID riid, void** ppvSite)
{
    return m_trace.Call("GetSite", [&]() -> HRESULT {
        if (ppvSite == nullptr)
            return E_POINTER;
        *ppvSite = nullptr;
        if (!m_site)
            return E_FAIL;
        return m_site->QueryInterface(riid, ppvSite);
    });
}
