// The Explorer command's delayed hand-off, waited out by the real
// OrvaneShellExt.exe beside the DLL: these tests wait, so they run on their
// own.
#include <gtest/gtest.h>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/explorercommand/CommandIds.h"
#include "ShellExt/menu/PendingHandOff.h"
#include "ShellExt/menu/SelectionKey.h"
#include "ShellExt/settings/Switches.h"
#include "tests/win/ExplorerCommandSupport.h"
#include "tests/win/MenuPictures.h"
#include "tools/shellhost/CommandSite.h"

using namespace testing_support;

namespace {

const DWORD kHandOffMs = 10000;

class ExplorerCommandSlowTest : public CommandTestBase
{
protected:
    static size_t CountHandOffs(const std::vector<StandinStart>& vecStarts)
    {
        return vecStarts.size() - WithoutHandOffs(vecStarts).size();
    }

    // A right-click of the classic handler on strFile.
    static void ClassicRightClick(const std::wstring& strFile)
    {
        auto* pClassic = new CComObject<CSimpleShlExt>();
        pClassic->AddRef();
        IDataObject* pData = CreateHDropDataObject({strFile});
        EXPECT_EQ(S_OK, pClassic->Initialize(nullptr, pData, nullptr));
        pData->Release();
        pClassic->Release();
    }

    // The new menu's command (or, with bClassicSite, one in a classic menu's
    // site) asked for its state on strFile.
    void CommandRightClick(const std::wstring& strFile, bool bClassicSite)
    {
        CInterfacePtr<IExplorerCommand> command;
        std::string strError;
        ASSERT_TRUE(CreateExplorerCommand(CommandDllPath(), ORVANE_EXPLORER_COMMAND_CLSID_INIT, m_dll, command, strError))
            << strError;
        CInterfacePtr<IUnknown> site(bClassicSite ? CreateCommandSite(L"SHELLDLL_DefView", SiteReach::Direct) : nullptr);
        CInterfacePtr<IObjectWithSite> withSite;
        if (site && SUCCEEDED(command.QueryInto(IID_IObjectWithSite, withSite)))
            withSite->SetSite(site.Get());
        CInterfacePtr<IShellItemArray> selection(CreateShellItemArray({strFile}));
        EXPCMDSTATE state = ECS_HIDDEN;
        EXPECT_EQ(S_OK, command->GetState(selection.Get(), TRUE, &state));
    }

    static std::wstring SlotName(const std::wstring& strFile)
    {
        char16_t szKey[kSelectionKeyDigits + 1];
        FormatSelectionKey(SelectionKeyOfPaths({strFile}), szKey);
        return L"Local\\Kelvoss.Orvane.HandOff." + std::wstring(szKey, szKey + kSelectionKeyDigits);
    }
};

// One right-click as Windows 11 may ask it: three command objects for the
// same selection (the new menu, a state request on another object, a
// default-verb lookup), each asking its state, a subcommand chosen; then
// "Show more options", where the classic handler sees the same selection;
// and a command asked without a selection. The waiter holds nothing of the
// DLL, and one "-ad" comes, not before ten seconds, with the chosen item's
// selection file as the fixed copy.
TEST_F(ExplorerCommandSlowTest, OneHandOffPerRightClickAcrossObjectsAndFrontEnds)
{
    menu_pictures::TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    StandinLog log;
    const DWORD dwOpened = ::GetTickCount();

    CommandNode first = OpenTree({m_strFile});
    ASSERT_EQ(14u, first.vecChildren.size());
    EXPCMDSTATE state = ECS_HIDDEN;
    EXPECT_EQ(S_OK, m_top->GetState(m_selection.Get(), FALSE, &state));
    EXPECT_EQ(S_OK, m_top->GetState(m_selection.Get(), TRUE, &state));
    EXPECT_EQ(S_OK, first.vecChildren[8].command->Invoke(m_selection.Get(), nullptr));
    first = CommandNode();
    for (int nObject = 0; nObject < 2; ++nObject)
        OpenTree({m_strFile});
    CInterfacePtr<IExplorerCommand> unopened;
    std::string strError;
    ASSERT_TRUE(CreateExplorerCommand(CommandDllPath(), ORVANE_EXPLORER_COMMAND_CLSID_INIT, m_dll, unopened, strError))
        << strError;
    EXPECT_EQ(S_OK, unopened->GetState(nullptr, TRUE, &state));
    unopened.Reset();
    m_top.Reset();
    m_selection.Reset();
    EXPECT_EQ(S_OK, Exports().CanUnloadNow()) << "the waiter holds nothing of the DLL";

    auto* pClassic = new CComObject<CSimpleShlExt>();
    pClassic->AddRef();
    IDataObject* pData = CreateHDropDataObject({m_strFile});
    EXPECT_EQ(S_OK, pClassic->Initialize(nullptr, pData, nullptr));
    pData->Release();
    pClassic->Release();

    std::vector<StandinStart> vecStarts = log.WaitFor(2, kHandOffMs + 8000);
    EXPECT_GE(::GetTickCount() - dwOpened, kHandOffMs - 200) << "not before ten seconds";
    PumpMessagesFor(3000);
    vecStarts = log.Read();
    EXPECT_EQ(1u, CountHandOffs(vecStarts)) << "exactly one per right-click";
    ASSERT_EQ(1u, WithoutHandOffs(vecStarts).size());
    const StandinStart chosen = WithoutHandOffs(vecStarts)[0];
    for (const StandinStart& start : vecStarts)
        if (start.vecArgs == std::vector<std::wstring>{L"-ad"})
            EXPECT_EQ(chosen.vecSelection, start.vecCopy) << "the fixed copy is the newest selection file";
}

}  // namespace

