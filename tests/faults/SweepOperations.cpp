#include "tests/faults/SweepOperations.h"

#include <shellapi.h>

#include <cstdio>
#include <optional>

#include "ShellExt/core/Handles.h"
#include "ShellExt/explorercommand/CommandIds.h"
#include "tools/shellhost/CommandSite.h"
#include "tests/faults/ImportFaults.h"
#include "tests/faults/RegistrySnapshot.h"
#include "tools/common/DataObjectArray.h"
#include "tools/common/HDropDataObject.h"
#include "tools/refapp/RefAppCommand.h"
#include "tools/shellhost/CommandTree.h"

namespace {

const UINT kPlainCommands = 12;
const UINT kExtendedCommands = 14;

std::wstring IconLibraryOf(const SweepContext& context)
{
    return context.fixture.strInstallDir + L"\\icl\\Main.icl";
}


// What the main application must receive for each item, by caption: its
// switch and the icon index or colour that follows the selection file.
struct ExpectedCommand
{
    const wchar_t* pszCaption;
    RefAppSwitch eSwitch;
    int nValue;
};

const ExpectedCommand kExpectedCommands[] = {
    {L"High Priority", RefAppSwitch::MarkIcon, 0},
    {L"Low Priority", RefAppSwitch::MarkIcon, 2},
    {L"Planned Work", RefAppSwitch::MarkIcon, 3},
    {L"Done Work", RefAppSwitch::MarkIcon, 5},
    {L"Approved", RefAppSwitch::MarkIcon, 6},
    {L"Rejected", RefAppSwitch::MarkIcon, 8},
    {L"Red", RefAppSwitch::MarkColor, static_cast<int>(RGB(254, 69, 54))},
    {L"Green", RefAppSwitch::MarkColor, static_cast<int>(RGB(20, 250, 44))},
    {L"Blue", RefAppSwitch::MarkColor, static_cast<int>(RGB(91, 145, 255))},
    {L"Gray", RefAppSwitch::MarkColor, static_cast<int>(RGB(178, 178, 178))},
    {L"Restore Default", RefAppSwitch::RestoreDefault, 0},
    {L"More Icons", RefAppSwitch::MoreIcons, 0},
    {L"Mark File", RefAppSwitch::UnmarkIcon, 0},
    {L"Remove Color", RefAppSwitch::UnmarkColor, 0},
    {L"Remove Marker && Color", RefAppSwitch::RestoreDefault, 0},
};

const ExpectedCommand* FindExpected(const std::wstring& strCaption)
{
    for (const ExpectedCommand& command : kExpectedCommands)
        if (strCaption == command.pszCaption)
            return &command;
    return nullptr;
}

// The selection file the main application gets: a byte-order mark, then
// each path followed by a carriage return, in UTF-16.
std::string CheckSelectionFile(const SweepContext& context, const std::wstring& strFile)
{
    std::wstring strExpected = L"\xFEFF";
    for (const std::wstring& strPath : context.fixture.vecSelection)
        strExpected += strPath + L"\r";
    HANDLE hFile = ::CreateFileW(strFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return "the selection file " + WideToUtf8(strFile) + " cannot be read";
    std::wstring strContent(4096, L'\0');
    DWORD cbRead = 0;
    ::ReadFile(hFile, &strContent[0], 4096 * sizeof(wchar_t), &cbRead, nullptr);
    ::CloseHandle(hFile);
    strContent.resize(cbRead / sizeof(wchar_t));
    return strContent == strExpected ? std::string() : "the selection file holds something else than the selection";
}

// The words of a start's parameters, as the main application reads them.
std::vector<std::u16string> ParameterWords(const std::wstring& strParameters)
{
    int nArgs = 0;
    CLocalBlock args(::CommandLineToArgvW((L"app " + strParameters).c_str(), &nArgs));
    const auto* ppszArgs = static_cast<const LPWSTR*>(args.Get());
    std::vector<std::u16string> vecWords;
    for (int i = 1; ppszArgs != nullptr && i < nArgs; ++i)
        vecWords.emplace_back(reinterpret_cast<const char16_t*>(ppszArgs[i]));
    return vecWords;
}

bool CarriesExpected(const SweepContext& context, const ExpectedCommand& expected, const RefAppCommand& command)
{
    if (command.eSwitch != expected.eSwitch)
        return false;
    const std::wstring strLibrary = IconLibraryOf(context);
    switch (expected.eSwitch)
    {
    case RefAppSwitch::MarkIcon:
        return command.nIconIndex == expected.nValue &&
               command.strIconLibrary == reinterpret_cast<const char16_t*>(strLibrary.c_str());
    case RefAppSwitch::MarkColor: return command.crColor == static_cast<uint32_t>(expected.nValue);
    default: return true;
    }
}

// Checks the one program start an item caused against its caption; with
// bComplete the selection file it names must hold the whole selection.
std::string CheckStart(const SweepContext& context, const ExpectedCommand& expected, bool bComplete)
{
    const RecordedStart& starts = LastStarts();
    if (starts.nStarts != 1)
        return "started the main application " + std::to_string(starts.nStarts) + " times";
    if (MainApplicationOf(context) != starts.szFile)
        return "started " + WideToUtf8(starts.szFile);
    const std::wstring strParameters = starts.szParameters;
    RefAppCommand command;
    std::string strError;
    if (!ParseRefAppCommand(ParameterWords(strParameters), command, strError) ||
        !CarriesExpected(context, expected, command))
        return "parameters \"" + WideToUtf8(strParameters) + "\" for " + WideToUtf8(expected.pszCaption);
    const std::wstring strFile(reinterpret_cast<const wchar_t*>(command.strSelectionFile.c_str()));
    const std::string strProblem = bComplete ? CheckSelectionFile(context, strFile) : std::string();
    // The main application would read the file and delete it; with none
    // started, the sweep does. Left, they would fill the temporary folder
    // with thousands, and under Wine every file made there costs a search
    // through the whole folder.
    ::DeleteFileW(strFile.c_str());
    return strProblem;
}

std::wstring CaptionAt(HMENU hMenu, UINT nPosition)
{
    wchar_t szCaption[128] = {};
    ::GetMenuStringW(hMenu, nPosition, szCaption, 128, MF_BYPOSITION);
    return szCaption;
}

bool PictureAlive(HMENU hMenu, UINT nPosition)
{
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_CHECKMARKS;
    return ::GetMenuItemInfoW(hMenu, nPosition, TRUE, &info) && info.hbmpUnchecked != nullptr &&
           ::GetObjectType(info.hbmpUnchecked) == OBJ_BITMAP;
}

struct MenuCommand
{
    UINT nOffset;
    std::wstring strCaption;
};

void CollectCommands(HMENU hMenu, std::vector<MenuCommand>& vecCommands)
{
    const int nItems = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < nItems; ++i)
    {
        if (HMENU hSubmenu = ::GetSubMenu(hMenu, i))
            CollectCommands(hSubmenu, vecCommands);
        else if ((::GetMenuState(hMenu, i, MF_BYPOSITION) & MF_SEPARATOR) == 0)
            vecCommands.push_back({::GetMenuItemID(hMenu, i) - kIdCmdFirst, CaptionAt(hMenu, i)});
    }
}

// Every command the menu shows must lead to the start its caption promises:
// the object's record of offset k belongs to the item of identifier
// idCmdFirst + k. With bComplete every item and every picture must be there.
std::string CheckMenu(SweepContext& context, IContextMenu* pMenu, HMENU hHost, UINT nCommands, bool bComplete)
{
    if (::GetMenuItemCount(hHost) == 2 && !bComplete)
        return std::string();
    HMENU hSubmenu = ::GetSubMenu(hHost, kIndexMenu);
    if (::GetMenuItemCount(hHost) != 3 || hSubmenu == nullptr || CaptionAt(hHost, kIndexMenu) != L"Mark File")
        return "the \"Mark File\" entry is not at its place";
    std::vector<MenuCommand> vecCommands;
    CollectCommands(hSubmenu, vecCommands);
    std::vector<bool> vecSeen(nCommands, false);
    for (const MenuCommand& command : vecCommands)
    {
        const ExpectedCommand* pExpected = FindExpected(command.strCaption);
        if (pExpected == nullptr || command.nOffset >= nCommands || vecSeen[command.nOffset])
            return "item \"" + WideToUtf8(command.strCaption) + "\" has offset " + std::to_string(command.nOffset);
        vecSeen[command.nOffset] = true;
        ForgetStarts();
        const HRESULT hr = InvokeOffset(pMenu, command.nOffset);
        const std::string strProblem = hr == S_OK ? CheckStart(context, *pExpected, false)
                                                  : "InvokeCommand of a shown item answered " + std::to_string(hr);
        if (!strProblem.empty())
            return "item \"" + WideToUtf8(command.strCaption) + "\": " + strProblem;
    }
    if (!bComplete)
        return std::string();
    if (vecCommands.size() != nCommands)
        return "the menu has " + std::to_string(vecCommands.size()) + " commands";
    for (UINT nPosition : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 10u})
        if (!PictureAlive(hSubmenu, nPosition))
            return "item at " + std::to_string(nPosition) + " has no picture";
    return PictureAlive(hHost, kIndexMenu) ? std::string() : "the entry has no logo";
}

