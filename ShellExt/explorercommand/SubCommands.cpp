#include "ShellExt/explorercommand/SubCommands.h"

#include <memory>
#include <utility>
#include <vector>

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/diagnostics/Trace.h"
#include "ShellExt/explorercommand/ComOwners.h"
#include "ShellExt/explorercommand/IconLocations.h"
#include "ShellExt/explorercommand/ShellItemPaths.h"
#include "ShellExt/menu/ChosenItem.h"
#include "ShellExt/menu/MenuItemRecord.h"
#include "ShellExt/menu/MenuRows.h"
#include "ShellExt/module/ComObject.h"
#include "ShellExt/settings/Captions.h"

namespace {

// What one subcommand shows and what choosing it hands over: the same
// record the classic menu keeps for its item (type, colour, library, index).
struct SubCommandInfo
{
    EXPCMDFLAGS flags = ECF_DEFAULT;
    std::wstring strTitle;
    std::wstring strIcon;  // empty: no icon
    MenuItemRecord record = {};
};

// A new object of class T, with one reference that owner holds.
template <class T>
HRESULT NewObject(CComOwner<CComObject<T>>& owner) noexcept
{
    auto* pObject = new (std::nothrow) CComObject<T>();
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    pObject->AddRef();
    owner.reset(pObject);
    return S_OK;
}

class CMarkerSubCommand : public CComObjectRootEx<CComMultiThreadModel>, public IExplorerCommand
{
public:
    CMarkerSubCommand() noexcept = default;
    virtual ~CMarkerSubCommand() = default;

    void SetInfo(SubCommandInfo info, bool bTrace) noexcept
    {
        m_info = std::move(info);
        m_trace = CCallTrace("CMarkerSubCommand", bTrace);
    }

    CMarkerSubCommand(const CMarkerSubCommand&) = delete;
    CMarkerSubCommand& operator=(const CMarkerSubCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // Separators have no title; a caption the language file leaves empty is
    // an empty title, as the classic menu shows it.
    STDMETHOD(GetTitle)(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszName) override
    {
        return m_trace.Call("GetTitle", [&] {
            return HandOutText((m_info.flags & ECF_ISSEPARATOR) ? nullptr : m_info.strTitle.c_str(), ppszName);
        });
    }

    STDMETHOD(GetIcon)(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszIcon) override
    {
        return m_trace.Call("GetIcon", [&] { return HandOutText(m_info.strIcon, ppszIcon); });
    }

    STDMETHOD(GetToolTip)(IShellItemArray* /*psiItemArray*/, LPWSTR* ppszInfotip) override
    {
        return m_trace.Call("GetToolTip", [&] { return HandOutText(nullptr, ppszInfotip); });
    }

    // Only the top-level command has a name of its own.
    STDMETHOD(GetCanonicalName)(GUID* pguidCommandName) override
    {
        return m_trace.Call("GetCanonicalName", [&]() -> HRESULT {
            if (pguidCommandName == nullptr)
                return E_POINTER;
            *pguidCommandName = GUID_NULL;
            return E_NOTIMPL;
        });
    }

    STDMETHOD(GetState)(IShellItemArray* /*psiItemArray*/, BOOL fOkToBeSlow, EXPCMDSTATE* pCmdState) override
    {
        TraceDetails details;
        details.nOkToBeSlow = fOkToBeSlow ? 1 : 0;
        return m_trace.Call("GetState", details, [&]() -> HRESULT {
            if (pCmdState == nullptr)
                return E_POINTER;
            *pCmdState = ECS_ENABLED;
            return S_OK;
        });
    }

    STDMETHOD(Invoke)(IShellItemArray* psiItemArray, IBindCtx* /*pbc*/) override
    {
        TraceDetails details;
        if (m_trace.IsOn())
            details.nItems = CountShellItems(psiItemArray);
        return m_trace.Call("Invoke", details, [&]() -> HRESULT {
            if (m_info.flags & ECF_ISSEPARATOR)
                return E_NOTIMPL;
            if (psiItemArray == nullptr)
                return E_INVALIDARG;
            return GuardComMethod([&] {
                SelectionFileEncoder selection;
                // Nothing with a file-system path: nothing to mark, nothing started.
                if (EncodeFileSystemPaths(psiItemArray, selection) == 0)
                    return E_INVALIDARG;
                // Explorer waits on this call: the start is the companion's,
                // from its own process (menu/ChosenItem.h).
                return HandOffSelection(m_info.record, selection, ProgramStart::ThroughCompanion);
            });
        });
    }

    STDMETHOD(GetFlags)(EXPCMDFLAGS* pFlags) override
    {
        return m_trace.Call("GetFlags", [&]() -> HRESULT {
            if (pFlags == nullptr)
                return E_POINTER;
            *pFlags = m_info.flags;
            return S_OK;
        });
    }

    STDMETHOD(EnumSubCommands)(IEnumExplorerCommand** ppEnum) override
    {
        return m_trace.Call("EnumSubCommands", [&]() -> HRESULT {
            if (ppEnum == nullptr)
                return E_POINTER;
            *ppEnum = nullptr;
            return E_NOTIMPL;
        });
    }

private:
    SubCommandInfo m_info;
    CCallTrace m_trace{"CMarkerSubCommand", false};
};

using CCommandList = std::vector<CComOwner<IExplorerCommand>>;

// Clones share the list; each keeps its own position.
class CSubCommandEnum : public CComObjectRootEx<CComMultiThreadModel>, public IEnumExplorerCommand
{
public:
    CSubCommandEnum() noexcept = default;
    virtual ~CSubCommandEnum() = default;

