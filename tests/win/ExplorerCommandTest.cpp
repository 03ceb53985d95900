// The Windows 11 menu's Explorer command, reached through its DLL's class
// object as the packaged activation reaches it: its tree against the classic
// menu built in this process, each kind of subcommand reaching the stand-in
// main application, and hostile calls on every interface.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <thread>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/explorercommand/CommandIds.h"
#include "ShellExt/explorercommand/ShellItemPaths.h"
#include "ShellExt/menu/PendingHandOff.h"
#include "ShellExt/icons/MenuBitmaps.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/settings/Switches.h"
#include "tests/win/ExplorerCommandSupport.h"
#include "tests/win/MenuPictures.h"
#include "tests/win/TestSupport.h"
#include "tools/shellhost/CommandManifest.h"
#include "tools/shellhost/CommandSite.h"

using namespace testing_support;
using namespace menu_pictures;

namespace {

const DWORD kStartWaitMs = 15000;

// The classic plain menu of the same installation, as this process builds it.
struct ClassicMenu
{
    std::wstring strEntry;
    std::vector<bool> vecSeparators;
    std::vector<std::wstring> vecCaptions;
    std::vector<MenuItemRecord> vecRecords;
};

ClassicMenu BuildClassicMenu(const std::wstring& strFile)
{
    ClassicMenu classic;
    auto* pObject = new CComObject<CSimpleShlExt>();
    pObject->AddRef();
    IDataObject* pData = CreateHDropDataObject({strFile});
    EXPECT_EQ(S_OK, pObject->Initialize(nullptr, pData, nullptr));
    pData->Release();
    HMENU hHost = ::CreatePopupMenu();
    EXPECT_EQ(12, HRESULT_CODE(pObject->QueryContextMenu(hHost, 0, 1, 0x7FFF, CMF_NORMAL)));
    classic.strEntry = ItemText(hHost, 0);
    HMENU hSubmenu = ::GetSubMenu(hHost, 0);
    for (int i = 0; i < ::GetMenuItemCount(hSubmenu); ++i)
    {
        classic.vecSeparators.push_back((::GetMenuState(hSubmenu, i, MF_BYPOSITION) & MF_SEPARATOR) != 0);
        classic.vecCaptions.push_back(ItemText(hSubmenu, i));
    }
    classic.vecRecords = pObject->MenuItems();
    ::DestroyMenu(hHost);
    ClearMenuBitmapList();
    pObject->Release();
    return classic;
}

// The colour at the centre of the icon that a location names.
uint32_t CentreColourOf(const std::wstring& strLocation)
{
    std::u16string strFile;
    int32_t nIndex = 0;
    HICON hIcon = nullptr;
    UINT nId = 0;
    if (!SplitIconLocation(std::u16string(strLocation.begin(), strLocation.end()), strFile, nIndex) ||
        ::PrivateExtractIconsW(std::wstring(strFile.begin(), strFile.end()).c_str(), nIndex, 16, 16, &hIcon, &nId, 1,
                               0) != 1)
        return 0;
    CIconHandle icon(hIcon);
    CBitmapHandle dib(IconToMenuDib(icon.Get(), 16, 16));
    DibPixels pixels;
    return ReadDibPixels(dib.Get(), pixels) ? pixels.At(8, 8) | 0xFF000000u : 0;
}

const CLSID kCommandClsid = ORVANE_EXPLORER_COMMAND_CLSID_INIT;

class ExplorerCommandTest : public CommandTestBase
{
protected:
    // An out-pointer holding garbage that the call must clear.
    void** ReceiveGarbage()
    {
        m_pGarbage = reinterpret_cast<void*>(static_cast<UINT_PTR>(0x5A5A5A50));
        return &m_pGarbage;
    }

    // A new top-level command for the selection, with a site whose window
    // has class pszClass (none: a site without a window), or no site.
    EXPCMDSTATE StateInSite(bool bSite, const wchar_t* pszClass, SiteReach eReach, BOOL fOkToBeSlow,
                            IShellItemArray* pSelection)
    {
        CInterfacePtr<IExplorerCommand> command;
        std::string strError;
        EXPECT_TRUE(CreateExplorerCommand(CommandDllPath(), kCommandClsid, m_dll, command, strError)) << strError;
        CInterfacePtr<IUnknown> site;
        if (bSite)
        {
            site = CInterfacePtr<IUnknown>(CreateCommandSite(pszClass, eReach));
            CInterfacePtr<IObjectWithSite> withSite;
            EXPECT_EQ(S_OK, command.QueryInto(IID_IObjectWithSite, withSite));
            EXPECT_EQ(S_OK, withSite->SetSite(site.Get()));
        }
        EXPCMDSTATE state = ECS_DISABLED;
        EXPECT_EQ(S_OK, command->GetState(pSelection, fOkToBeSlow, &state)) << "the first answer is final";
        return state;
    }