// A build with too small an identifier range adds nothing and frees the
// bitmaps of this thread's previous build.
void FreeMenuBitmaps(IContextMenu* pMenu)
{
    pMenu->QueryContextMenu(nullptr, 0, kIdCmdFirst, kIdCmdFirst, CMF_NORMAL);
}

std::string HrText(HRESULT hr)
{
    char szText[16];
    snprintf(szText, sizeof(szText), "0x%08lX", static_cast<unsigned long>(hr));
    return szText;
}

// A private copy of a DLL, loaded and patched, so that its process-wide
// state (statics, the first class object) starts fresh.
std::string LoadFreshCopy(SweepContext& context, const std::wstring& strDll, bool bRegistration, CLoadedServer& copy)
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    std::string strError;
    const std::wstring strCopy = std::wstring(szTemp) + L"OrvaneFaultCopy" + std::to_wstring(++context.nCopies) +
                                 L".dll";
    if (!copy.LoadCopy(strDll, strCopy, strError, bRegistration))
        return strError;
    ImportFaults::PatchModule(copy.Module());
    return std::string();
}

// A chosen item: a failure inside may cost the selection file or the start
// itself; a start that happens must carry the item's switch and arguments.
std::string JudgeInvoke(const SweepContext& context, HRESULT hr, bool bFaulted, const ExpectedCommand& expected)
{
    if (FAILED(hr) && bFaulted)
        return LastStarts().nStarts == 0 ? std::string() : "failed, but started the main application";
    if (hr != S_OK)
        return "answered " + HrText(hr);
    if (bFaulted && LastStarts().nStarts == 0)
        return std::string();
    return CheckStart(context, expected, !bFaulted);
}

// ---------------------------------------------------------------------------

// The class object and an extension object with its four interfaces. On a
// private copy of the DLL the class object is made for the first time.
class CCreateOperation : public CSweepOperation
{
public:
    explicit CCreateOperation(bool bFreshCopy) : m_bFreshCopy(bFreshCopy) {}
    const char* Name() const override
    {
        return m_bFreshCopy ? "first class object + instance" : "class object + instance";
    }

    std::string Prepare(SweepContext& context) override
    {
        return m_bFreshCopy ? LoadFreshCopy(context, context.strDll, true, m_copy) : std::string();
    }

