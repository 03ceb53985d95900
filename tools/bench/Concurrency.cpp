// Several single-threaded apartments using the extension at once, as a host
// with more than one Explorer window does: every thread makes its own
// objects, builds menus, chooses items and asks for icons, and checks every
// answer. The first extension objects of all threads are made together.
//
// Resources are compared twice: after all rounds against the point where
// every thread had warmed up (nothing may grow: objects, handles, heap
// blocks in use), and once the threads have ended against the point before
// they started (an ended thread leaves nothing).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/bench/Modes.h"
#include "tools/bench/ResourceCounts.h"
#include "tools/bench/Timing.h"
#include "tools/common/HDropDataObject.h"

namespace {

const UINT kDoneWorkOffset = 3;
// The baseline is taken once every thread has run this many rounds and long
// enough for its first hand-off timers to have fired: what a thread sets up
// once for itself (its message queue's wait handle, the timer path) is then
// in place on both sides of the comparison.
const long kWarmupRounds = 100;
const DWORD kWarmupMilliseconds = 12000;

// All threads (and the main thread) meet here; the main thread samples the
// process while the others wait.
class CBarrier
{
public:
    explicit CBarrier(int nParties) : m_nParties(nParties)
    {
        ::InitializeCriticalSection(&m_lock);
        ::InitializeConditionVariable(&m_changed);
    }
    ~CBarrier() { ::DeleteCriticalSection(&m_lock); }
    CBarrier(const CBarrier&) = delete;
    CBarrier& operator=(const CBarrier&) = delete;

    void Wait()
    {
        ::EnterCriticalSection(&m_lock);
        const long nGeneration = m_nGeneration;
        if (++m_nArrived == m_nParties)
        {
            m_nArrived = 0;
            ++m_nGeneration;
            ::WakeAllConditionVariable(&m_changed);
        }
        else
            while (nGeneration == m_nGeneration)
                ::SleepConditionVariableCS(&m_changed, &m_lock, INFINITE);
        ::LeaveCriticalSection(&m_lock);
    }

private:
    CRITICAL_SECTION m_lock;
    CONDITION_VARIABLE m_changed;
    int m_nParties;
    int m_nArrived = 0;
    long m_nGeneration = 0;
};

struct SharedRun
{
    const CExtensionDll* pDll;
    const BenchFixture* pFixture;
    long nRounds;
    CBarrier* pBarrier;
};

class CWorker
{
public:
    explicit CWorker(const SharedRun& run) : m_run(run) {}

    static DWORD WINAPI ThreadProc(void* pParameter)
    {
        static_cast<CWorker*>(pParameter)->Run();
        return 0;
    }

    long Failures() const { return m_nFailures; }
    const std::string& FirstFailure() const { return m_strFirstFailure; }
    long Rounds() const { return m_nRoundsDone; }

private:
    void Run()
    {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_pSelection = CreateHDropDataObject(m_run.pFixture->vecSelection);
        m_run.pBarrier->Wait();  // start together
        const DWORD dwStart = ::GetTickCount();
        bool bWarm = false;
        for (long nRound = 0; nRound < m_run.nRounds; ++nRound)
        {
            if (!bWarm && nRound >= kWarmupRounds && ::GetTickCount() - dwStart >= kWarmupMilliseconds)
            {
                // The thread waits on its queue here as it will at the end.
                PumpMessagesFor(200);
                m_run.pBarrier->Wait();  // the main thread takes its baseline
                bWarm = true;
            }
            RunRound(nRound);
            PumpPendingMessages();
            ++m_nRoundsDone;
        }
        if (!bWarm)
        {
            const DWORD dwElapsed = ::GetTickCount() - dwStart;
            PumpMessagesFor(dwElapsed < kWarmupMilliseconds ? kWarmupMilliseconds - dwElapsed : 0);
            m_run.pBarrier->Wait();
        }
        PumpMessagesFor(10500);  // this thread's hand-off timers fire
        m_run.pBarrier->Wait();  // done: the main thread samples again
        m_run.pBarrier->Wait();  // and lets the threads end
        m_pSelection->Release();
        ::CoUninitialize();
    }