    IObjectWithSite* ObjectWithSite()
    {
        if (!m_withSite)
            m_top.QueryInto(IID_IObjectWithSite, m_withSite);
        return m_withSite.Get();
    }

    HRESULT CreateAggregated()
    {
        CInterfacePtr<IClassFactory> factory;
        HRESULT hr = Exports().GetClassObject(kCommandClsid, IID_IClassFactory, factory.ReceiveVoid());
        if (FAILED(hr))
            return hr;
        return factory->CreateInstance(m_top.Get(), IID_IUnknown, ReceiveGarbage());
    }

    void TearDown() override
    {
        m_withSite.Reset();
        CommandTestBase::TearDown();
    }

    void* m_pGarbage = nullptr;
    CInterfacePtr<IObjectWithSite> m_withSite;
};

TEST_F(ExplorerCommandTest, TreeFollowsTheClassicPlainMenuInEachLanguage)
{
    const struct
    {
        const wchar_t* pszLanguage;  // null: no ViewSettings.ini
        const wchar_t* pszFile;      // the language file's content
        const wchar_t* pszEntry;
        const wchar_t* pszBlue;
    } cases[] = {
        {nullptr, nullptr, L"Mark File", L"Blue"},
        {L"deutsch",
         L"[menu_items]\r\n#DEFITEM#_Mark_File=Datei &markieren\r\n#DEFITEM#_Blue=Bl&au\r\n#DEFITEM#_Gray=\r\n"
         L"#DEFITEM#_Restore_Default=Zur\x00FC" L"cksetzen && neu\r\n",
         L"Datei &markieren", L"Bl&au"},
    };
    const WORD kSwatches[] = {326, 311, 302, 308};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszEntry);
        TestInstallation installation;
        UseInstallation(installation.Dir(), c.pszLanguage);
        if (c.pszFile != nullptr)
            WriteUtf16File(installation.LanguageFile(c.pszLanguage), c.pszFile);
        const ClassicMenu classic = BuildClassicMenu(m_strFile);

        CommandNode tree = OpenTree({m_strFile});
        EXPECT_EQ(c.pszEntry, classic.strEntry);
        EXPECT_EQ(classic.strEntry, tree.strTitle);
        EXPECT_EQ(ECF_HASSUBCOMMANDS, tree.flags);
        EXPECT_EQ(ECS_ENABLED, tree.state);
        EXPECT_EQ(CommandDllPath() + L",-333", tree.strIcon);
        EXPECT_TRUE(tree.bIconLoads);

        ASSERT_EQ(classic.vecCaptions.size(), tree.vecChildren.size());
        size_t nRecord = 0;
        size_t nColour = 0;
        for (size_t i = 0; i < tree.vecChildren.size(); ++i)
        {
            SCOPED_TRACE(i);
            const CommandNode& child = tree.vecChildren[i];
            EXPECT_EQ(ECS_ENABLED, child.state);
            if (classic.vecSeparators[i])
            {
                EXPECT_EQ(ECF_ISSEPARATOR, child.flags);
                continue;
            }
            EXPECT_EQ(ECF_DEFAULT, child.flags);
            EXPECT_EQ(S_OK, child.hrTitle);
            EXPECT_EQ(classic.vecCaptions[i], child.strTitle);
            const MenuItemRecord& record = classic.vecRecords[nRecord++];
            if (record.nType == 1)
            {
                EXPECT_EQ(std::wstring(record.szIconFile) + L"," + std::to_wstring(record.nIconIndex), child.strIcon);
                EXPECT_EQ(kIclColours[record.nIconIndex], CentreColourOf(child.strIcon));
            }
            else if (record.nType == 3)
                EXPECT_EQ(CommandDllPath() + L",-" + std::to_wstring(kSwatches[nColour++]), child.strIcon);
            else
                EXPECT_TRUE(child.strIcon.empty()) << WideToUtf8(child.strIcon);
            EXPECT_EQ(child.strIcon.empty(), !child.bIconLoads);
        }
        EXPECT_EQ(12u, nRecord);
        EXPECT_EQ(c.pszBlue, tree.vecChildren[9].strTitle);
    }
}

TEST_F(ExplorerCommandTest, WithoutTheIconLibraryMarkersHaveNoIcon)
{
    TestInstallation installation(false);
    UseInstallation(installation.Dir(), nullptr);
    CommandNode tree = OpenTree({m_strFile});
    ASSERT_EQ(14u, tree.vecChildren.size());
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(E_NOTIMPL, tree.vecChildren[i].hrIcon) << i;
    EXPECT_TRUE(tree.vecChildren[7].bIconLoads);
}