    HRESULT Run(SweepContext& context) override
    {
        return CreateExtension(m_bFreshCopy ? m_copy : context.server, context.identity.clsidExtension, m_object);
    }

    std::string Judge(SweepContext&, HRESULT hr, bool bFaulted) override
    {
        const bool bWhole = m_object.init && m_object.menu && m_object.file && m_object.icon;
        if (bFaulted ? SUCCEEDED(hr) == bWhole : hr == S_OK && bWhole)
            return std::string();
        return "answered " + HrText(hr) + (bWhole ? " with an object" : " without an object");
    }

    std::string Release(SweepContext&) override
    {
        m_object.Reset();
        if (m_bFreshCopy && !m_copy.Unload())
            return "the DLL does not allow unloading once everything is released";
        return std::string();
    }

private:
    bool m_bFreshCopy;
    CLoadedServer m_copy;
    ExtensionObject m_object;
};

// Operations on one extension object, made fresh for every run.
class CObjectOperation : public CSweepOperation
{
public:
    std::string Release(SweepContext&) override
    {
        if (m_hHost != nullptr)
            ::DestroyMenu(m_hHost);
        m_hHost = nullptr;
        if (m_object.menu)
            FreeMenuBitmaps(m_object.menu.Get());
        m_object.Reset();
        return std::string();
    }

protected:
    std::string MakeObject(SweepContext& context, bool bInitialize)
    {
        const HRESULT hr = CreateExtension(context.server, context.identity.clsidExtension, m_object);
        if (FAILED(hr))
            return "no extension object: " + HrText(hr);
        if (bInitialize && m_object.init->Initialize(nullptr, context.pSelection, nullptr) != S_OK)
            return "Initialize failed";
        return std::string();
    }

    // The menu built and "Done Work" chosen from it, all without failures.
    std::string ChooseDoneWork(SweepContext& context)
    {
        m_hHost = MakeHostMenu();
        if (m_object.menu->QueryContextMenu(m_hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast, CMF_NORMAL) !=
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, kPlainCommands))
            return "the menu build after it failed";
        ForgetStarts();
        if (InvokeOffset(m_object.menu.Get(), 3) != S_OK)
            return "choosing Done Work after it failed";
        return CheckStart(context, *FindExpected(L"Done Work"), true);
    }

    ExtensionObject m_object;
    HMENU m_hHost = nullptr;
};

class CInitializeOperation : public CObjectOperation
{
public:
    const char* Name() const override { return "Initialize"; }
    std::string Prepare(SweepContext& context) override { return MakeObject(context, false); }
    HRESULT Run(SweepContext& context) override
    {
        return m_object.init->Initialize(nullptr, context.pSelection, nullptr);
    }
    // A failure inside may cost a setting or an unreadable name, never more
    // than the call's own failure result.
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        if (bFaulted)
            return hr == S_OK || FAILED(hr) ? std::string() : "answered " + HrText(hr);
        return hr == S_OK ? ChooseDoneWork(context) : "answered " + HrText(hr);
    }
};

class CMenuOperation : public CObjectOperation
{
public:
    explicit CMenuOperation(bool bExtended) : m_bExtended(bExtended) {}
    const char* Name() const override
    {
        return m_bExtended ? "QueryContextMenu extended" : "QueryContextMenu plain";
    }
    std::string Prepare(SweepContext& context) override
    {
        m_hHost = MakeHostMenu();
        return MakeObject(context, true);
    }
    HRESULT Run(SweepContext&) override
    {
        return m_object.menu->QueryContextMenu(m_hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast,
                                               m_bExtended ? CMF_EXTENDEDVERBS : CMF_NORMAL);
    }
    // A failure inside may cost an item, a caption's language or a picture;
    // whatever is shown must work. Only a menu without room for its records
    // is left out altogether (and then claims no identifiers).
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        const UINT nCommands = m_bExtended ? kExtendedCommands : kPlainCommands;
        const bool bEntry = ::GetMenuItemCount(m_hHost) != 2;
        const bool bResultHolds = hr == MAKE_HRESULT(SEVERITY_SUCCESS, 0, nCommands) ||
                                  (bFaulted && !bEntry && hr == MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
        if (!bResultHolds)
            return "answered " + HrText(hr);
        return CheckMenu(context, m_object.menu.Get(), m_hHost, nCommands, !bFaulted);
    }

private:
    bool m_bExtended;
};

class CInvokeOperation : public CObjectOperation
{
public:
    CInvokeOperation(const char* pszName, UINT nOffset, const wchar_t* pszCaption)
        : m_pszName(pszName), m_nOffset(nOffset), m_expected(*FindExpected(pszCaption))
    {
    }
    const char* Name() const override { return m_pszName; }
    std::string Prepare(SweepContext& context) override
    {
        std::string strProblem = MakeObject(context, true);
        m_hHost = MakeHostMenu();
        if (strProblem.empty() && m_object.menu->QueryContextMenu(m_hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast,
                                                                  CMF_NORMAL) !=
                                      MAKE_HRESULT(SEVERITY_SUCCESS, 0, kPlainCommands))
            strProblem = "the menu build";
        ForgetStarts();
        return strProblem;
    }
    HRESULT Run(SweepContext&) override { return InvokeOffset(m_object.menu.Get(), m_nOffset); }
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        return JudgeInvoke(context, hr, bFaulted, m_expected);
    }

private:
    const char* m_pszName;
    UINT m_nOffset;
    ExpectedCommand m_expected;
};

