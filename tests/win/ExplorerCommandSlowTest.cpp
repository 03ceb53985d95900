// The Explorer command's delayed hand-off, waited out by the real
// OrvaneShellExt.exe beside the DLL: these tests wait, so they run on their
// own.
#include <gtest/gtest.h>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/explorercommand/CommandIds.h"
#include "tests/win/ExplorerCommandSupport.h"
#include "tests/win/MenuPictures.h"

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