TEST_F(ExplorerCommandTest, EachKindOfSubcommandReachesTheMainApplication)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    const std::wstring strSecond = m_strFolder + L"\\second file.txt";
    WriteTextFile(strSecond, "y");
    // The parameters after the quoted selection file, as the classic items send them.
    const struct
    {
        size_t nChild;
        const wchar_t* pszSwitch;
        std::wstring strTail;
    } cases[] = {
        {3, L"-oi", L" \"" + installation.IconLibrary() + L"\" 5"},
        {9, L"-ci", L" 16748891"},
        {12, L"-rd", L""},
        {13, L"-mi", L""},
    };
    // The classic handler's ten-second hand-offs left by earlier tests of
    // this program fire while this test pumps messages, and would copy their
    // own, older selection over the fixed copy: they fire first.
    PumpMessagesUntil(12000, [] { return g_pModule->GetModuleLockCount() == 0; });
    for (const auto& c : cases)
    {
        SCOPED_TRACE(WideToUtf8(c.pszSwitch));
        StandinLog log;
        CommandNode tree = OpenTree({m_strFile, strSecond});
        ASSERT_EQ(14u, tree.vecChildren.size());
        ASSERT_EQ(S_OK, tree.vecChildren[c.nChild].command->Invoke(m_selection.Get(), nullptr));
        ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return !WithoutHandOffs(log.Read()).empty(); }));
        const StandinStart start = WithoutHandOffs(log.Read())[0];
        ASSERT_GE(start.vecArgs.size(), 2u);
        EXPECT_NE(std::wstring::npos, start.vecArgs[1].find(L"\\orvane"));
        EXPECT_EQ(std::wstring(c.pszSwitch) + L" \"" + start.vecArgs[1] + L"\"" + c.strTail, ParametersOf(start));
        EXPECT_EQ(SelectionBytes({m_strFile, strSecond}), start.vecSelection);
        // A program started through Explorer (Wine's answers at times) reads
        // Explorer's own AppData, not this test's: the copy is checked where
        // the command wrote it.
        EXPECT_EQ(start.vecSelection, ReadFileBytes(OrvaneDataFolder() + L"\\selectedfiles.dat"));
    }
}

TEST_F(ExplorerCommandTest, ItemsWithoutAFileSystemPathAreLeftOut)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    CommandNode tree = OpenTree({m_strFile});
    ASSERT_EQ(14u, tree.vecChildren.size());
    CInterfacePtr<IShellItemArray> mixed(CreateArrayWithControlPanel(m_strFile));
    CInterfacePtr<IShellItemArray> none(CreateArrayWithControlPanel(L""));
    ASSERT_TRUE(mixed && none);

    StandinLog log;
    EXPECT_EQ(E_INVALIDARG, tree.vecChildren[12].command->Invoke(none.Get(), nullptr));
    ASSERT_EQ(S_OK, tree.vecChildren[12].command->Invoke(mixed.Get(), nullptr));
    ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return !WithoutHandOffs(log.Read()).empty(); }));
    PumpMessagesFor(500);
    const std::vector<StandinStart> vecStarts = WithoutHandOffs(log.Read());
    ASSERT_EQ(1u, vecStarts.size()) << "the call without a file started nothing";
    EXPECT_EQ(SelectionBytes({m_strFile}), vecStarts[0].vecSelection);
}