class CIconOperation : public CObjectOperation
{
public:
    CIconOperation(const char* pszName, IconCase BenchFixture::*pCase) : m_pszName(pszName), m_pCase(pCase) {}
    const char* Name() const override { return m_pszName; }
    std::string Prepare(SweepContext& context) override
    {
        std::string strProblem = MakeObject(context, false);
        if (strProblem.empty() && m_object.file->Load((context.fixture.*m_pCase).strFile.c_str(), STGM_READ) != S_OK)
            strProblem = "Load failed";
        return strProblem;
    }
    HRESULT Run(SweepContext&) override
    {
        m_szLocation[0] = L'\0';
        m_nIndex = -1;
        m_uFlags = 0;
        return m_object.icon->GetIconLocation(0, m_szLocation, MAX_PATH, &m_nIndex, &m_uFlags);
    }
    // A failure inside leaves the icon to the shell (S_FALSE, no location);
    // a location that is named must be the right one.
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        const IconCase& iconCase = context.fixture.*m_pCase;
        const bool bExpected = hr == S_OK && m_nIndex == iconCase.nExpectedIndex &&
                               lstrcmpiW(m_szLocation, iconCase.strExpectedLocation.c_str()) == 0;
        const bool bLeftToShell = hr == S_FALSE && m_szLocation[0] == L'\0' && m_nIndex == 0;
        if (m_uFlags == GIL_DONTCACHE && (bExpected || (bFaulted && bLeftToShell)))
            return std::string();
        return "answered " + HrText(hr) + " \"" + WideToUtf8(m_szLocation) + "\"," + std::to_string(m_nIndex);
    }

private:
    const char* m_pszName;
    IconCase BenchFixture::*m_pCase;
    wchar_t m_szLocation[MAX_PATH] = {};
    int m_nIndex = 0;
    UINT m_uFlags = 0;
};

#ifdef _WIN64
// ---------------------------------------------------------------------------
// The Explorer command of the Windows 11 menu (a 64-bit DLL only), reached
// through its DLL's class object as the packaged activation reaches it. Two
// operations ask for the state: in a classic menu's site, where the command
// hides and starts nothing, and as the new menu asks, where the first state
// request of a selection starts its delayed hand-off.

const CLSID kCommandClsid = ORVANE_EXPLORER_COMMAND_CLSID_INIT;

// A text of the command, copied and freed as Explorer frees it.
template <class Getter>
HRESULT ReadCommandText(Getter getter, std::wstring& strText)
{
    LPWSTR pszText = nullptr;
    const HRESULT hr = getter(&pszText);
    strText = pszText != nullptr ? pszText : L"";
    ::CoTaskMemFree(pszText);
    return hr;
}

HRESULT CreateCommand(const CLoadedServer& server, CInterfacePtr<IExplorerCommand>& command)
{
    CInterfacePtr<IClassFactory> factory;
    const HRESULT hr = server.GetClassObject(kCommandClsid, IID_IClassFactory, factory.ReceiveVoid());
    return FAILED(hr) ? hr : factory->CreateInstance(nullptr, IID_IExplorerCommand, command.ReceiveVoid());
}

// The subcommands in their order: the plain menu's items by caption, with
// separators after the markers and after the colours.
const wchar_t* const kSubcommandCaptions[] = {
    L"High Priority", L"Low Priority", L"Planned Work", L"Done Work", L"Approved", L"Rejected", nullptr,
    L"Red", L"Green", L"Blue", L"Gray", nullptr, L"Restore Default", L"More Icons",
};
const size_t kSubcommands = sizeof(kSubcommandCaptions) / sizeof(kSubcommandCaptions[0]);
const size_t kDoneWorkSubcommand = 3;

// What Explorer reads of one subcommand before it shows it.
struct SubcommandSeen
{
    HRESULT hrSite;  // Explorer asks for a site interface first
    HRESULT hrFlags;
    EXPCMDFLAGS flags;
    HRESULT hrTitle;
    std::wstring strTitle;
    HRESULT hrIcon;
    std::wstring strIcon;
};

HRESULT ReadSubcommands(IExplorerCommand* pTop, IShellItemArray* pItems, std::vector<SubcommandSeen>& vecSeen)
{
    vecSeen.clear();
    CInterfacePtr<IEnumExplorerCommand> subcommands;
    const HRESULT hr = pTop->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(subcommands.ReceiveVoid()));
    if (FAILED(hr))
        return subcommands ? E_UNEXPECTED : hr;
    IExplorerCommand* pRaw = nullptr;
    ULONG nFetched = 0;
    while (vecSeen.size() <= kSubcommands && subcommands->Next(1, &pRaw, &nFetched) == S_OK)
    {
        CInterfacePtr<IExplorerCommand> command(pRaw);
        SubcommandSeen seen = {};
        CInterfacePtr<IObjectWithSite> site;
        seen.hrSite = command->QueryInterface(IID_IObjectWithSite, site.ReceiveVoid());
        seen.hrFlags = command->GetFlags(&seen.flags);
        seen.hrTitle = ReadCommandText([&](LPWSTR* ppsz) { return command->GetTitle(pItems, ppsz); }, seen.strTitle);
        seen.hrIcon = ReadCommandText([&](LPWSTR* ppsz) { return command->GetIcon(pItems, ppsz); }, seen.strIcon);
        vecSeen.push_back(seen);
    }
    return hr;
}

// A text that came back is the expected one; with bFaulted a text may be
// missing (no memory for its copy, no icon), never wrong.
bool TextHolds(HRESULT hr, const std::wstring& strText, const std::wstring& strExpected, bool bFaulted)
{
    if (hr == S_OK)
        return strText == strExpected;
    return strText.empty() && FAILED(hr) && (bFaulted || strExpected.empty());
}

std::wstring ModulePathOf(HMODULE hModule)
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(hModule, szPath, MAX_PATH);
    return szPath;
}

