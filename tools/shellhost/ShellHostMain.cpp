// OrvaneShellHost: drives the registered Orvane shell extension exactly as
// Explorer does, and prints what it sees. The handler is found through the
// registry and created with CoCreateInstance in a single-threaded apartment;
// the selection arrives as a real CF_HDROP data object. Every failure is a
// message and an exit code (see UsageText), never a crash.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ShellExt/core/Handles.h"
#include "ShellExt/explorercommand/CommandIds.h"
#include "tools/common/HDropDataObject.h"
#include "tools/common/MessagePump.h"
#include "tools/common/WinFiles.h"
#include "tools/common/WinText.h"
#include "tools/shellhost/ComPtr.h"
#include "tools/shellhost/CommandManifest.h"
#include "tools/shellhost/CommandSite.h"
#include "tools/shellhost/CommandTree.h"
#include "tools/shellhost/HandlerLookup.h"
#include "tools/shellhost/HostOptions.h"
#include "tools/shellhost/MenuShow.h"
#include "tools/shellhost/MenuTree.h"

namespace {

enum ExitCode
{
    kExitDone = 0,
    kExitUsage = 1,
    kExitNoSuchFile = 2,
    kExitNotRegistered = 3,
    kExitCannotCreate = 4,
    kExitItemNotFound = 5,
    kExitCallFailed = 6,
    kExitCannotShow = 7,
};

// Identifiers the host hands to QueryContextMenu, and its own items outside
// that range, as Explorer keeps its verbs apart from the extensions'.
const UINT kIdCmdFirst = 1;
const UINT kIdCmdLast = 0x6FFF;
const UINT kIdHostOpen = 0x7001;
const UINT kIdHostProperties = 0x7002;
const UINT kIndexMenu = 2;

// ---------------------------------------------------------------------------
// Output: UTF-8 to pipes and files, wide text to a real console.

void Write(DWORD dwHandle, const std::string& strText)
{
    HANDLE hOut = ::GetStdHandle(dwHandle);
    DWORD dwMode = 0;
    if (hOut != nullptr && hOut != INVALID_HANDLE_VALUE && ::GetConsoleMode(hOut, &dwMode))
    {
        int cch = ::MultiByteToWideChar(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), nullptr, 0);
        std::wstring strWide(cch > 0 ? cch : 0, L'\0');
        if (cch > 0)
            ::MultiByteToWideChar(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), &strWide[0], cch);
        DWORD cchWritten = 0;
        ::WriteConsoleW(hOut, strWide.data(), static_cast<DWORD>(strWide.size()), &cchWritten, nullptr);
        return;
    }
    FILE* pFile = dwHandle == STD_ERROR_HANDLE ? stderr : stdout;
    std::fwrite(strText.data(), 1, strText.size(), pFile);
    std::fflush(pFile);
}

void Out(const std::string& strText) { Write(STD_OUTPUT_HANDLE, strText + "\n"); }
int Fail(int nExitCode, const std::string& strText)
{
    Write(STD_ERROR_HANDLE, "OrvaneShellHost: " + strText + "\n");
    return nExitCode;
}