TEST_F(ExplorerCommandTest, HostileCallsGetAnHResultNeverACrash)
{
    CommandNode tree = OpenTree({m_strFile});
    ASSERT_EQ(14u, tree.vecChildren.size());
    IExplorerCommand* pTop = m_top.Get();
    IExplorerCommand* pItem = tree.vecChildren[3].command.Get();
    IExplorerCommand* pSeparator = tree.vecChildren[6].command.Get();
    IShellItemArray* pSelection = m_selection.Get();
    CInterfacePtr<IEnumExplorerCommand> subcommands;
    ASSERT_EQ(S_OK, pTop->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(subcommands.ReceiveVoid())));
    IExplorerCommand* apCommands[2] = {};
    EXPCMDSTATE state = ECS_DISABLED;
    CEmptyShellItemArray empty;

    const struct
    {
        const char* pszCall;
        std::function<HRESULT()> call;
        HRESULT hrExpected;
    } cases[] = {
        {"top GetTitle(null)", [&] { return pTop->GetTitle(pSelection, nullptr); }, E_POINTER},
        {"item GetTitle(null)", [&] { return pItem->GetTitle(nullptr, nullptr); }, E_POINTER},
        {"top GetIcon(null)", [&] { return pTop->GetIcon(pSelection, nullptr); }, E_POINTER},
        {"item GetIcon(null)", [&] { return pItem->GetIcon(pSelection, nullptr); }, E_POINTER},
        {"top GetToolTip(null)", [&] { return pTop->GetToolTip(pSelection, nullptr); }, E_POINTER},
        {"top GetCanonicalName(null)", [&] { return pTop->GetCanonicalName(nullptr); }, E_POINTER},
        {"item GetCanonicalName(null)", [&] { return pItem->GetCanonicalName(nullptr); }, E_POINTER},
        {"top GetState(null)", [&] { return pTop->GetState(pSelection, TRUE, nullptr); }, E_POINTER},
        {"item GetState(null)", [&] { return pItem->GetState(pSelection, FALSE, nullptr); }, E_POINTER},
        {"top GetFlags(null)", [&] { return pTop->GetFlags(nullptr); }, E_POINTER},
        {"item GetFlags(null)", [&] { return pItem->GetFlags(nullptr); }, E_POINTER},
        {"top EnumSubCommands(null)", [&] { return pTop->EnumSubCommands(nullptr); }, E_POINTER},
        {"item EnumSubCommands(null)", [&] { return pItem->EnumSubCommands(nullptr); }, E_POINTER},
        {"top Invoke", [&] { return pTop->Invoke(pSelection, nullptr); }, E_NOTIMPL},
        {"item Invoke(null selection)", [&] { return pItem->Invoke(nullptr, nullptr); }, E_INVALIDARG},
        {"separator Invoke", [&] { return pSeparator->Invoke(pSelection, nullptr); }, E_NOTIMPL},
        {"Next(1, null)", [&] { return subcommands->Next(1, nullptr, nullptr); }, E_POINTER},
        {"Next(2) without a count", [&] { return subcommands->Next(2, apCommands, nullptr); }, E_INVALIDARG},
        {"Clone(null)", [&] { return subcommands->Clone(nullptr); }, E_POINTER},
        {"top state without a selection",
         [&] {
             HRESULT hr = pTop->GetState(nullptr, TRUE, &state);
             return state == ECS_HIDDEN ? hr : E_UNEXPECTED;
         },
         S_OK},
        {"top state for an empty selection",
         [&] {
             HRESULT hr = pTop->GetState(&empty, TRUE, &state);
             return state == ECS_HIDDEN ? hr : E_UNEXPECTED;
         },
         S_OK},
        {"item Invoke(empty selection)", [&] { return pItem->Invoke(&empty, nullptr); }, E_INVALIDARG},
        {"GetSite without a site", [&] { return ObjectWithSite()->GetSite(IID_IUnknown, ReceiveGarbage()); }, E_FAIL},
        {"GetSite(null)", [&] { return ObjectWithSite()->GetSite(IID_IUnknown, nullptr); }, E_POINTER},
        {"QueryInterface(IContextMenu)", [&] { return pTop->QueryInterface(IID_IContextMenu, ReceiveGarbage()); },
         E_NOINTERFACE},
        {"class object of another class",
         [&] { return Exports().GetClassObject(CLSID_NULL, IID_IClassFactory, ReceiveGarbage()); },
         CLASS_E_CLASSNOTAVAILABLE},
        {"class object into null", [&] { return Exports().GetClassObject(kCommandClsid, IID_IClassFactory, nullptr); },
         E_POINTER},
        {"aggregation", [&] { return CreateAggregated(); }, CLASS_E_NOAGGREGATION},
    };
    for (const auto& c : cases)
    {
        m_pGarbage = nullptr;
        EXPECT_EQ(c.hrExpected, c.call()) << c.pszCall;
        EXPECT_EQ(nullptr, m_pGarbage) << c.pszCall << " leaves its out-pointer cleared";
    }
    EXPECT_EQ(nullptr, apCommands[0]);

    // Repeated and partial enumeration.
    ULONG nFetched = 99;
    IExplorerCommand* apAll[20] = {};
    EXPECT_EQ(S_FALSE, subcommands->Next(20, apAll, &nFetched));
    EXPECT_EQ(14u, nFetched);
    for (ULONG i = 0; i < nFetched; ++i)
        apAll[i]->Release();
    EXPECT_EQ(S_FALSE, subcommands->Next(1, apAll, &nFetched));
    EXPECT_EQ(0u, nFetched);
    EXPECT_EQ(S_OK, subcommands->Reset());
    EXPECT_EQ(S_OK, subcommands->Skip(13));
    CInterfacePtr<IEnumExplorerCommand> clone;
    ASSERT_EQ(S_OK, subcommands->Clone(reinterpret_cast<IEnumExplorerCommand**>(clone.ReceiveVoid())));
    EXPECT_EQ(S_FALSE, subcommands->Skip(2));
    ASSERT_EQ(S_OK, clone->Next(1, apAll, nullptr));
    CInterfacePtr<IExplorerCommand> last(apAll[0]);
    EXPECT_EQ(L"More Icons", ReadCommandTree(last.Get(), pSelection).strTitle) << "the clone kept the position";

    // A site is held and handed back.
    CInterfacePtr<IUnknown> site;
    ASSERT_EQ(S_OK, pTop->QueryInterface(IID_IUnknown, site.ReceiveVoid()));
    EXPECT_EQ(S_OK, ObjectWithSite()->SetSite(site.Get()));
    CInterfacePtr<IUnknown> back;
    EXPECT_EQ(S_OK, ObjectWithSite()->GetSite(IID_IUnknown, back.ReceiveVoid()));
    EXPECT_EQ(site.Get(), back.Get());
    EXPECT_EQ(S_OK, ObjectWithSite()->SetSite(nullptr));
}

