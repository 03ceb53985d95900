// The Explorer command's delayed hand-off with real ten-second thread-pool
// timers: these tests wait, so they run on their own.
#include <gtest/gtest.h>

#include "ShellExt/explorercommand/CommandIds.h"
#include "tests/win/ExplorerCommandSupport.h"
#include "tests/win/MenuPictures.h"

using namespace testing_support;

namespace {

const DWORD kHandOffMs = 10000;

class ExplorerCommandSlowTest : public CommandTestBase
{
protected:
    HRESULT CanUnloadNow() const
    {
        using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
        auto pfn = reinterpret_cast<CanUnloadNowFn>(
            reinterpret_cast<void*>(::GetProcAddress(m_dll.Get(), "DllCanUnloadNow")));
        return pfn();
    }

    static size_t CountHandOffs(const std::vector<StandinStart>& vecStarts)
    {
        return vecStarts.size() - WithoutHandOffs(vecStarts).size();
    }
};

TEST_F(ExplorerCommandSlowTest, OneHandOffPerOpeningHoldingTheModuleUntilItFires)
{
    menu_pictures::TestInstallation installation;
    UseInstallation(installation.Dir(), nullptr);
    StandinLog log;
    const DWORD dwOpened = ::GetTickCount();

    // Opening one: Explorer asks the state again (fast, then slow), and a
    // colour is chosen; its selection file is the newest of the process.
    CommandNode first = OpenTree({m_strFile});
    ASSERT_EQ(14u, first.vecChildren.size());
    EXPCMDSTATE state = ECS_HIDDEN;
    EXPECT_EQ(S_OK, m_top->GetState(m_selection.Get(), FALSE, &state));
    EXPECT_EQ(S_OK, m_top->GetState(m_selection.Get(), TRUE, &state));
    EXPECT_EQ(S_OK, first.vecChildren[8].command->Invoke(m_selection.Get(), nullptr));
    first = CommandNode();
    // Opening two; a third command asked without a selection is no opening.
    CommandNode second = OpenTree({m_strFile});
    second = CommandNode();
    CInterfacePtr<IExplorerCommand> unopened;
    std::string strError;
    ASSERT_TRUE(CreateExplorerCommand(CommandDllPath(), ORVANE_EXPLORER_COMMAND_CLSID_INIT, m_dll, unopened, strError))
        << strError;
    EXPECT_EQ(S_OK, unopened->GetState(nullptr, TRUE, &state));
    unopened.Reset();
    m_top.Reset();
    m_selection.Reset();

    // Nothing of ours is alive but the two pending hand-offs.
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    std::vector<StandinStart> vecStarts = log.WaitFor(3, kHandOffMs + 5000);
    const DWORD dwElapsed = ::GetTickCount() - dwOpened;
    EXPECT_GE(dwElapsed, kHandOffMs - 200) << "not before ten seconds";
    PumpMessagesFor(2000);
    vecStarts = log.Read();
    EXPECT_EQ(2u, CountHandOffs(vecStarts)) << "exactly one per opening";
    ASSERT_EQ(1u, WithoutHandOffs(vecStarts).size());
    const StandinStart chosen = WithoutHandOffs(vecStarts)[0];
    for (const StandinStart& start : vecStarts)
        if (start.vecArgs == std::vector<std::wstring>{L"-ad"})
            EXPECT_EQ(chosen.vecSelection, start.vecCopy) << "the fixed copy is the newest selection file";
    EXPECT_EQ(S_OK, CanUnloadNow()) << "the lock went with the last hand-off";
}

}  // namespace