    void Expect(bool bHolds, const char* pszWhat, long nRound)
    {
        if (bHolds)
            return;
        if (m_nFailures++ == 0)
            m_strFirstFailure = std::string(pszWhat) + " (round " + std::to_string(nRound) + ")";
    }

    // Every picture of the menu is a live bitmap: another thread's build
    // must never have deleted it.
    bool PicturesAlive(HMENU hHost)
    {
        HMENU hSubmenu = ::GetSubMenu(hHost, kIndexMenu);
        const UINT nPictured[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10};
        for (UINT nPosition : nPictured)
            if (!BitmapAlive(hSubmenu, nPosition))
                return false;
        return BitmapAlive(hHost, kIndexMenu);
    }

    static bool BitmapAlive(HMENU hMenu, UINT nPosition)
    {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_CHECKMARKS;
        return ::GetMenuItemInfoW(hMenu, nPosition, TRUE, &info) && info.hbmpUnchecked != nullptr &&
               ::GetObjectType(info.hbmpUnchecked) == OBJ_BITMAP;
    }

    // The identifiers of the last items, by the extended flag.
    static bool MenuShapeHolds(HMENU hHost, bool bExtended)
    {
        HMENU hSubmenu = ::GetSubMenu(hHost, kIndexMenu);
        if (hSubmenu == nullptr || ::GetMenuItemCount(hSubmenu) != 14 || ::GetMenuItemID(hSubmenu, 0) != kIdCmdFirst)
            return false;
        if (!bExtended)
            return ::GetMenuItemID(hSubmenu, 12) == kIdCmdFirst + 10 && ::GetMenuItemID(hSubmenu, 13) == kIdCmdFirst + 11;
        HMENU hExtended = ::GetSubMenu(hSubmenu, 12);
        return hExtended != nullptr && ::GetMenuItemCount(hExtended) == 3 &&
               ::GetMenuItemID(hExtended, 0) == kIdCmdFirst + 10 && ::GetMenuItemID(hExtended, 2) == kIdCmdFirst + 12 &&
               ::GetMenuItemID(hSubmenu, 13) == kIdCmdFirst + 13;
    }

    void RunRound(long nRound)
    {
        ExtensionObject object;
        if (FAILED(CreateExtensionObject(*m_run.pDll, object)))
        {
            Expect(false, "an extension object", nRound);
            return;
        }
        Expect(object.init->Initialize(nullptr, m_pSelection, nullptr) == S_OK, "Initialize", nRound);

        const bool bExtended = (nRound % 2) == 1;
        HMENU hHost = MakeHostMenu();
        const HRESULT hr = object.menu->QueryContextMenu(hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast,
                                                         bExtended ? CMF_EXTENDEDVERBS : CMF_NORMAL);
        Expect(hr == MAKE_HRESULT(SEVERITY_SUCCESS, 0, bExtended ? 14 : 12), "QueryContextMenu result", nRound);
        Expect(MenuShapeHolds(hHost, bExtended), "menu items and identifiers", nRound);
        Expect(PicturesAlive(hHost), "menu pictures after the build", nRound);

        Expect(InvokeOffset(object.menu.Get(), kDoneWorkOffset) == S_OK, "InvokeCommand of Done Work", nRound);
        Expect(InvokeOffset(object.menu.Get(), 40) == E_INVALIDARG, "InvokeCommand beyond the items", nRound);

        const IconCase* const pCases[] = {&m_run.pFixture->marked, &m_run.pFixture->plain, &m_run.pFixture->cached};
        for (const IconCase* pCase : pCases)
        {
            Expect(object.file->Load(pCase->strFile.c_str(), STGM_READ) == S_OK, "Load", nRound);
            wchar_t szLocation[MAX_PATH] = {};
            int nIndex = -1;
            UINT uFlags = 0;
            Expect(object.icon->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags) == S_OK &&
                       IconLocationIs(*pCase, szLocation, nIndex),
                   "GetIconLocation", nRound);
        }
        // Other threads have built menus meanwhile.
        Expect(PicturesAlive(hHost), "menu pictures while other threads build", nRound);
        ::DestroyMenu(hHost);
    }