TEST_F(ExplorerCommandTest, HidesItselfWhereAClassicMenuAsks)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    CInterfacePtr<IShellItemArray> selection(CreateShellItemArray({m_strFile}));
    ASSERT_TRUE(selection);
    CEmptyShellItemArray empty;
    const struct
    {
        const char* pszWhere;
        bool bSite;
        const wchar_t* pszClass;
        SiteReach eReach;
        bool bItems;
        EXPCMDSTATE state;
    } cases[] = {
        {"new menu: no site", false, nullptr, SiteReach::Direct, true, ECS_ENABLED},
        {"a site without a window", true, nullptr, SiteReach::Direct, true, ECS_ENABLED},
        {"folder view", true, L"SHELLDLL_DefView", SiteReach::Direct, true, ECS_HIDDEN},
        {"Open dialog", true, L"#32770", SiteReach::Direct, true, ECS_HIDDEN},
        {"GetWindow answers E_NOTIMPL", true, nullptr, SiteReach::NotImplemented, true, ECS_HIDDEN},
        {"a service provider only, leading to a window", true, L"SHELLDLL_DefView", SiteReach::ServiceProvider, true,
         ECS_ENABLED},
        {"navigation pane", true, L"NamespaceTreeControl", SiteReach::Direct, true, ECS_ENABLED},
        {"navigation pane, nothing selected", true, L"NamespaceTreeControl", SiteReach::Direct, false, ECS_HIDDEN},
    };
    for (const auto& c : cases)
    {
        for (BOOL fOkToBeSlow : {FALSE, TRUE})
        {
            SCOPED_TRACE(std::string(c.pszWhere) + (fOkToBeSlow ? ", slow" : ", fast"));
            EXPECT_EQ(c.state, StateInSite(c.bSite, c.pszClass, c.eReach, fOkToBeSlow,
                                           c.bItems ? selection.Get() : static_cast<IShellItemArray*>(&empty)));
        }
    }
}