    void SetList(std::shared_ptr<const CCommandList> list, ULONG nPosition) noexcept
    {
        m_list = std::move(list);
        m_nPosition = nPosition;
    }

    CSubCommandEnum(const CSubCommandEnum&) = delete;
    CSubCommandEnum& operator=(const CSubCommandEnum&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    STDMETHOD(Next)(ULONG celt, IExplorerCommand** pUICommand, ULONG* pceltFetched) override
    {
        if (pceltFetched != nullptr)
            *pceltFetched = 0;
        if (pUICommand == nullptr)
            return E_POINTER;
        // Only a request for one may leave out the count.
        if (pceltFetched == nullptr && celt != 1)
            return E_INVALIDARG;
        ULONG nFetched = 0;
        for (; nFetched < celt && m_nPosition < m_list->size(); ++nFetched, ++m_nPosition)
        {
            pUICommand[nFetched] = (*m_list)[m_nPosition].get();
            pUICommand[nFetched]->AddRef();
        }
        if (pceltFetched != nullptr)
            *pceltFetched = nFetched;
        return nFetched == celt ? S_OK : S_FALSE;
    }

    STDMETHOD(Skip)(ULONG celt) override
    {
        const ULONG nLeft = static_cast<ULONG>(m_list->size()) - m_nPosition;
        const ULONG nSkipped = celt < nLeft ? celt : nLeft;
        m_nPosition += nSkipped;
        return nSkipped == celt ? S_OK : S_FALSE;
    }

    STDMETHOD(Reset)() override
    {
        m_nPosition = 0;
        return S_OK;
    }

    STDMETHOD(Clone)(IEnumExplorerCommand** ppenum) override
    {
        return CreateEnum(m_list, m_nPosition, ppenum);
    }

    static HRESULT CreateEnum(std::shared_ptr<const CCommandList> list, ULONG nPosition,
                              IEnumExplorerCommand** ppEnum) noexcept
    {
        if (ppEnum == nullptr)
            return E_POINTER;
        *ppEnum = nullptr;
        CComOwner<CComObject<CSubCommandEnum>> enumerator;
        HRESULT hr = NewObject(enumerator);
        if (FAILED(hr))
            return hr;
        enumerator->SetList(std::move(list), nPosition);
        *ppEnum = enumerator.release();
        return S_OK;
    }

private:
    std::shared_ptr<const CCommandList> m_list;
    ULONG m_nPosition = 0;
};

// The interface tables are filled while the DLL loads, not under the guard of
// a function's static (see the top-level command's table).
const InterfaceMapEntry s_subCommandInterfaces[] = {
    {&IID_IExplorerCommand, OffsetOfBase<IExplorerCommand, CMarkerSubCommand>(), InterfaceEntryKind::Offset},
    {nullptr, 0, InterfaceEntryKind::End},
};

const InterfaceMapEntry s_subCommandEnumInterfaces[] = {
    {&IID_IEnumExplorerCommand, OffsetOfBase<IEnumExplorerCommand, CSubCommandEnum>(), InterfaceEntryKind::Offset},
    {nullptr, 0, InterfaceEntryKind::End},
};

const InterfaceMapEntry* CMarkerSubCommand::GetInterfaceMap() noexcept
{
    return s_subCommandInterfaces;
}

const InterfaceMapEntry* CSubCommandEnum::GetInterfaceMap() noexcept
{
    return s_subCommandEnumInterfaces;
}

SubCommandInfo MakeSubCommandInfo(const MenuRow& row, const wchar_t* pszInstallDir, const std::wstring& strLangFile)
{
    SubCommandInfo info;
    if (row.nType == kSeparatorRow)
    {
        info.flags = ECF_ISSEPARATOR;
        return info;
    }
    CaptionPtr caption(GetMenuCaptionFrom(strLangFile.c_str(), AsWide(row.pszKey), AsWide(row.pszFallback)));
    // Captions keep the menu-text convention ("&" marks the access key,
    // "&&" is one ampersand): the shell reads titles as menu text.
    info.strTitle = caption ? caption.get() : AsWide(row.pszFallback);
    // The same record the classic menu keeps for the item it shows here.
    info.record = MakeMenuItemRecord(row, pszInstallDir);
    if (row.pszIconLibrary != nullptr)
        info.strIcon = LibraryIconLocation(info.record.szIconFile, info.record.nIconIndex);
    else if (row.wIconResource != 0)
        info.strIcon = ModuleIconLocation(row.wIconResource);
    return info;
}

HRESULT AddSubCommands(const MenuRowSpan& rows, const wchar_t* pszInstallDir, const std::wstring& strLangFile,
                       uint32_t nHiddenItems, bool bTrace, CCommandList& list)
{
    for (size_t i = 0; i < rows.nCount; ++i)
    {
        if (!IsMenuRowShown(rows, i, nHiddenItems))
            continue;
        CComOwner<CComObject<CMarkerSubCommand>> command;
        HRESULT hr = NewObject(command);
        if (FAILED(hr))
            return hr;
        command->SetInfo(MakeSubCommandInfo(rows.pRows[i], pszInstallDir, strLangFile), bTrace);
        CComOwner<IExplorerCommand> item(command.release());
        list.push_back(std::move(item));
    }
    return S_OK;
}

}  // namespace

HRESULT CreateSubCommandEnum(const wchar_t* pszInstallDir, const std::wstring& strLangFile, uint32_t nHiddenItems,
                             bool bTrace, IEnumExplorerCommand** ppEnum) noexcept
{
    if (ppEnum == nullptr)
        return E_POINTER;
    *ppEnum = nullptr;
    return GuardComMethod([&] {
        // The classic plain menu, in its order: its common rows and its plain tail.
        auto list = std::make_shared<CCommandList>();
        list->reserve(CommonMenuRows().nCount + TailMenuRows(false).nCount);
        HRESULT hr = AddSubCommands(CommonMenuRows(), pszInstallDir, strLangFile, nHiddenItems, bTrace, *list);
        if (SUCCEEDED(hr))
            hr = AddSubCommands(TailMenuRows(false), pszInstallDir, strLangFile, nHiddenItems, bTrace, *list);
        if (FAILED(hr))
            return hr;
        return CSubCommandEnum::CreateEnum(std::move(list), 0, ppEnum);
    });
}