    SharedRun m_run;
    IDataObject* m_pSelection = nullptr;
    long m_nFailures = 0;
    long m_nRoundsDone = 0;
    std::string m_strFirstFailure;
};

// The extension used on the main thread, without a selection (so without a
// hand-off timer): a menu and the three icon requests. What the process sets
// up once (registry roots, caches) is then in place before the threads
// start, and the build after they ended deletes whatever they left.
bool UseOnThisThread(const CExtensionDll& dll, const BenchFixture& fixture)
{
    ExtensionObject object;
    if (FAILED(CreateExtensionObject(dll, object)))
        return false;
    HMENU hHost = MakeHostMenu();
    bool bAsExpected =
        object.menu->QueryContextMenu(hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast, CMF_NORMAL) ==
        MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12);
    ::DestroyMenu(hHost);
    for (const IconCase* pCase : {&fixture.marked, &fixture.plain, &fixture.cached})
    {
        wchar_t szLocation[MAX_PATH] = {};
        int nIndex = -1;
        UINT uFlags = 0;
        bAsExpected = bAsExpected && object.file->Load(pCase->strFile.c_str(), STGM_READ) == S_OK &&
                      object.icon->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags) == S_OK &&
                      IconLocationIs(*pCase, szLocation, nIndex);
    }
    return bAsExpected;
}

// The first named object a process looks for makes the system open the
// session's object directory and keep that handle for the life of the
// process; Initialize's look for a pending hand-off is such a first use.
void OpenNamedObjectDirectory()
{
    HANDLE hMapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, L"Local\\Kelvoss.Orvane.Bench.NoSuchObject");
    if (hMapping != nullptr)
        ::CloseHandle(hMapping);
}

void PrintCounts(const char* pszWhen, const ResourceCounts& counts)
{
    printf("%-44s gdi %6ld  user %6ld  handles %6ld  private %8llu KiB\n", pszWhen, counts.nGdiObjects,
           counts.nUserObjects, counts.nHandles, static_cast<unsigned long long>(counts.cbPrivate / 1024));
    fflush(stdout);
}

}  // namespace