// Explorer's array offers the whole selection in one transfer: with its data
// object on offer neither the state nor a chosen item reaches one item, and
// the key is the classic handler's, wide or 8-bit, and the item walk's.
TEST_F(ExplorerCommandTest, OneTransferForAnySelectionAndOneKey)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    const std::vector<std::wstring> vecFiles = {m_strFile, m_strFolder + L"\\Second File.txt"};
    WriteTextFile(vecFiles[1], "y");
    CommandNode tree = OpenTree(vecFiles);
    ASSERT_EQ(14u, tree.vecChildren.size());
    CInterfacePtr<IDataObject> wide(CreateHDropDataObject(vecFiles));
    CInterfacePtr<IDataObject> narrow(CreateHDropDataObject(vecFiles, true, false));
    CDataObjectArray array(m_selection.Get(), wide.Get());

    CInterfacePtr<IExplorerCommand> fresh;
    std::string strError;
    ASSERT_TRUE(CreateExplorerCommand(CommandDllPath(), kCommandClsid, m_dll, fresh, strError)) << strError;
    EXPCMDSTATE state = ECS_HIDDEN;
    EXPECT_EQ(S_OK, fresh->GetState(&array, TRUE, &state));
    EXPECT_EQ(ECS_ENABLED, state);
    StandinLog log;
    ASSERT_EQ(S_OK, tree.vecChildren[3].command->Invoke(&array, nullptr));
    ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return !WithoutHandOffs(log.Read()).empty(); }));
    EXPECT_EQ(SelectionBytes(vecFiles), WithoutHandOffs(log.Read())[0].vecSelection);
    EXPECT_EQ(0, array.m_nItemCalls) << "no call reached an item";

    auto* pClassic = new CComObject<CSimpleShlExt>();
    pClassic->AddRef();
    EXPECT_EQ(S_OK, pClassic->Initialize(nullptr, wide.Get(), nullptr));
    const uint64_t nKey = SelectionKeyOfPaths(pClassic->SelectedFiles());
    pClassic->Release();
    CDataObjectArray narrowArray(m_selection.Get(), narrow.Get());
    CDataObjectArray walked(m_selection.Get(), nullptr);
    EXPECT_EQ(nKey, SelectionKeyOfItems(&array));
    EXPECT_EQ(nKey, SelectionKeyOfItems(&narrowArray));
    EXPECT_EQ(nKey, SelectionKeyOfItems(&walked));
    EXPECT_GT(walked.m_nItemCalls, 0) << "without a data object the items are walked";
    // The selection file's bytes from the block, wide or 8-bit, and from the walk.
    for (IShellItemArray* pArray : {static_cast<IShellItemArray*>(&array), static_cast<IShellItemArray*>(&narrowArray),
                                    static_cast<IShellItemArray*>(&walked)})
    {
        SelectionFileEncoder encoder;
        EXPECT_EQ(vecFiles.size(), EncodeFileSystemPaths(pArray, encoder));
        EXPECT_EQ(SelectionBytes(vecFiles), encoder.Bytes());
    }
    // A list that runs off its block hands over no names, and no item is
    // asked instead: nothing is chosen for a selection that cannot be read.
    CInterfacePtr<IDataObject> cut(
        CreateRawHDropDataObject(DropFilesBlock(20, true, Utf16Bytes(std::wstring(L"C:\\a.txt\0", 9)))));
    CDataObjectArray cutArray(m_selection.Get(), cut.Get());
    SelectionFileEncoder encoder;
    EXPECT_EQ(0u, EncodeFileSystemPaths(&cutArray, encoder));
    EXPECT_EQ(E_INVALIDARG, tree.vecChildren[3].command->Invoke(&cutArray, nullptr));
    EXPECT_EQ(0, cutArray.m_nItemCalls);
}

// A stale OrvanePath starts nothing and shows nothing: no message box over
// Explorer from the classic handler, none from the companion program.
TEST_F(ExplorerCommandTest, AStaleOrvanePathShowsNoWindow)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    ProductKey machine(HKEY_LOCAL_MACHINE);
    machine.SetString(L"OrvanePath", m_strFolder + L"\\missing\\Orvane.exe");
    CommandNode tree = OpenTree({m_strFile});
    ASSERT_EQ(14u, tree.vecChildren.size());
    CInterfacePtr<IDataObject> data(CreateHDropDataObject({m_strFile}));
    auto* pClassic = new CComObject<CSimpleShlExt>();
    pClassic->AddRef();
    ASSERT_EQ(S_OK, pClassic->Initialize(nullptr, data.Get(), nullptr));
    HMENU hMenu = ::CreatePopupMenu();
    pClassic->QueryContextMenu(hMenu, 0, 1, 0x7FFF, CMF_NORMAL);
    // On a thread of its own: a message box would hold the call.
    HANDLE hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CMINVOKECOMMANDINFO info = {sizeof(info)};
        info.lpVerb = MAKEINTRESOURCEA(3);
        pClassic->InvokeCommand(&info);
        tree.vecChildren[3].command->Invoke(m_selection.Get(), nullptr);
        ::CoUninitialize();
        ::SetEvent(hDone);
    });
    const bool bReturned = ::WaitForSingleObject(hDone, 8000) == WAIT_OBJECT_0;
    PumpMessagesFor(3000);  // the companion's attempt
    std::vector<HWND> vecBoxes;
    ::EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            wchar_t szClass[16] = {};
            if (::GetClassNameW(hWnd, szClass, 16) > 0 && lstrcmpW(szClass, L"#32770") == 0)
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&vecBoxes));
    for (HWND hBox : vecBoxes)
        ::PostMessageW(hBox, WM_CLOSE, 0, 0);
    worker.join();
    ::CloseHandle(hDone);
    ::DestroyMenu(hMenu);
    pClassic->Release();
    EXPECT_TRUE(bReturned) << "the starts returned at once";
    EXPECT_TRUE(vecBoxes.empty()) << vecBoxes.size() << " message boxes";
}