// The tree under "Mark File": every subcommand at its place with its flags;
// titles and icons as the plain menu shows them, markers with the pictures
// of the icon library, colours with the swatches of the command's DLL.
std::string CheckSubcommands(const SweepContext& context, HMODULE hCommandDll, HRESULT hr,
                             const std::vector<SubcommandSeen>& vecSeen, bool bFaulted)
{
    if (FAILED(hr) && bFaulted && vecSeen.empty())
        return std::string();
    if (hr != S_OK)
        return "EnumSubCommands answered " + HrText(hr);
    if (vecSeen.size() != kSubcommands)
        return std::to_string(vecSeen.size()) + " subcommands";
    const std::wstring strModule = ModulePathOf(hCommandDll);
    for (size_t i = 0; i < kSubcommands; ++i)
    {
        const SubcommandSeen& seen = vecSeen[i];
        const wchar_t* pszCaption = kSubcommandCaptions[i];
        const ExpectedCommand* pExpected = pszCaption != nullptr ? FindExpected(pszCaption) : nullptr;
        std::wstring strIcon;
        if (pExpected != nullptr && pExpected->eSwitch == RefAppSwitch::MarkIcon)
            strIcon = IconLibraryOf(context) + L"," + std::to_wstring(pExpected->nValue);
        else if (pExpected != nullptr && pExpected->eSwitch == RefAppSwitch::MarkColor)
            strIcon = strModule + L",-";
        // A swatch names a resource of the DLL: its identifier is the DLL's own.
        const std::wstring strIconSeen =
            pExpected != nullptr && pExpected->eSwitch == RefAppSwitch::MarkColor && seen.hrIcon == S_OK
                ? seen.strIcon.substr(0, seen.strIcon.rfind(L",-") + 2)
                : seen.strIcon;
        const EXPCMDFLAGS expectedFlags = pszCaption != nullptr ? ECF_DEFAULT : ECF_ISSEPARATOR;
        std::string strProblem;
        if (seen.hrSite != E_NOINTERFACE)
            strProblem = "asked for a site interface: " + HrText(seen.hrSite);
        else if (seen.hrFlags != S_OK || seen.flags != expectedFlags)
            strProblem = "flags " + HrText(seen.hrFlags) + " " + std::to_string(seen.flags);
        else if (!TextHolds(seen.hrTitle, seen.strTitle, pszCaption != nullptr ? pszCaption : L"", bFaulted))
            strProblem = "title " + HrText(seen.hrTitle) + " \"" + WideToUtf8(seen.strTitle) + "\"";
        else if (!TextHolds(seen.hrIcon, strIconSeen, strIcon, bFaulted))
            strProblem = "icon " + HrText(seen.hrIcon) + " \"" + WideToUtf8(seen.strIcon) + "\"";
        if (!strProblem.empty())
            return "subcommand " + std::to_string(i) + ": " + strProblem;
    }
    return std::string();
}

// Operations on one top-level command object, made fresh for every run from
// the loaded command DLL or, with bFreshCopy, from a private copy of it.
class CCommandOperation : public CSweepOperation
{
public:
    explicit CCommandOperation(bool bFreshCopy) : m_bFreshCopy(bFreshCopy) {}

    std::string Prepare(SweepContext& context) override
    {
        if (context.strCommandDll.empty())
            return "no Explorer command DLL (ORVANE_COMMAND_DLL)";
        if (m_bFreshCopy)
        {
            const std::string strProblem = LoadFreshCopy(context, context.strCommandDll, false, m_copy);
            if (!strProblem.empty())
                return strProblem;
        }
        return PrepareCommand(context);
    }

    std::string Release(SweepContext&) override
    {
        ReleaseCommand();
        m_command.Reset();
        if (m_bFreshCopy && !m_copy.Unload())
            return "the command DLL does not allow unloading once everything is released";
        return std::string();
    }

protected:
    const CLoadedServer& Server(const SweepContext& context) const { return m_bFreshCopy ? m_copy : context.command; }

    // Not failed: the top-level command the run starts from.
    virtual std::string PrepareCommand(SweepContext& context)
    {
        const HRESULT hr = CreateCommand(Server(context), m_command);
        return SUCCEEDED(hr) ? std::string() : "no command object: " + HrText(hr);
    }
    virtual void ReleaseCommand() {}

    bool m_bFreshCopy;
    CLoadedServer m_copy;
    CInterfacePtr<IExplorerCommand> m_command;
};

// The class object and a top-level command; the first ones of the DLL when
// made from a fresh copy.
class CCommandCreateOperation : public CCommandOperation
{
public:
    CCommandCreateOperation() : CCommandOperation(true) {}
    const char* Name() const override { return "command: first class object + instance"; }
    std::string PrepareCommand(SweepContext&) override { return std::string(); }
    HRESULT Run(SweepContext& context) override { return CreateCommand(Server(context), m_command); }
    std::string Judge(SweepContext&, HRESULT hr, bool bFaulted) override
    {
        const bool bObject = static_cast<bool>(m_command);
        if (bFaulted ? SUCCEEDED(hr) == bObject : hr == S_OK && bObject)
            return std::string();
        return "answered " + HrText(hr) + (bObject ? " with an object" : " without an object");
    }
};

// The title of the top-level entry for a selection.
class CCommandTitleOperation : public CCommandOperation
{
public:
    CCommandTitleOperation() : CCommandOperation(false) {}
    const char* Name() const override { return "command: title"; }
    HRESULT Run(SweepContext& context) override
    {
        return ReadCommandText([&](LPWSTR* ppsz) { return m_command->GetTitle(context.pItems, ppsz); }, m_strTitle);
    }
    // A caption that cannot be read falls back to the built-in one; only the
    // copy handed out may fail.
    std::string Judge(SweepContext&, HRESULT hr, bool bFaulted) override
    {
        return TextHolds(hr, m_strTitle, L"Mark File", bFaulted)
                   ? std::string()
                   : "answered " + HrText(hr) + " \"" + WideToUtf8(m_strTitle) + "\"";
    }
    void ReleaseCommand() override { std::wstring().swap(m_strTitle); }

private:
    std::wstring m_strTitle;
};