namespace {

// Right-click A, close the menu, right-click B and choose an item: both
// "-ad" starts copy B's selection file, the newest, never the one of A's
// right-click. Then every order of the two front ends, with the switch
// ShowCommandInClassicMenus off and on, gives one "-ad" per right-click,
// and so do slots that another program made first: one of another owner,
// and an object of another kind with a path written in.
TEST_F(ExplorerCommandSlowTest, HandOffsCannotGoStaleOrBeSteered)
{
    menu_pictures::TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    std::vector<std::wstring> vecFiles;
    for (const wchar_t* pszName : {L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"})
    {
        vecFiles.push_back(m_strFolder + L"\\" + pszName + L".txt");
        WriteTextFile(vecFiles.back(), "x");
    }
    {
        StandinLog log;
        CommandRightClick(vecFiles[0], false);
        CommandNode tree = OpenTree({vecFiles[1]});
        ASSERT_EQ(14u, tree.vecChildren.size());
        EXPECT_EQ(S_OK, tree.vecChildren[3].command->Invoke(m_selection.Get(), nullptr));
        // The chosen item's start and both waiters', then long enough for a
        // third waiter: a late one would be counted with the right-clicks below.
        log.WaitFor(3, kHandOffMs + 30000);
        PumpMessagesFor(3000);
        const std::vector<StandinStart> vecStarts = log.Read();
        EXPECT_EQ(2u, CountHandOffs(vecStarts));
        for (const StandinStart& start : vecStarts)
            EXPECT_EQ(SelectionBytes({vecFiles[1]}), start.vecCopy) << WideToUtf8(start.vecArgs[0]);
    }

    StandinLog log;
    // c: the name made first under another owner, open to everyone.
    BYTE abAdmins[SECURITY_MAX_SID_SIZE];
    DWORD cbAdmins = sizeof(abAdmins);
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, abAdmins, &cbAdmins));
    ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                ::SetSecurityDescriptorOwner(&descriptor, abAdmins, FALSE) &&
                ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    CKernelHandle hForeign(::CreateEventW(&attributes, TRUE, FALSE, SlotName(vecFiles[2]).c_str()));
    ASSERT_TRUE(hForeign);
    // d: a mapping of that name with another file's path written in.
    const std::wstring strPlanted = m_strFolder + L"\\planted.dat";
    WriteTextFile(strPlanted, "planted");
    CKernelHandle hMapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                SlotName(vecFiles[3]).c_str()));
    ASSERT_TRUE(hMapping);
    void* pView = ::MapViewOfFile(hMapping.Get(), FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_NE(nullptr, pView);
    memcpy(static_cast<BYTE*>(pView) + 8, strPlanted.c_str(), (strPlanted.size() + 1) * sizeof(wchar_t));
    ::UnmapViewOfFile(pView);

    CommandRightClick(vecFiles[2], false);
    ClassicRightClick(vecFiles[2]);
    CommandRightClick(vecFiles[3], false);
    ClassicRightClick(vecFiles[4]);  // switch off: "Show more options" first, then the new menu
    CommandRightClick(vecFiles[4], false);
    CommandRightClick(vecFiles[5], false);  // the new menu first
    ClassicRightClick(vecFiles[5]);
    const DWORD dwOn = 1;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, kShellExtSwitchesKey, L"ShowCommandInClassicMenus",
                                               REG_DWORD, &dwOn, sizeof(dwOn)));
    PumpMessagesFor(2200);  // the switches each process read are two seconds old at most
    ClassicRightClick(vecFiles[6]);  // switch on: both front ends in the classic menu
    CommandRightClick(vecFiles[6], true);
    CommandRightClick(vecFiles[7], true);
    ClassicRightClick(vecFiles[7]);
    // The waiters are programs of their own: under emulation each takes
    // seconds to start, so wait for all six, then long enough for a seventh.
    log.WaitFor(6, kHandOffMs + 30000);
    PumpMessagesFor(3000);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellExtSwitchesKey, L"ShowCommandInClassicMenus");
    const std::vector<StandinStart> vecStarts = log.Read();
    EXPECT_EQ(6u, CountHandOffs(vecStarts)) << "one for each of c to h";
    for (const StandinStart& start : vecStarts)
        EXPECT_NE(std::vector<uint8_t>({'p', 'l', 'a', 'n', 't', 'e', 'd'}), start.vecCopy);
}

}  // namespace