// "Show more options" builds the classic menu, where the classic handler
// adds its entry, and offers the command in the folder view's site too.
TEST_F(ExplorerCommandTest, EveryMenuHasOneMarkFile)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    CInterfacePtr<IShellItemArray> selection(CreateShellItemArray({m_strFile}));
    ASSERT_TRUE(selection);
    ASSERT_EQ(L"Mark File", BuildClassicMenu(m_strFile).strEntry) << "the classic handler's entry";
    // Only classic menus hold the classic handlers' entries.
    for (HostSite eSite : {HostSite::Classic, HostSite::None, HostSite::Tree})
    {
        const bool bShown = StateInSite(eSite != HostSite::None, HostSiteWindowClass(eSite), SiteReach::Direct, FALSE,
                                        selection.Get()) == ECS_ENABLED;
        EXPECT_EQ(1, (eSite == HostSite::Classic ? 1 : 0) + (bShown ? 1 : 0)) << static_cast<int>(eSite);
    }
}

// The HiddenMenuItems policy, set machine-wide: both front ends leave the
// same items out, keep the separators between what is left, and every other
// item keeps its offset and record, and so its hand-off.
TEST_F(ExplorerCommandTest, HiddenMenuItemsLeaveTheRestAsTheyWere)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    const ClassicMenu full = BuildClassicMenu(m_strFile);
    struct CPolicy
    {
        ~CPolicy()
        {
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kShellExtPolicyKey, L"HiddenMenuItems");
            ForgetShellExtSwitches();
        }
    } policy;
    const struct
    {
        DWORD dwHidden;
        std::vector<std::wstring> vecCaptions;  // "" a separator
    } cases[] = {
        {0x249, {L"Low Priority", L"Planned Work", L"Approved", L"Rejected", L"", L"Green", L"Blue", L"",
                 L"Restore Default", L"More Icons"}},
        {0x23F, {L"Red", L"Green", L"Blue", L"", L"Restore Default", L"More Icons"}},
        {0x3FF, {L"Restore Default", L"More Icons"}},
        {0x3CF, {L"Approved", L"Rejected", L"", L"Restore Default", L"More Icons"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwHidden);
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kShellExtPolicyKey, L"HiddenMenuItems",
                                                   REG_DWORD, &c.dwHidden, sizeof(c.dwHidden)));
        ForgetShellExtSwitches();
        const ClassicMenu classic = BuildClassicMenu(m_strFile);
        std::vector<std::wstring> vecShown;
        for (size_t i = 0; i < classic.vecCaptions.size(); ++i)
            vecShown.push_back(classic.vecSeparators[i] ? L"" : classic.vecCaptions[i]);
        EXPECT_EQ(c.vecCaptions, vecShown);
        ASSERT_EQ(full.vecRecords.size(), classic.vecRecords.size());
        for (size_t k = 0; k < classic.vecRecords.size(); ++k)
        {
            const MenuItemRecord& r = classic.vecRecords[k];
            const MenuItemRecord& w = (c.dwHidden >> k & 1) ? MenuItemRecord{} : full.vecRecords[k];
            EXPECT_TRUE(r.nType == w.nType && r.crColor == w.crColor && r.nIconIndex == w.nIconIndex) << k;
        }

        // The command DLL keeps its own copy of the switches: loaded afresh.
        m_top.Reset();
        m_selection.Reset();
        m_dll.Reset();
        CommandNode tree = OpenTree({m_strFile});
        std::vector<std::wstring> vecTitles;
        for (const CommandNode& child : tree.vecChildren)
            vecTitles.push_back(child.flags == ECF_ISSEPARATOR ? L"" : child.strTitle);
        EXPECT_EQ(c.vecCaptions, vecTitles);
    }
    // "Approved", offset 4, hands off what it handed off with nothing hidden.
    PumpMessagesUntil(12000, [] { return g_pModule->GetModuleLockCount() == 0; });
    StandinLog log;
    CommandNode tree = OpenTree({m_strFile});
    ASSERT_FALSE(tree.vecChildren.empty());
    ASSERT_EQ(L"Approved", tree.vecChildren[0].strTitle);
    ASSERT_EQ(S_OK, tree.vecChildren[0].command->Invoke(m_selection.Get(), nullptr));
    ASSERT_TRUE(PumpMessagesUntil(kStartWaitMs, [&] { return !WithoutHandOffs(log.Read()).empty(); }));
    const StandinStart start = WithoutHandOffs(log.Read())[0];
    EXPECT_EQ(L"-oi \"" + start.vecArgs[1] + L"\" \"" + installation.IconLibrary() + L"\" 6", ParametersOf(start));
}