int RunConcurrency(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options)
{
    printf("%s", DescribeResourceMethods().c_str());
    const int nThreads = static_cast<int>(options.nThreads);
    CBarrier barrier(nThreads + 1);
    SharedRun run = {&dll, &fixture, options.nRounds, &barrier};
    std::vector<CWorker> vecWorkers(nThreads, CWorker(run));
    std::vector<HANDLE> vecThreads;

    const bool bMainBuilt = UseOnThisThread(dll, fixture);
    OpenNamedObjectDirectory();
    const ResourceCounts before = SampleResources();
    PrintCounts("before the threads", before);
    const std::string strHandlesBefore = DescribeHandleTypes();
    for (CWorker& worker : vecWorkers)
        vecThreads.push_back(::CreateThread(nullptr, 0, CWorker::ThreadProc, &worker, 0, nullptr));
    const double dStart = NowMicroseconds();
    barrier.Wait();  // go

    barrier.Wait();  // every thread has done its warm-up rounds
    const ResourceCounts warm = SampleResources();
    const HeapUsage warmHeap = SampleHeapUsage();
    PrintCounts("after the warm-up rounds (baseline)", warm);
    const std::string strHandlesWarm = DescribeHandleTypes();
    barrier.Wait();  // all rounds done, timers fired
    const double dSeconds = (NowMicroseconds() - dStart) / 1e6;
    const ResourceCounts done = SampleResources();
    const HeapUsage doneHeap = SampleHeapUsage();
    PrintCounts("after all rounds and hand-off timers", done);
    if (done.nHandles > warm.nHandles)
        printf("handles at the baseline: %s\nhandles after all rounds: %s\n", strHandlesWarm.c_str(),
               DescribeHandleTypes().c_str());
    barrier.Wait();
    ::WaitForMultipleObjects(static_cast<DWORD>(vecThreads.size()), vecThreads.data(), TRUE, INFINITE);
    for (HANDLE hThread : vecThreads)
        ::CloseHandle(hThread);
    const bool bMainRebuilt = UseOnThisThread(dll, fixture);
    const ResourceCounts ended = SampleResources();
    PrintCounts("threads ended, one more build", ended);
    if (ended.nHandles > before.nHandles)
        printf("handles before the threads: %s\nhandles after they ended: %s\n", strHandlesBefore.c_str(),
               DescribeHandleTypes().c_str());

    long nFailures = 0;
    long nRounds = 0;
    for (size_t i = 0; i < vecWorkers.size(); ++i)
    {
        nFailures += vecWorkers[i].Failures();
        nRounds += vecWorkers[i].Rounds();
        if (vecWorkers[i].Failures() != 0)
            printf("thread %zu: %ld failed checks, first: %s\n", i, vecWorkers[i].Failures(),
                   vecWorkers[i].FirstFailure().c_str());
    }
    const bool bUnloadable = dll.CanUnloadNow() == S_OK;
    // The heap's blocks in use, not committed memory or bytes: under Wine's
    // heap checking (WINEDEBUG=warn+heap) both grow by themselves, by about
    // 15 MB in a run of eight threads, while any block kept adds a block.
    const bool bNoGrowth = done.nGdiObjects <= warm.nGdiObjects && done.nUserObjects <= warm.nUserObjects &&
                           done.nHandles <= warm.nHandles && doneHeap.nBlocks <= warmHeap.nBlocks;
    const bool bNothingLeft = ended.nGdiObjects <= before.nGdiObjects && ended.nUserObjects <= before.nUserObjects &&
                              ended.nHandles <= before.nHandles;
    printf("%d threads, %ld rounds in %.1f s; %ld failed checks; DllCanUnloadNow %s; %s\n", nThreads, nRounds,
           dSeconds, nFailures, bUnloadable ? "S_OK" : "S_FALSE",
           bNoGrowth ? "no growth after the warm-up" : "GROWTH after the warm-up");
    printf("private memory after all rounds: %+lld KiB, heap in use %+lld KiB in %+ld blocks, against the baseline\n",
           (static_cast<long long>(done.cbPrivate) - static_cast<long long>(warm.cbPrivate)) / 1024,
           (static_cast<long long>(doneHeap.cbBusy) - static_cast<long long>(warmHeap.cbBusy)) / 1024,
           doneHeap.nBlocks - warmHeap.nBlocks);
    printf("left behind by the ended threads: gdi %+ld, user %+ld, handles %+ld, private %+lld KiB (%s)\n",
           ended.nGdiObjects - before.nGdiObjects, ended.nUserObjects - before.nUserObjects,
           ended.nHandles - before.nHandles,
           (static_cast<long long>(ended.cbPrivate) - static_cast<long long>(before.cbPrivate)) / 1024,
           bNothingLeft ? "no objects or handles" : "OBJECTS OR HANDLES LEFT");
    const bool bPassed = nFailures == 0 && bUnloadable && bNoGrowth && bNothingLeft && bMainBuilt && bMainRebuilt;
    printf("%s\n", bPassed ? "CONCURRENCY PASSED" : "CONCURRENCY FAILED");
    return bPassed ? 0 : 1;
}
