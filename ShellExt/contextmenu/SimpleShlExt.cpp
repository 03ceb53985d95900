#include "ShellExt/contextmenu/SimpleShlExt.h"

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/icons/IconLocation.h"
#include "ShellExt/menu/ChosenItem.h"
#include "ShellExt/menu/DropSelection.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/PendingHandOff.h"
#include "ShellExt/menu/SelectionFile.h"
#include "ShellExt/settings/Settings.h"
#include "ShellExt/settings/Switches.h"

namespace {

const char kTraceObject[] = "CSimpleShlExt";

}  // namespace

// Only the terminators: Explorer makes an object for every icon it shows, and
// clearing the 1,560 bytes of both buffers was a third of the creation's own
// cost. Every writer of these buffers terminates what it writes.
CSimpleShlExt::CSimpleShlExt() noexcept
    : m_switches(CurrentShellExtSwitches()), m_trace(kTraceObject, m_switches.bTrace)
{
    m_szInstallDir[0] = L'\0';
    m_szFileName[0] = L'\0';
    ReadAppDataVariable();
}

CSimpleShlExt::~CSimpleShlExt() = default;

namespace {

// Filled while the DLL loads (see the class factory's table).
const InterfaceMapEntry s_simpleShlExtInterfaces[] = {
    {&IID_ISimpleShlExt, OffsetOfBase<ISimpleShlExt, CSimpleShlExt>(), InterfaceEntryKind::Offset},
    {&IID_IShellExtInit, OffsetOfBase<IShellExtInit, CSimpleShlExt>(), InterfaceEntryKind::Offset},
    {&IID_IContextMenu, OffsetOfBase<IContextMenu, CSimpleShlExt>(), InterfaceEntryKind::Offset},
    {&IID_IPersistFile, OffsetOfBase<IPersistFile, CSimpleShlExt>(), InterfaceEntryKind::Offset},
    {&IID_IExtractIconW, OffsetOfBase<IExtractIconW, CSimpleShlExt>(), InterfaceEntryKind::Offset},
    {nullptr, 0, InterfaceEntryKind::End},
};

}  // namespace

const InterfaceMapEntry* CSimpleShlExt::GetInterfaceMap() noexcept
{
    return s_simpleShlExtInterfaces;
}

TraceDetails CSimpleShlExt::SelectionDetails() const noexcept
{
    TraceDetails details;
    details.nItems = static_cast<long long>(m_vecSelectedFiles.size());
    return details;
}

STDMETHODIMP CSimpleShlExt::Initialize(PCIDLIST_ABSOLUTE /*pidlFolder*/, IDataObject* pdtobj, HKEY /*hkeyProgID*/)
{
    TraceDetails details;
    return m_trace.Call("Initialize", details, [&]() -> HRESULT {
        // Settings are refreshed at every right-click, before the selection
        // is looked at; nothing that goes wrong there changes the answer.
        try
        {
            LoadSettings(m_szInstallDir);
        }
        catch (...)
        {
        }

        HRESULT hr = GuardComMethod([&] { return CaptureSelection(pdtobj); });
        details = SelectionDetails();
        if (FAILED(hr))
            return hr;

        // The right-click's slot: "Show more options" after the Windows 11
        // menu is the same right-click, whose hand-off the Explorer command
        // has started already; the other way round, the command finds this
        // one pending.
        const uint64_t nKey = SelectionKeyOfPaths(m_vecSelectedFiles);
        CHandOffSlot slot;
        if (slot.Create(nKey) != CHandOffSlot::Outcome::Existed || IsHandOffTimerPending(nKey))
            StartHandOffTimer(nKey, slot.Detach());
        return S_OK;
    });
}

HRESULT CSimpleShlExt::CaptureSelection(IDataObject* pdtobj)
{
    if (pdtobj == nullptr)
        return E_INVALIDARG;

    CDropMedium medium;
    if (!medium.Receive(pdtobj))
        return E_INVALIDARG;

    // A block refused by its header, or a list without names, leaves the
    // previous selection as it was, as does a data object without the
    // format. The names then go straight into the emptied list, the previous
    // names' memory given back first: a list built aside would hold both
    // selections at once and cost a large selection half as much again. A
    // list that runs off the end of its block, or memory running out half-way,
    // leaves the selection empty rather than cut.
    CDropListReader reader = medium.Reader();
    if (!reader.HasFirstName())
        return E_INVALIDARG;
    m_vecSelectedFiles.clear();
    HRESULT hr = E_INVALIDARG;
    try
    {
        hr = ReadDroppedNames(reader, m_vecSelectedFiles);
    }
    catch (...)
    {
        m_vecSelectedFiles.clear();
        throw;
    }
    if (FAILED(hr))
        m_vecSelectedFiles.clear();
    return hr;
}

