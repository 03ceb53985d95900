// A pending hand-off timer is code of the DLL that the system will call
// later: the DLL must not say it may be unloaded before the timer has run,
// even when the host released every object long before. Waits for the real
// ten-second timer, so it runs with the slow tests.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "tests/win/ServerTestSupport.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

const DWORD kHandOffMs = 10000;

TEST(ServerSlowTest, DllStaysInUseUntilThePendingHandOffTimerHasRun)
{
    DeleteProductKeys();
    StandinLog log;
    {
        // Only the stand-in may be started by the timer.
        ProductKey machine(HKEY_LOCAL_MACHINE);
        machine.SetString(L"OrvanePath", StandinPath());

        CServerDll dll;
        ASSERT_TRUE(dll.IsLoaded());
        IShellExtInit* pInit = nullptr;
        ASSERT_EQ(S_OK, dll.CreateInstance(CLSID_SimpleShlExt, IID_IShellExtInit, reinterpret_cast<void**>(&pInit)));
        DWORD dwStart = ::GetTickCount();
        IDataObject* pData = CreateHDropDataObject({L"C:\\marked.txt"});
        EXPECT_EQ(S_OK, pInit->Initialize(nullptr, pData, nullptr));
        pData->Release();
        EXPECT_EQ(0u, pInit->Release());

        // No object is left, but the timer is still due.
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
        bool bMayUnload = PumpMessagesUntil(kHandOffMs + 3000, [&] { return dll.CanUnloadNow() == S_OK; });
        DWORD dwElapsed = ::GetTickCount() - dwStart;
        ASSERT_TRUE(bMayUnload) << "the DLL's timer did not run";
        EXPECT_GE(dwElapsed, kHandOffMs - 100) << "the DLL was free before its timer had run";

        // By then the timer had done its work.
        std::vector<StandinStart> vecStarts = log.WaitFor(1, 3000);
        ASSERT_FALSE(vecStarts.empty());
        EXPECT_EQ(std::vector<std::wstring>{L"-ad"}, vecStarts.back().vecArgs);
        // dll unloads here, now that it may.
    }
    DeleteProductKeys();
}

}  // namespace