// The classic handler's trace, in this process: the command's own, in the
// command DLL, is driven through the shell host (shellhost_test.sh).
class TraceSwitchTest : public CommandTestBase
{
protected:
    void SetUp() override
    {
        CommandTestBase::SetUp();
        wchar_t szLocal[MAX_PATH] = {};
        ::GetEnvironmentVariableW(L"LOCALAPPDATA", szLocal, MAX_PATH);
        m_strSavedLocal = szLocal;
        m_strLocal = MakeTempFolder(L"trace");
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", m_strLocal.c_str());
        m_strLog = m_strLocal + L"\\Kelvoss\\Orvane\\shellext-trace.log";
    }

    void TearDown() override
    {
        SetTraceSwitch(0);
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", m_strSavedLocal.empty() ? nullptr : m_strSavedLocal.c_str());
        DeleteFolderTree(m_strLocal);
        CommandTestBase::TearDown();
    }

    static void SetTraceSwitch(DWORD dwValue)
    {
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, kShellExtSwitchesKey, L"Trace", REG_DWORD,
                                                   &dwValue, sizeof(dwValue)));
        ForgetShellExtSwitches();
    }

    // One right-click's calls on the classic handler: their results, and
    // the last error Initialize leaves.
    std::vector<HRESULT> RightClick()
    {
        auto* pObject = new CComObject<CSimpleShlExt>();
        pObject->AddRef();
        IDataObject* pData = CreateHDropDataObject({m_strFile});
        ::SetLastError(12345);
        std::vector<HRESULT> vecResults = {pObject->Initialize(nullptr, pData, nullptr)};
        vecResults.push_back(static_cast<HRESULT>(::GetLastError()));
        pData->Release();
        HMENU hHost = ::CreatePopupMenu();
        vecResults.push_back(pObject->QueryContextMenu(hHost, 0, 1, 0x7FFF, CMF_NORMAL));
        ::DestroyMenu(hHost);
        ClearMenuBitmapList();
        pObject->Release();
        return vecResults;
    }

    std::string ReadLog(const std::wstring& strPath)
    {
        const std::vector<uint8_t> vecBytes = ReadFileBytes(strPath);
        return std::string(vecBytes.begin(), vecBytes.end());
    }

    std::wstring m_strSavedLocal, m_strLocal, m_strLog;
};

TEST_F(TraceSwitchTest, LinesCountTheItemsNeverNameThem)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    SetTraceSwitch(0);
    const std::vector<HRESULT> vecUntraced = RightClick();
    EXPECT_FALSE(FileExists(m_strLocal + L"\\Kelvoss")) << "off: no file work at all";

    SetTraceSwitch(1);
    EXPECT_EQ(vecUntraced, RightClick());
    const std::string strLog = ReadLog(m_strLog);
    EXPECT_NE(std::string::npos, strLog.find(" CSimpleShlExt::Initialize items=1 hr=0x00000000\r\n")) << strLog;
    EXPECT_NE(std::string::npos, strLog.find(" CSimpleShlExt::QueryContextMenu items=1 hr=0x0000000C\r\n"))
        << strLog;
    for (const char* pszPrivate : {"report", "orvtest", "\\"})
        EXPECT_EQ(std::string::npos, strLog.find(pszPrivate)) << pszPrivate << " in " << strLog;

    // Full: moved aside once, a new file begun.
    const std::string strFull(kTraceFileMaxBytes - 10, 'x');
    WriteTextFile(m_strLog, strFull);
    EXPECT_EQ(vecUntraced, RightClick());
    EXPECT_EQ(strFull.size(), ReadLog(m_strLog + L".1").size());
    EXPECT_EQ(0u, ReadLog(m_strLog).find("20")) << "a new file starts with the next line";
}

TEST_F(TraceSwitchTest, AFolderThatCannotBeWrittenChangesNothing)
{
    TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    SetTraceSwitch(0);
    const std::vector<HRESULT> vecUntraced = RightClick();
    SetTraceSwitch(1);
    const struct
    {
        const char* pszCase;
        std::function<void()> block;
    } cases[] = {
        {"a file where the vendor's folder belongs",
         [&] { WriteTextFile(m_strLocal + L"\\Kelvoss", "x"); }},
        {"a folder where the trace file belongs",
         [&] {
             ::DeleteFileW((m_strLocal + L"\\Kelvoss").c_str());
             CreateFolderTree(m_strLog);
         }},
        {"LOCALAPPDATA naming nothing", [&] { ::SetEnvironmentVariableW(L"LOCALAPPDATA", L"Q:\\nowhere"); }},
    };
    for (const auto& c : cases)
    {
        c.block();
        EXPECT_EQ(vecUntraced, RightClick()) << c.pszCase;
    }
}

}  // namespace