// The subcommands with their flags, titles and icons, as Explorer reads them
// before it shows the submenu.
class CSubcommandsOperation : public CCommandOperation
{
public:
    CSubcommandsOperation() : CCommandOperation(false) {}
    const char* Name() const override { return "command: subcommands"; }
    HRESULT Run(SweepContext& context) override { return ReadSubcommands(m_command.Get(), context.pItems, m_vecSeen); }
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        return CheckSubcommands(context, context.command.Module(), hr, m_vecSeen, bFaulted);
    }
    void ReleaseCommand() override { std::vector<SubcommandSeen>().swap(m_vecSeen); }

private:
    std::vector<SubcommandSeen> m_vecSeen;
};

// How the array hands over the selection: item by item only (Wine's array),
// as one data object (Explorer's), or with a data object that fails: its
// GetData refused, or no CF_HDROP in it. A failing one must end in the walk
// over the items; one that works must spare every item its round trip.
enum class Offer { Items, DataObject, RefusedGetData, NoDropList };

struct OfferCase
{
    Offer offer;
    const char* pszState;
    const char* pszInvoke;
};

const OfferCase kOfferCases[] = {
    {Offer::Items, "command: state and hand-off", "command: Invoke marker"},
    {Offer::DataObject, "command: state, data object", "command: Invoke marker, data object"},
    {Offer::RefusedGetData, "command: state, GetData refused", "command: Invoke marker, GetData refused"},
    {Offer::NoDropList, "command: state, no CF_HDROP", "command: Invoke marker, no CF_HDROP"},
};

class COfferedSelection
{
public:
    explicit COfferedSelection(Offer offer) : m_offer(offer) {}

    // Not failed: the array over pItems, whose files are vecFiles.
    std::string Make(IShellItemArray* pItems, const std::vector<std::wstring>& vecFiles)
    {
        if (m_offer == Offer::Items)
            return std::string();
        m_data = CInterfacePtr<IDataObject>(m_offer == Offer::RefusedGetData
                                                ? CreateRefusingHDropDataObject(E_OUTOFMEMORY)
                                                : CreateHDropDataObject(vecFiles, m_offer == Offer::DataObject));
        m_array.emplace(pItems, m_data.Get());
        return m_data ? std::string() : "no data object";
    }
    IShellItemArray* Get(IShellItemArray* pItems) { return m_array ? &*m_array : pItems; }
    // Without failures inside, the one transfer or, where it fails, the walk.
    std::string CheckReads(bool bFaulted) const
    {
        if (bFaulted || !m_array || (m_array->m_nItemCalls != 0) == (m_offer != Offer::DataObject))
            return std::string();
        return m_array->m_nItemCalls != 0 ? "walked the items beside a working data object"
                                          : "no walk over the items after the data object failed";
    }
    void Reset()
    {
        m_array.reset();
        m_data.Reset();
    }

private:
    Offer m_offer;
    CInterfacePtr<IDataObject> m_data;
    std::optional<CDataObjectArray> m_array;
};

// "Done Work" chosen from the subcommands. A start, whatever failed inside,
// carries the whole selection.
class CSubcommandInvokeOperation : public CCommandOperation
{
public:
    explicit CSubcommandInvokeOperation(const OfferCase& offer)
        : CCommandOperation(false), m_pszName(offer.pszInvoke), m_offered(offer.offer)
    {
    }
    const char* Name() const override { return m_pszName; }
    std::string PrepareCommand(SweepContext& context) override
    {
        std::string strProblem = CCommandOperation::PrepareCommand(context);
        if (strProblem.empty())
            strProblem = m_offered.Make(context.pItems, context.fixture.vecSelection);
        CInterfacePtr<IEnumExplorerCommand> subcommands;
        IExplorerCommand* apCommands[kDoneWorkSubcommand + 1] = {};
        ULONG nFetched = 0;
        if (strProblem.empty() &&
            (FAILED(m_command->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(subcommands.ReceiveVoid()))) ||
             subcommands->Next(kDoneWorkSubcommand + 1, apCommands, &nFetched) != S_OK))
            strProblem = "no subcommands";
        for (size_t i = 0; i < nFetched; ++i)
        {
            if (i == kDoneWorkSubcommand)
                m_chosen = CInterfacePtr<IExplorerCommand>(apCommands[i]);
            else
                apCommands[i]->Release();
        }
        ForgetStarts();
        return strProblem;
    }
    HRESULT Run(SweepContext& context) override { return m_chosen->Invoke(m_offered.Get(context.pItems), nullptr); }
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        const ExpectedCommand& expected = *FindExpected(L"Done Work");
        std::string strProblem = m_offered.CheckReads(bFaulted);
        if (strProblem.empty())
            strProblem = hr == S_OK && LastStarts().nStarts != 0 ? CheckStart(context, expected, true)
                                                                 : JudgeInvoke(context, hr, bFaulted, expected);
        return strProblem;
    }
    void ReleaseCommand() override
    {
        m_chosen.Reset();
        m_offered.Reset();
    }

private:
    const char* m_pszName;
    COfferedSelection m_offered;
    CInterfacePtr<IExplorerCommand> m_chosen;
};

