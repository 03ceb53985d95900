#include "ShellExt/explorercommand/MarkFileCommand.h"

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/explorercommand/CommandHandOff.h"
#include "ShellExt/explorercommand/IconLocations.h"
#include "ShellExt/explorercommand/ShellItemPaths.h"
#include "ShellExt/explorercommand/SubCommands.h"
#include "ShellExt/menu/MenuRows.h"
#include "ShellExt/resources/resource.h"
#include "ShellExt/settings/Captions.h"
#include "ShellExt/settings/Settings.h"

CMarkFileCommand::CMarkFileCommand() noexcept
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
    m_bSettingsLoaded = true;
    ReadAppDataVariable();
    LoadSettings(m_szInstallDir);
    m_strLangFile = g_strLangFile.Copy();
}

STDMETHODIMP CMarkFileCommand::GetTitle(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszName)
{
    if (ppszName == nullptr)
        return E_POINTER;
    *ppszName = nullptr;
    return GuardComMethod([&] {
        LoadSettingsOnce();
        CaptionPtr caption(GetMenuCaptionFrom(m_strLangFile.c_str(), AsWide(kMarkFileKey), AsWide(kMarkFileFallback)));
        return HandOutText(caption ? caption.get() : AsWide(kMarkFileFallback), ppszName);
    });
}

STDMETHODIMP CMarkFileCommand::GetIcon(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszIcon)
{
    if (ppszIcon == nullptr)
        return E_POINTER;
    *ppszIcon = nullptr;
    return GuardComMethod([&] { return HandOutText(ModuleIconLocation(IDI_LOGO), ppszIcon); });
}

STDMETHODIMP CMarkFileCommand::GetToolTip(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszInfotip)
{
    return HandOutText(nullptr, ppszInfotip);
}

STDMETHODIMP CMarkFileCommand::GetCanonicalName(GUID* pguidCommandName)
{
    if (pguidCommandName == nullptr)
        return E_POINTER;
    *pguidCommandName = CLSID_MarkFileCommand;
    return S_OK;
}

// Shown for one or more items, hidden otherwise. The first answer with a
// selection starts the delayed hand-off of this opening (CommandHandOff.h).
STDMETHODIMP CMarkFileCommand::GetState(IShellItemArray* psiItemArray, BOOL /*fOkToBeSlow*/, EXPCMDSTATE* pCmdState)
{
    if (pCmdState == nullptr)
        return E_POINTER;
    *pCmdState = ECS_HIDDEN;
    if (CountShellItems(psiItemArray) == 0)
        return S_OK;
    *pCmdState = ECS_ENABLED;
    if (!m_bHandOffStarted)
    {
        m_bHandOffStarted = true;
        // The hand-off starts the main application this opening names.
        GuardComMethod([&] {
            LoadSettingsOnce();
            return S_OK;
        });
        StartSelectionHandOff(psiItemArray);
    }
    return S_OK;
}

// The top level only opens the submenu; there is nothing to run.
STDMETHODIMP CMarkFileCommand::Invoke(IShellItemArray* /*psiItemArray*/, IBindCtx* /*pbc*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CMarkFileCommand::GetFlags(EXPCMDFLAGS* pFlags)
{
    if (pFlags == nullptr)
        return E_POINTER;
    *pFlags = ECF_HASSUBCOMMANDS;
    return S_OK;
}

STDMETHODIMP CMarkFileCommand::EnumSubCommands(IEnumExplorerCommand** ppEnum)
{
    if (ppEnum == nullptr)
        return E_POINTER;
    *ppEnum = nullptr;
    return GuardComMethod([&] {
        LoadSettingsOnce();
        return CreateSubCommandEnum(m_szInstallDir, m_strLangFile, ppEnum);
    });
}

STDMETHODIMP CMarkFileCommand::SetSite(IUnknown* pUnkSite)
{
    if (pUnkSite != nullptr)
        pUnkSite->AddRef();
    m_site.reset(pUnkSite);
    return S_OK;
}

STDMETHODIMP CMarkFileCommand::GetSite(REFIID riid, void** ppvSite)
{
    if (ppvSite == nullptr)
        return E_POINTER;
    *ppvSite = nullptr;
    if (!m_site)
        return E_FAIL;
    return m_site->QueryInterface(riid, ppvSite);
}