std::string Hex(HRESULT hr)
{
    char sz[16] = {};
    std::snprintf(sz, sizeof(sz), "0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

std::string Clock()
{
    SYSTEMTIME st = {};
    ::GetLocalTime(&st);
    char sz[32] = {};
    std::snprintf(sz, sizeof(sz), "[%02u:%02u:%02u.%03u]", st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return sz;
}

// ---------------------------------------------------------------------------
// The selection and the handler.

bool ResolveFiles(const std::vector<std::u16string>& vecNames, std::vector<std::wstring>& vecFiles,
                  std::string& strError)
{
    for (const std::u16string& strName : vecNames)
    {
        std::wstring strWide = ToWide(strName);
        DWORD cch = ::GetFullPathNameW(strWide.c_str(), 0, nullptr, nullptr);
        std::wstring strFull(cch > 0 ? cch : 1, L'\0');
        cch = cch > 0 ? ::GetFullPathNameW(strWide.c_str(), cch, &strFull[0], nullptr) : 0;
        if (cch == 0 || cch >= strFull.size())
        {
            strError = "cannot make a full path of \"" + Utf16ToUtf8(strName) + "\"";
            return false;
        }
        strFull.resize(cch);
        if (::GetFileAttributesW(strFull.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            strError = "no such file: " + WideToUtf8(strFull);
            return false;
        }
        vecFiles.push_back(strFull);
    }
    return true;
}

int ResolveHandler(const HostOptions& options, HandlerInfo& info)
{
    std::string strError;
    bool bFound = options.strClsid.empty()
                      ? FindContextMenuHandler(ToWide(options.strHandler), info, strError)
                      : DescribeClass(ToWide(options.strClsid), info, strError);
    if (!bFound)
        return Fail(kExitNotRegistered, strError);
    if (!info.bServerRegistered)
        return Fail(kExitNotRegistered, "class " + WideToUtf8(info.strClsid) +
                                            " has no InprocServer32 key visible to this " +
                                            (sizeof(void*) == 8 ? "64" : "32") + "-bit program");
    return kExitDone;
}

void PrintHandler(const HandlerInfo& info)
{
    Out("handler   " + WideToUtf8(info.strName) + " = " + WideToUtf8(info.strClsid) +
        (info.strWhere.empty() ? std::string() : " (" + WideToUtf8(info.strWhere) + ")"));
    Out("server    " + WideToUtf8(info.strServer) + ", ThreadingModel " +
        (info.strThreadingModel.empty() ? std::string("(none)") : WideToUtf8(info.strThreadingModel)));
}

bool RunningUnderWine()
{
    HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
    return hNtdll != nullptr && ::GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

template <class T>
int CreateHandler(const HandlerInfo& info, REFIID riid, CInterfacePtr<T>& pObject)
{
    HRESULT hr = ::CoCreateInstance(info.clsid, nullptr, CLSCTX_INPROC_SERVER, riid, pObject.ReceiveVoid());
    if (SUCCEEDED(hr))
        return kExitDone;
    std::string strHint;
    if (hr == REGDB_E_CLASSNOTREG && info.strWhere == L"per user" && RunningUnderWine())
        strHint = " - the class is registered per user only, and Wine's COM reads classes machine-wide only";
    else if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_ERRORINDLL || hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT))
        strHint = " - is the DLL of this program's bitness registered?";
    return Fail(kExitCannotCreate, "CoCreateInstance of " + WideToUtf8(info.strClsid) + " (" +
                                       WideToUtf8(info.strServer) + ") failed with " + Hex(hr) + strHint);
}

// ---------------------------------------------------------------------------
// The context menu, as Explorer builds it.

// The selected files, the handler initialised with them, and the menu it
// filled; the menu goes before the handler, as Explorer lets go of them.
struct MenuSession
{
    std::vector<std::wstring> vecFiles;
    CInterfacePtr<IContextMenu> handler;
    CMenuHandle menu;
    CommandRange range;
    std::vector<MenuEntry> vecEntries;
};

void PrintSelection(const std::vector<std::wstring>& vecFiles)
{
    Out("selection " + std::to_string(vecFiles.size()) + " file(s)");
    for (const std::wstring& strFile : vecFiles)
        Out("          " + WideToUtf8(strFile));
}

int InitializeSelection(IShellExtInit* pInit, const std::vector<std::wstring>& vecFiles)
{
    CInterfacePtr<IDataObject> pData(CreateHDropDataObject(vecFiles));
    if (!pData)
        return Fail(kExitCallFailed, "out of memory for the data object");
    HRESULT hr = pInit->Initialize(nullptr, pData.Get(), nullptr);
    Out(Clock() + " IShellExtInit::Initialize(" + std::to_string(vecFiles.size()) + " file(s)) = " + Hex(hr) +
        "; the hand-off timer runs from here");
    return SUCCEEDED(hr) ? kExitDone : Fail(kExitCallFailed, "Initialize failed with " + Hex(hr));
}

// A host menu with two verbs of its own around the place it offers the
// extension, like Explorer's.
int BuildMenu(bool bExtended, MenuSession& session)
{
    session.menu.Reset(::CreatePopupMenu());
    if (!session.menu)
        return Fail(kExitCallFailed, "CreatePopupMenu failed");
    HMENU hMenu = session.menu.Get();
    ::AppendMenuW(hMenu, MF_STRING, kIdHostOpen, L"&Open");
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hMenu, MF_STRING, kIdHostProperties, L"P&roperties");

    UINT uFlags = CMF_NORMAL | (bExtended ? CMF_EXTENDEDVERBS : 0);
    HRESULT hr = session.handler->QueryContextMenu(hMenu, kIndexMenu, kIdCmdFirst, kIdCmdLast, uFlags);
    Out(Clock() + " IContextMenu::QueryContextMenu(indexMenu " + std::to_string(kIndexMenu) + ", idCmdFirst " +
        std::to_string(kIdCmdFirst) + ", " + (bExtended ? "CMF_EXTENDEDVERBS" : "CMF_NORMAL") + ") = " + Hex(hr) +
        ": " + std::to_string(HRESULT_CODE(hr)) + " command identifier(s)");
    if (FAILED(hr))
        return Fail(kExitCallFailed, "QueryContextMenu failed with " + Hex(hr));
    session.range.nFirst = kIdCmdFirst;
    session.range.nCount = HRESULT_CODE(hr);
    session.vecEntries = ReadMenu(hMenu);
    return kExitDone;
}

int PrepareMenu(const HostOptions& options, MenuSession& session, bool bPrintDetails)
{
    std::string strError;
    if (!ResolveFiles(options.vecFiles, session.vecFiles, strError))
        return Fail(kExitNoSuchFile, strError);
    HandlerInfo info;
    int nExit = ResolveHandler(options, info);
    if (nExit != kExitDone)
        return nExit;
    if (bPrintDetails)
    {
        PrintHandler(info);
        PrintSelection(session.vecFiles);
    }
    CInterfacePtr<IShellExtInit> pInit;
    nExit = CreateHandler(info, IID_IShellExtInit, pInit);
    if (nExit != kExitDone)
        return nExit;
    nExit = InitializeSelection(pInit.Get(), session.vecFiles);
    if (nExit != kExitDone)
        return nExit;
    HRESULT hr = pInit.QueryInto(IID_IContextMenu, session.handler);
    if (FAILED(hr))
        return Fail(kExitCallFailed, "the handler has no IContextMenu (" + Hex(hr) + ")");
    return BuildMenu(options.bExtended, session);
}

void WaitAfterwards(const HostOptions& options)
{
    int32_t nSeconds = EffectiveWaitSeconds(options);
    if (nSeconds <= 0)
        return;
    Out(Clock() + " pumping messages for " + std::to_string(nSeconds) +
        " s (the hand-off fires 10 s after Initialize, or after the Windows 11 menu opened)");
    PumpMessagesFor(static_cast<DWORD>(nSeconds) * 1000);
    Out(Clock() + " done waiting");
}

// ---------------------------------------------------------------------------
// The commands.

int RunMenu(const HostOptions& options)
{
    MenuSession session;
    if (const int nExit = PrepareMenu(options, session, true); nExit != kExitDone)
        return nExit;
    Out("context menu:");
    Write(STD_OUTPUT_HANDLE, FormatMenuTree(session.vecEntries, session.range));
    WaitAfterwards(options);
    return kExitDone;
}

bool FindItem(const HostOptions& options, const MenuSession& session, UINT& nOffset, std::string& strCaption,
              std::string& strError)
{
    std::vector<const MenuEntry*> vecItems;
    CollectCommandItems(session.vecEntries, session.range, vecItems);
    if (options.bHasOffset)
    {
        nOffset = static_cast<UINT>(options.nOffset);
        strCaption = "(not in the menu)";
        for (const MenuEntry* pItem : vecItems)
            if (pItem->nId - session.range.nFirst == nOffset)
                strCaption = WideToUtf8(pItem->strCaption);
        return true;
    }
    std::vector<const MenuEntry*> vecMatches;
    for (const MenuEntry* pItem : vecItems)
        if (CaptionMatches(ToU16(pItem->strCaption), options.strItem))
            vecMatches.push_back(pItem);
    if (vecMatches.size() == 1)
    {
        nOffset = vecMatches[0]->nId - session.range.nFirst;
        strCaption = Utf16ToUtf8(DisplayCaption(ToU16(vecMatches[0]->strCaption)));
        return true;
    }
    std::string strKnown;
    for (const MenuEntry* pItem : vecItems)
        strKnown += "\n  \"" + Utf16ToUtf8(DisplayCaption(ToU16(pItem->strCaption))) + "\"";
    strError = std::string(vecMatches.empty() ? "no" : "more than one") + " menu item \"" +
               Utf16ToUtf8(options.strItem) + "\"; the extension's items are:" + strKnown;
    return false;
}

int RunInvoke(const HostOptions& options)
{
    MenuSession session;
    if (const int nExit = PrepareMenu(options, session, true); nExit != kExitDone)
        return nExit;
    UINT nOffset = 0;
    std::string strCaption;
    std::string strError;
    if (!FindItem(options, session, nOffset, strCaption, strError))
        return Fail(kExitItemNotFound, strError);

    CMINVOKECOMMANDINFO ici = {};
    ici.cbSize = sizeof(ici);
    ici.lpVerb = MAKEINTRESOURCEA(nOffset);
    ici.nShow = SW_SHOWNORMAL;
    HRESULT hr = session.handler->InvokeCommand(&ici);
    Out(Clock() + " IContextMenu::InvokeCommand(offset " + std::to_string(nOffset) + ", \"" + strCaption +
        "\") = " + Hex(hr));
    // The menu goes away as Explorer's does; the timer outlives it.
    session.menu.Reset();
    session.handler.Reset();
    WaitAfterwards(options);
    return SUCCEEDED(hr) ? kExitDone : Fail(kExitCallFailed, "InvokeCommand failed with " + Hex(hr));
}

std::string IconFlagsText(UINT uFlags)
{
    std::string strText = Hex(static_cast<HRESULT>(uFlags));
    if (uFlags & GIL_DONTCACHE)
        strText += " GIL_DONTCACHE";
    if (uFlags & GIL_NOTFILENAME)
        strText += " GIL_NOTFILENAME";
    if (uFlags & GIL_PERINSTANCE)
        strText += " GIL_PERINSTANCE";
    if (uFlags & GIL_PERCLASS)
        strText += " GIL_PERCLASS";
    return strText;
}

// What the shell would show: the icon at the location, when it loads.
std::string ExtractionCheck(const wchar_t* pszLocation, int nIndex)
{
    return IconLoads(pszLocation, nIndex) ? "the icon loads" : "no icon loads from there";
}

int RunIcon(const HostOptions& options)
{
    std::vector<std::wstring> vecFiles;
    std::string strError;
    if (!ResolveFiles(options.vecFiles, vecFiles, strError))
        return Fail(kExitNoSuchFile, strError);
    HandlerInfo info;
    int nExit = ResolveHandler(options, info);
    if (nExit != kExitDone)
        return nExit;
    PrintHandler(info);

    int nResult = kExitDone;
    for (const std::wstring& strFile : vecFiles)
    {
        // One object per request, as the shell makes them.
        CInterfacePtr<IPersistFile> pPersist;
        nExit = CreateHandler(info, IID_IPersistFile, pPersist);
        if (nExit != kExitDone)
            return nExit;
        HRESULT hrLoad = pPersist->Load(strFile.c_str(), STGM_READ);
        CInterfacePtr<IExtractIconW> pExtract;
        HRESULT hrQuery = pPersist.QueryInto(IID_IExtractIconW, pExtract);
        if (FAILED(hrLoad) || FAILED(hrQuery))
        {
            nResult = Fail(kExitCallFailed, WideToUtf8(strFile) + ": Load = " + Hex(hrLoad) +
                                                ", QueryInterface(IExtractIconW) = " + Hex(hrQuery));
            continue;
        }
        wchar_t szLocation[MAX_PATH * 2] = {};
        int nIndex = 0;
        UINT uFlags = 0;
        HRESULT hr = pExtract->GetIconLocation(GIL_FORSHELL, szLocation, ARRAYSIZE(szLocation), &nIndex, &uFlags);
        Out(WideToUtf8(strFile));
        if (FAILED(hr))
        {
            nResult = Fail(kExitCallFailed, "  GetIconLocation failed with " + Hex(hr));
            continue;
        }
        if (szLocation[0] == L'\0')
        {
            Out("  GetIconLocation = " + Hex(hr) + ": no location (the shell falls back to its own icon), flags " +
                IconFlagsText(uFlags));
            continue;
        }
        Out("  GetIconLocation = " + Hex(hr) + ": location " + WideToUtf8(szLocation) + ", index " +
            std::to_string(nIndex) + ", flags " + IconFlagsText(uFlags));
        Out("  " + ExtractionCheck(szLocation, nIndex));
    }
    return nResult;
}

void AnnounceOpen() { Out(Clock() + " menu open"); }

int RunShow(const HostOptions& options)
{
    MenuSession session;
    if (const int nExit = PrepareMenu(options, session, false); nExit != kExitDone)
        return nExit;
    std::vector<WORD> vecKeys = KeysToOpen(session.vecEntries, kIndexMenu, options.nOpenLevel);
    Out(Clock() + " showing the menu; " + std::to_string(vecKeys.size()) + " key press(es) open level " +
        std::to_string(options.nOpenLevel));
    ShowResult result = ShowMenu(session.menu.Get(), session.vecFiles, vecKeys,
                                 static_cast<DWORD>(options.nHoldMilliseconds), AnnounceOpen);
    if (!result.bShown)
        return Fail(kExitCannotShow, result.strError);
    Out(Clock() + " menu closed" +
        (result.nChosenId != 0 ? ", item " + std::to_string(result.nChosenId) + " chosen" : std::string()));
    WaitAfterwards(options);
    return kExitDone;
}

// ---------------------------------------------------------------------------
// The Explorer command of the Windows 11 menu.

// A file beside this program.
std::wstring BesideHost(const wchar_t* pszName)
{
    std::wstring strPath(MAX_PATH, L'\0');
    DWORD cch = ::GetModuleFileNameW(nullptr, &strPath[0], static_cast<DWORD>(strPath.size()));
    strPath.resize(cch < strPath.size() ? cch : 0);
    const size_t nSlash = strPath.find_last_of(L"\\/");
    strPath.resize(nSlash == std::wstring::npos ? 0 : nSlash + 1);
    return strPath + pszName;
}

// The class the package declares for the command, as the packaged
// activation finds it.
int ReadCommandClass(const HostOptions& options, CLSID& clsid)
{
    const std::wstring strManifest =
        options.strManifest.empty() ? BesideHost(L"AppxManifest.xml") : ToWide(options.strManifest);
    std::vector<uint8_t> vecBytes;
    if (!ReadWholeFile(strManifest, vecBytes))
        return Fail(kExitNotRegistered, "cannot read the package manifest " + WideToUtf8(strManifest) + ": " +
                                            ErrorText(::GetLastError()));
    std::u16string strClsid;
    if (!FindCommandClassId(std::string(vecBytes.begin(), vecBytes.end()), strClsid) ||
        FAILED(::CLSIDFromString(ToWide(strClsid).c_str(), &clsid)))
        return Fail(kExitNotRegistered, "the package manifest " + WideToUtf8(strManifest) +
                                            " declares no com:Class with a valid Id");
    Out("command   " + Utf16ToUtf8(strClsid) + " from " + WideToUtf8(strManifest));
    return kExitDone;
}

struct CommandSession
{
    CLibraryHandle dll;  // declared first: it outlives every object below
    CInterfacePtr<IExplorerCommand> top;
    CInterfacePtr<IUnknown> site;
    CInterfacePtr<IShellItemArray> selection;
    CommandNode tree;
};

int OpenCommandTree(const HostOptions& options, CommandSession& session)
{
    std::vector<std::wstring> vecFiles;
    std::string strError;
    if (!ResolveFiles(options.vecFiles, vecFiles, strError))
        return Fail(kExitNoSuchFile, strError);
    CLSID clsid = {};
    int nExit = ReadCommandClass(options, clsid);
    if (nExit != kExitDone)
        return nExit;
    const std::wstring strDll = options.strDll.empty() ? BesideHost(ORVANE_EXPLORER_COMMAND_DLL_FILE)
                                                       : ToWide(options.strDll);
    Out("server    " + WideToUtf8(strDll));
    if (!CreateExplorerCommand(strDll, clsid, session.dll, session.top, strError))
        return Fail(kExitCannotCreate, strError);
    const HRESULT hrSite = SiteCommand(session.top.Get(), options.eSite, session.site);
    if (FAILED(hrSite))
        return Fail(kExitCallFailed, "cannot give the command its site: " + Hex(hrSite));
    const wchar_t* pszSiteClass = HostSiteWindowClass(options.eSite);
    Out("site      " + (pszSiteClass != nullptr          ? "a window of class " + WideToUtf8(pszSiteClass)
                         : options.eSite == HostSite::NotImpl ? std::string("GetWindow answers E_NOTIMPL")
                         : options.eSite == HostSite::Service ? std::string("a service provider only")
                                                              : std::string("none")));
    session.selection = CInterfacePtr<IShellItemArray>(CreateShellItemArray(vecFiles));
    if (!session.selection)
        return Fail(kExitCallFailed, "cannot make a shell item array of the files");
    PrintSelection(vecFiles);
    session.tree = ReadCommandTree(session.top.Get(), session.selection.Get());
    Out(Clock() + " the command's state was asked for; its hand-off runs from here");
    return kExitDone;
}

int RunXMenu(const HostOptions& options)
{
    CommandSession session;
    if (const int nExit = OpenCommandTree(options, session); nExit != kExitDone)
        return nExit;
    Out("Windows 11 menu:");
    Write(STD_OUTPUT_HANDLE, FormatCommandTree(session.tree));
    WaitAfterwards(options);
    return kExitDone;
}

int RunXInvoke(const HostOptions& options)
{
    CommandSession session;
    if (const int nExit = OpenCommandTree(options, session); nExit != kExitDone)
        return nExit;
    std::vector<const CommandNode*> vecMatches;
    std::string strKnown;
    for (const CommandNode& child : session.tree.vecChildren)
    {
        if (child.flags & ECF_ISSEPARATOR)
            continue;
        strKnown += "\n  \"" + Utf16ToUtf8(DisplayCaption(ToU16(child.strTitle))) + "\"";
        if (CaptionMatches(ToU16(child.strTitle), options.strItem))
            vecMatches.push_back(&child);
    }
    if (vecMatches.size() != 1)
        return Fail(kExitItemNotFound, std::string(vecMatches.empty() ? "no" : "more than one") + " subcommand \"" +
                                           Utf16ToUtf8(options.strItem) + "\"; the command's subcommands are:" +
                                           strKnown);
    HRESULT hr = vecMatches[0]->command->Invoke(session.selection.Get(), nullptr);
    Out(Clock() + " IExplorerCommand::Invoke(\"" + Utf16ToUtf8(DisplayCaption(ToU16(vecMatches[0]->strTitle))) +
        "\") = " + Hex(hr));
    // Everything goes away as Explorer lets go of it; the hand-off outlives it.
    session.tree = CommandNode();
    session.top.Reset();
    WaitAfterwards(options);
    return SUCCEEDED(hr) ? kExitDone : Fail(kExitCallFailed, "Invoke failed with " + Hex(hr));
}

int RunHandlers()
{
    std::vector<HandlerInfo> vecHandlers = ListContextMenuHandlers();
    if (vecHandlers.empty())
        Out("no context-menu handlers are registered for all files");
    for (const HandlerInfo& info : vecHandlers)
    {
        Out(WideToUtf8(info.strName) + " = " +
            (info.strClsid.empty() ? std::string("(no class identifier)") : WideToUtf8(info.strClsid)) + " (" +
            WideToUtf8(info.strWhere) + ")");
        if (!info.strClsid.empty())
            Out("  " + (info.bServerRegistered ? WideToUtf8(info.strServer) + ", ThreadingModel " +
                                                     WideToUtf8(info.strThreadingModel)
                                               : std::string("no InprocServer32 visible to this program")));
    }
    return kExitDone;
}

int Run(const HostOptions& options)
{
    switch (options.eCommand)
    {
    case HostCommand::Menu:
        return RunMenu(options);
    case HostCommand::Invoke:
        return RunInvoke(options);
    case HostCommand::Icon:
        return RunIcon(options);
    case HostCommand::Show:
        return RunShow(options);
    case HostCommand::Handlers:
        return RunHandlers();
    case HostCommand::XMenu:
        return RunXMenu(options);
    case HostCommand::XInvoke:
        return RunXInvoke(options);
    case HostCommand::Help:
        break;
    }
    Write(STD_OUTPUT_HANDLE, UsageText());
    return kExitDone;
}

// Explorer's thread for a context menu is a single-threaded apartment.
class CApartment
{
public:
    CApartment() : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CApartment()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CApartment(const CApartment&) = delete;
    CApartment& operator=(const CApartment&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::u16string> vecArgs;
    for (int i = 1; i < argc; ++i)
        vecArgs.push_back(ToU16(argv[i]));
    HostOptions options;
    std::string strError;
    if (!ParseHostOptions(vecArgs, options, strError))
    {
        Fail(kExitUsage, strError);
        Write(STD_ERROR_HANDLE, UsageText());
        return kExitUsage;
    }
    try
    {
        CApartment apartment;
        if (FAILED(apartment.Result()))
            return Fail(kExitCallFailed, "CoInitializeEx failed with " + Hex(apartment.Result()));
        return Run(options);
    }
    catch (const std::exception& e)
    {
        return Fail(kExitCallFailed, std::string("unexpected failure: ") + e.what());
    }
}