// A state request as the new menu makes it, which starts the right-click's
// hand-off: the slot, the waiter's start. Every run asks for a selection of
// its own, as a pending hand-off of the same selection starts nothing; every
// run that gets that far starts a real waiter beside the DLL.
class CCommandStateOperation : public CCommandOperation
{
public:
    explicit CCommandStateOperation(const OfferCase& offer)
        : CCommandOperation(false), m_pszName(offer.pszState), m_offered(offer.offer)
    {
    }
    const char* Name() const override { return m_pszName; }
    std::string PrepareCommand(SweepContext& context) override
    {
        std::string strProblem = CCommandOperation::PrepareCommand(context);
        m_strFile = context.fixture.strRoot + L"\\state-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++m_nRuns) + L".txt";
        CFileHandle file(::CreateFileW(m_strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        m_items = CInterfacePtr<IShellItemArray>(CreateShellItemArray({m_strFile}));
        if (strProblem.empty())
            strProblem = m_items ? m_offered.Make(m_items.Get(), {m_strFile}) : "no selection";
        return strProblem;
    }
    HRESULT Run(SweepContext&) override { return m_command->GetState(m_offered.Get(m_items.Get()), TRUE, &m_state); }
    // Nothing that fails on the way to the hand-off changes the answer.
    std::string Judge(SweepContext&, HRESULT hr, bool bFaulted) override
    {
        if (hr != S_OK || m_state != ECS_ENABLED)
            return "answered " + HrText(hr) + ", state " + std::to_string(m_state);
        return m_offered.CheckReads(bFaulted);
    }
    void ReleaseCommand() override
    {
        m_offered.Reset();
        m_items.Reset();
        ::DeleteFileW(m_strFile.c_str());
    }

private:
    const char* m_pszName;
    COfferedSelection m_offered;
    unsigned m_nRuns = 0;
    std::wstring m_strFile;
    CInterfacePtr<IShellItemArray> m_items;
    EXPCMDSTATE m_state = ECS_HIDDEN;
};

// The state a classic menu asks for ("Show more options"), in the folder
// view's site, with the trace switched on: hidden, whatever fails inside
// (the site's window class, the trace file), and nothing started, so no
// hand-off is pending when the copy is unloaded. A fresh copy for every run,
// whose objects read the switches anew.
class CCommandClassicStateOperation : public CCommandOperation
{
public:
    CCommandClassicStateOperation() : CCommandOperation(true) {}
    const char* Name() const override { return "command: GetState in a classic menu, traced"; }

    std::string PrepareProcess(SweepContext& context) override
    {
        m_strLocal = context.fixture.strRoot + L"\\TraceLocal";
        ::CreateDirectoryW(m_strLocal.c_str(), nullptr);
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", m_strLocal.c_str());
        return SetTraceSwitch(1) ? std::string() : "cannot switch the trace on";
    }
    void FinishProcess(SweepContext&) override { SetTraceSwitch(0); }

    std::string PrepareCommand(SweepContext& context) override
    {
        std::string strProblem = CCommandOperation::PrepareCommand(context);
        if (!strProblem.empty())
            return strProblem;
        return SUCCEEDED(SiteCommand(m_command.Get(), HostSite::Classic, m_site)) ? std::string() : "no site";
    }
    HRESULT Run(SweepContext& context) override
    {
        m_state = ECS_DISABLED;
        return m_command->GetState(context.pItems, FALSE, &m_state);
    }
    std::string Judge(SweepContext&, HRESULT hr, bool) override
    {
        if (hr == S_OK && m_state == ECS_HIDDEN)
            return std::string();
        return "answered " + HrText(hr) + " with state " + std::to_string(m_state);
    }
    void ReleaseCommand() override { m_site.Reset(); }

private:
    static bool SetTraceSwitch(DWORD dwValue)
    {
        return ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Kelvoss\\Orvane\\ShellExt", L"Trace", REG_DWORD,
                                 &dwValue, sizeof(dwValue)) == ERROR_SUCCESS;
    }

    std::wstring m_strLocal;
    CInterfacePtr<IUnknown> m_site;
    EXPCMDSTATE m_state = ECS_DISABLED;
};

#endif  // _WIN64

// ---------------------------------------------------------------------------
// Registration: all or nothing. A call that succeeds leaves exactly what the
// same call leaves without failures; one that fails leaves the registry
// exactly as it found it, from each starting point: nothing registered, this
// version registered, or an older version registered from elsewhere (other
// paths, another type-library version). DllInstall for the user sets a mode
// that stays for the life of the DLL, so each registration operation is
// swept in a process of its own.

enum class RegistryCall { Register, Unregister, InstallUser, UninstallUser };
enum class RegistryStart { Nothing, ThisVersion, OlderVersion };

HRESULT MakeRegistryCall(const SweepContext& context, RegistryCall call)
{
    switch (call)
    {
    case RegistryCall::Register:
        return context.server.RegisterServer();
    case RegistryCall::Unregister:
        return context.server.UnregisterServer();
    case RegistryCall::InstallUser:
        return context.server.Install(TRUE, L"user");
    case RegistryCall::UninstallUser:
        return context.server.Install(FALSE, L"user");
    }
    return E_UNEXPECTED;
}

class CRegistrationOperation : public CSweepOperation
{
public:
    CRegistrationOperation(const char* pszName, RegistryCall call, RegistryStart start)
        : m_pszName(pszName), m_call(call), m_start(start)
    {
    }
    const char* Name() const override { return m_pszName; }

    // One whole cycle first, so that the keys unregistration leaves in place
    // on purpose (CLSID, shellex, ...) exist; then the starting point with
    // its registry, and the registry the call leaves when nothing fails.
    std::string PrepareProcess(SweepContext& context) override
    {
        if (MakeRegistryCall(context, Install()) != S_OK || MakeRegistryCall(context, Uninstall()) != S_OK)
            return "a registration call fails without any failure injected";
        std::string strProblem = SetUpStart(context);
        m_strBefore = SnapshotRegistry(context.identity.vecRegistryKeys);
        if (strProblem.empty() && MakeRegistryCall(context, m_call) != S_OK)
            strProblem = "the call fails without any failure injected";
        m_strAfter = SnapshotRegistry(context.identity.vecRegistryKeys);
        return strProblem;
    }