STDMETHODIMP CSimpleShlExt::InvokeCommand(CMINVOKECOMMANDINFO* pici)
{
    return m_trace.Call("InvokeCommand", SelectionDetails(),
                        [&] { return GuardComMethod([&] { return InvokeChosenItem(pici); }); });
}

HRESULT CSimpleShlExt::InvokeChosenItem(const CMINVOKECOMMANDINFO* pici)
{
    // A new selection file for every call, before the verb is looked at: the
    // main application may read the newest one even after a refused call.
    wchar_t szSelectionFile[MAX_PATH];
    WriteSelectionFile(m_vecSelectedFiles, szSelectionFile);

    // A verb given as text (its high word set) names no item of ours.
    if (pici == nullptr || !IS_INTRESOURCE(pici->lpVerb))
        return E_INVALIDARG;
    size_t nOffset = LOWORD(reinterpret_cast<UINT_PTR>(pici->lpVerb));
    if (nOffset >= m_vecMenuItems.size())
        return E_INVALIDARG;
    const MenuItemRecord record = m_vecMenuItems[nOffset];
    return HandOffChosenItem(record, szSelectionFile);
}

STDMETHODIMP CSimpleShlExt::GetCommandString(UINT_PTR /*idCmd*/, UINT uType, UINT* /*pReserved*/, CHAR* pszName,
                                             UINT cchMax)
{
    return m_trace.Call("GetCommandString",
                        [&] { return GuardComMethod([&] { return ClearCommandString(uType, pszName, cchMax); }); });
}

HRESULT CSimpleShlExt::ClearCommandString(UINT uType, CHAR* pszName, UINT cchMax)
{
    // No verbs and no help texts. A host that asks for text still gets a
    // terminated empty string, never whatever was in its buffer before.
    if (pszName != nullptr && cchMax > 0)
    {
        switch (uType)
        {
        case GCS_VERBA:
        case GCS_HELPTEXTA:
            pszName[0] = '\0';
            break;
        case GCS_VERBW:
        case GCS_HELPTEXTW:
            reinterpret_cast<wchar_t*>(pszName)[0] = L'\0';
            break;
        default:
            break;
        }
    }
    return S_OK;
}

STDMETHODIMP CSimpleShlExt::GetClassID(CLSID* /*pClassID*/)
{
    return m_trace.Call("GetClassID", [] { return E_NOTIMPL; });
}

STDMETHODIMP CSimpleShlExt::IsDirty()
{
    return m_trace.Call("IsDirty", [] { return E_NOTIMPL; });
}

// The icon handler's file is named nowhere in the trace.
STDMETHODIMP CSimpleShlExt::Load(LPCOLESTR pszFileName, DWORD /*dwMode*/)
{
    return m_trace.Call("Load",
                        [&] { return GuardComMethod([&] { return RememberIconFile(pszFileName, m_szFileName); }); });
}

STDMETHODIMP CSimpleShlExt::Save(LPCOLESTR /*pszFileName*/, BOOL /*fRemember*/)
{
    return m_trace.Call("Save", [] { return E_NOTIMPL; });
}

STDMETHODIMP CSimpleShlExt::SaveCompleted(LPCOLESTR /*pszFileName*/)
{
    return m_trace.Call("SaveCompleted", [] { return E_NOTIMPL; });
}

STDMETHODIMP CSimpleShlExt::GetCurFile(LPOLESTR* /*ppszFileName*/)
{
    return m_trace.Call("GetCurFile", [] { return E_NOTIMPL; });
}

STDMETHODIMP CSimpleShlExt::Extract(PCWSTR /*pszFile*/, UINT /*nIconIndex*/, HICON* /*phiconLarge*/,
                                    HICON* /*phiconSmall*/, UINT /*nIconSize*/)
{
    // The shell extracts the icon itself from the location we named.
    return m_trace.Call("Extract", [] { return S_FALSE; });
}

STDMETHODIMP CSimpleShlExt::GetIconLocation(UINT /*uFlags*/, PWSTR pszIconFile, UINT cchMax, int* piIndex,
                                            UINT* pwFlags)
{
    return m_trace.Call("GetIconLocation", [&] {
        return GuardComMethod([&] { return GetFileIconLocation(m_szFileName, pszIconFile, cchMax, piIndex, pwFlags); });
    });
}