    void FinishProcess(SweepContext& context) override
    {
        MakeRegistryCall(context, Uninstall());
        RemoveRegistryKeys(context.identity.vecRegistryKeys);
    }

    std::string Prepare(SweepContext& context) override
    {
        const std::string strProblem = SetUpStart(context);
        const std::string strState = SnapshotRegistry(context.identity.vecRegistryKeys);
        if (!strProblem.empty() || strState == m_strBefore)
            return strProblem;
        return "starts from another registry: " + FirstDifference(m_strBefore, strState);
    }
    // Over a registration, saving the keys is swept by DllUnregisterServer.
    const char* SweptFrom() const override
    {
        return m_start != RegistryStart::Nothing && m_call != RegistryCall::Unregister ? "SetThreadLocale" : nullptr;
    }
    // Unregistration starts from this version; the others from nothing.
    bool RepeatsAnotherOverOtherState() const override
    {
        return m_start != (m_call == RegistryCall::Unregister ? RegistryStart::ThisVersion : RegistryStart::Nothing);
    }
    HRESULT Run(SweepContext& context) override { return MakeRegistryCall(context, m_call); }
    std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) override
    {
        if (!bFaulted && hr != S_OK)
            return "answered " + HrText(hr);
        const std::string& strExpected = SUCCEEDED(hr) ? m_strAfter : m_strBefore;
        const std::string strState = SnapshotRegistry(context.identity.vecRegistryKeys);
        if (strState == strExpected)
            return std::string();
        return "answered " + HrText(hr) + " and left " + FirstDifference(strExpected, strState);
    }
    // Every run sets up its starting point afresh.
    std::string Release(SweepContext&) override { return std::string(); }

private:
    bool PerUser() const { return m_call == RegistryCall::InstallUser || m_call == RegistryCall::UninstallUser; }
    RegistryCall Install() const { return PerUser() ? RegistryCall::InstallUser : RegistryCall::Register; }
    RegistryCall Uninstall() const { return PerUser() ? RegistryCall::UninstallUser : RegistryCall::Unregister; }

    std::string SetUpStart(SweepContext& context)
    {
        RemoveRegistryKeys(context.identity.vecRegistryKeys);
        if (m_start == RegistryStart::Nothing)
            return std::string();
        if (MakeRegistryCall(context, Install()) != S_OK)
            return "registration fails without any failure injected";
        if (m_start == RegistryStart::OlderVersion)
            MakeOlderRegistration(context.identity.vecRegistryKeys);
        return std::string();
    }

    const char* m_pszName;
    RegistryCall m_call;
    RegistryStart m_start;
    std::string m_strBefore;
    std::string m_strAfter;
};

}  // namespace

std::wstring MainApplicationOf(const SweepContext& context)
{
    return context.fixture.strRoot + L"\\Orvane.exe";
}

std::vector<std::unique_ptr<CSweepOperation>> MakeSweepOperations()
{
    std::vector<std::unique_ptr<CSweepOperation>> vecOperations;
    vecOperations.emplace_back(new CCreateOperation(true));
    vecOperations.emplace_back(new CCreateOperation(false));
    vecOperations.emplace_back(new CInitializeOperation());
    vecOperations.emplace_back(new CMenuOperation(false));
    vecOperations.emplace_back(new CMenuOperation(true));
    vecOperations.emplace_back(new CInvokeOperation("InvokeCommand marker", 3, L"Done Work"));
    vecOperations.emplace_back(new CInvokeOperation("InvokeCommand colour", 8, L"Blue"));
    vecOperations.emplace_back(new CInvokeOperation("InvokeCommand command", 10, L"Restore Default"));
    vecOperations.emplace_back(new CIconOperation("GetIconLocation marked", &BenchFixture::marked));
    vecOperations.emplace_back(new CIconOperation("GetIconLocation plain default", &BenchFixture::plain));
    vecOperations.emplace_back(new CIconOperation("GetIconLocation cached @", &BenchFixture::cached));
    vecOperations.emplace_back(
        new CRegistrationOperation("DllRegisterServer", RegistryCall::Register, RegistryStart::Nothing));
    vecOperations.emplace_back(new CRegistrationOperation("DllRegisterServer over itself", RegistryCall::Register,
                                                          RegistryStart::ThisVersion));
    vecOperations.emplace_back(new CRegistrationOperation("DllRegisterServer over an older one",
                                                          RegistryCall::Register, RegistryStart::OlderVersion));
    vecOperations.emplace_back(
        new CRegistrationOperation("DllUnregisterServer", RegistryCall::Unregister, RegistryStart::ThisVersion));
    vecOperations.emplace_back(
        new CRegistrationOperation("DllInstall user", RegistryCall::InstallUser, RegistryStart::Nothing));
    vecOperations.emplace_back(new CRegistrationOperation("DllInstall user over itself", RegistryCall::InstallUser,
                                                          RegistryStart::ThisVersion));
    vecOperations.emplace_back(new CRegistrationOperation("DllInstall user over an older one",
                                                          RegistryCall::InstallUser, RegistryStart::OlderVersion));
#ifdef _WIN64
    vecOperations.emplace_back(new CCommandCreateOperation());
    vecOperations.emplace_back(new CCommandTitleOperation());
    vecOperations.emplace_back(new CSubcommandsOperation());
    for (const OfferCase& offer : kOfferCases)
    {
        vecOperations.emplace_back(new CSubcommandInvokeOperation(offer));
        vecOperations.emplace_back(new CCommandStateOperation(offer));
    }
    vecOperations.emplace_back(new CCommandClassicStateOperation());
#endif
    return vecOperations;
}
