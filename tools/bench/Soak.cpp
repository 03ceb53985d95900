// Endurance: many menu builds and icon requests in one process, with the
// process's objects, handles and memory sampled along the way. After the
// first builds (caches filled, lists at their size) nothing may grow.
#include <cstdio>
#include <vector>

#include "tools/bench/Modes.h"
#include "tools/bench/ResourceCounts.h"
#include "tools/bench/Timing.h"
#include "tools/common/HDropDataObject.h"

namespace {

const UINT kDoneWorkOffset = 3;

enum BuildStep
{
    kStepCreate,
    kStepInitialize,
    kStepQueryContextMenu,
    kStepInvokeCommand,
    kStepRelease,
    kStepTimers,
    kStepCount
};

const char* const kStepNames[kStepCount] = {"create", "Initialize", "QueryContextMenu", "InvokeCommand",
                                           "menu and object released", "hand-off timers run"};

class CStepClock
{
public:
    explicit CStepClock(double* pdTotals) : m_pdTotals(pdTotals), m_dLast(NowMicroseconds()) {}
    void Lap(BuildStep step)
    {
        const double dNow = NowMicroseconds();
        m_pdTotals[step] += dNow - m_dLast;
        m_dLast = dNow;
    }

private:
    double* m_pdTotals;
    double m_dLast;
};

struct SoakSample
{
    long nIteration;
    double dSeconds;
    ResourceCounts counts;
};

class CSoak
{
public:
    CSoak(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options)
        : m_dll(dll), m_fixture(fixture), m_options(options)
    {
    }

    int Run()
    {
        printf("%s", DescribeResourceMethods().c_str());
        std::string strSelfTest;
        const bool bCountsWork = SelfTestResourceCounts(strSelfTest);
        printf("%s", strSelfTest.c_str());
        if (!bCountsWork)
        {
            printf("FAILED: a resource count does not see objects come and go\n");
            return 1;
        }

        m_pSelection = CreateHDropDataObject(m_fixture.vecSelection);
        bool bHolds = RunPhase("menu builds", m_options.nBuilds, [&](long i) { BuildMenu(i); });
        PrintBuildSteps();
        bHolds = RunPhase("icon requests", m_options.nIconRequests, [&](long i) {
            RequestIcon(i);
            PumpPendingMessages();
        }) && bHolds;
        m_pSelection->Release();

        // The last hand-off timers fire; then every lock must be gone.
        PumpMessagesFor(11000);
        const ResourceCounts final = SampleResources();
        printf("after the hand-off timers: gdi %ld, user %ld, handles %ld, private %llu KiB; DllCanUnloadNow %s\n",
               final.nGdiObjects, final.nUserObjects, final.nHandles,
               static_cast<unsigned long long>(final.cbPrivate / 1024),
               m_dll.CanUnloadNow() == S_OK ? "S_OK" : "S_FALSE");
        Expect(m_dll.CanUnloadNow() == S_OK, "DllCanUnloadNow answers S_OK once objects and timers are gone");
        Expect(NoGrowth(m_lastBaseline, final), "nothing grew by the end");

        printf("%s: %ld failed checks, %s\n", bHolds && m_nFailures == 0 ? "SOAK PASSED" : "SOAK FAILED",
               m_nFailures, bHolds ? "no growth after the baseline" : "GROWTH after the baseline");
        return bHolds && m_nFailures == 0 ? 0 : 1;
    }

private:
    void Expect(bool bHolds, const char* pszWhat)
    {
        if (bHolds)
            return;
        if (++m_nFailures <= 20)
            printf("CHECK FAILED: %s\n", pszWhat);
    }

    bool NoGrowth(const ResourceCounts& base, const ResourceCounts& now) const
    {
        return now.nGdiObjects <= base.nGdiObjects && now.nUserObjects <= base.nUserObjects &&
               now.nHandles <= base.nHandles && now.cbPrivate <= base.cbPrivate + m_cbMemorySlack;
    }

    template <class Step>
    bool RunPhase(const char* pszPhase, long nIterations, Step step)
    {
        printf("\n%s: %ld, sampled at %ld and every %ld\n", pszPhase, nIterations, m_options.nBaseline,
               m_options.nEvery);
        printf("%10s %9s %8s %8s %8s %12s\n", "iteration", "seconds", "gdi", "user", "handles", "private KiB");
        std::vector<SoakSample> vecSamples;
        const double dStart = NowMicroseconds();
        for (long i = 1; i <= nIterations; ++i)
        {
            step(i);
            if (i == m_options.nBaseline || i % m_options.nEvery == 0 || i == nIterations)
            {
                SoakSample sample = {i, (NowMicroseconds() - dStart) / 1e6, SampleResources()};
                printf("%10ld %9.1f %8ld %8ld %8ld %12llu\n", sample.nIteration, sample.dSeconds,
                       sample.counts.nGdiObjects, sample.counts.nUserObjects, sample.counts.nHandles,
                       static_cast<unsigned long long>(sample.counts.cbPrivate / 1024));
                fflush(stdout);
                vecSamples.push_back(sample);
            }
        }
        const double dSeconds = (NowMicroseconds() - dStart) / 1e6;
        printf("%s: %.1f s, %.1f us each\n", pszPhase, dSeconds, dSeconds * 1e6 / static_cast<double>(nIterations));

        bool bHolds = true;
        const SoakSample* pBase = nullptr;
        for (const SoakSample& sample : vecSamples)
        {
            if (sample.nIteration == m_options.nBaseline)
                pBase = &sample;
            else if (pBase != nullptr && !NoGrowth(pBase->counts, sample.counts))
            {
                printf("GROWTH at %ld: gdi %+ld, user %+ld, handles %+ld, private %+lld KiB\n", sample.nIteration,
                       sample.counts.nGdiObjects - pBase->counts.nGdiObjects,
                       sample.counts.nUserObjects - pBase->counts.nUserObjects,
                       sample.counts.nHandles - pBase->counts.nHandles,
                       (static_cast<long long>(sample.counts.cbPrivate) - static_cast<long long>(pBase->counts.cbPrivate)) / 1024);
                bHolds = false;
            }
        }
        if (pBase != nullptr)
            m_lastBaseline = pBase->counts;
        if (!m_options.strOutPrefix.empty())
            AppendCsv(pszPhase, vecSamples);
        return bHolds;
    }

    void AppendCsv(const char* pszPhase, const std::vector<SoakSample>& vecSamples)
    {
        FILE* pFile = _wfopen((m_options.strOutPrefix + L".csv").c_str(), m_bCsvStarted ? L"ab" : L"wb");
        if (pFile == nullptr)
            return;
        if (!m_bCsvStarted)
            fprintf(pFile, "arch,phase,iteration,seconds,gdi_objects,user_objects,handles,private_kib\n");
        m_bCsvStarted = true;
        for (const SoakSample& sample : vecSamples)
            fprintf(pFile, "%s,%s,%ld,%.2f,%ld,%ld,%ld,%llu\n", sizeof(void*) == 8 ? "x64" : "x86", pszPhase,
                    sample.nIteration, sample.dSeconds, sample.counts.nGdiObjects, sample.counts.nUserObjects,
                    sample.counts.nHandles, static_cast<unsigned long long>(sample.counts.cbPrivate / 1024));
        fclose(pFile);
    }

    // One right-click on two files: a new object, the selection, the menu
    // (plain and extended in turn), a chosen item, and the object released.
    // Each step's time is added up, to show where a build's time goes.
    void BuildMenu(long i)
    {
        CStepClock clock(m_dBuildSteps);
        {
            ExtensionObject object;
            if (FAILED(CreateExtensionObject(m_dll, object)))
            {
                Expect(false, "an extension object");
                return;
            }
            clock.Lap(kStepCreate);
            Expect(object.init->Initialize(nullptr, m_pSelection, nullptr) == S_OK, "Initialize");
            clock.Lap(kStepInitialize);
            const bool bExtended = (i % 2) == 0;
            HMENU hHost = MakeHostMenu();
            const HRESULT hr = object.menu->QueryContextMenu(hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast,
                                                             bExtended ? CMF_EXTENDEDVERBS : CMF_NORMAL);
            Expect(hr == MAKE_HRESULT(SEVERITY_SUCCESS, 0, bExtended ? 14 : 12), "QueryContextMenu");
            clock.Lap(kStepQueryContextMenu);
            Expect(InvokeOffset(object.menu.Get(), kDoneWorkOffset) == S_OK, "InvokeCommand");
            clock.Lap(kStepInvokeCommand);
            ::DestroyMenu(hHost);
        }
        clock.Lap(kStepRelease);
        PumpPendingMessages();
        clock.Lap(kStepTimers);
    }

    // One icon request as the shell makes it: object, Load, GetIconLocation.
    void RequestIcon(long i)
    {
        const IconCase* const pCases[] = {&m_fixture.marked, &m_fixture.plain, &m_fixture.cached};
        const IconCase& iconCase = *pCases[i % 3];
        CInterfacePtr<IPersistFile> file;
        CInterfacePtr<IExtractIconW> icon;
        if (FAILED(m_dll.CreateObject(IID_IPersistFile, file)) || FAILED(file.QueryInto(IID_IExtractIconW, icon)))
        {
            Expect(false, "an icon handler object");
            return;
        }
        Expect(file->Load(iconCase.strFile.c_str(), STGM_READ) == S_OK, "Load");
        wchar_t szLocation[MAX_PATH] = {};
        int nIndex = -1;
        UINT uFlags = 0;
        const HRESULT hr = icon->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags);
        Expect(hr == S_OK && IconLocationIs(iconCase, szLocation, nIndex), "GetIconLocation");
    }

    void PrintBuildSteps() const
    {
        printf("time per build:");
        for (int i = 0; i < kStepCount; ++i)
            printf("%s %s %.1f us", i == 0 ? "" : ",", kStepNames[i],
                   m_dBuildSteps[i] / static_cast<double>(m_options.nBuilds));
        printf("\n");
    }

    const CExtensionDll& m_dll;
    const BenchFixture& m_fixture;
    const BenchOptions& m_options;
    IDataObject* m_pSelection = nullptr;
    double m_dBuildSteps[kStepCount] = {};
    long m_nFailures = 0;
    uint64_t m_cbMemorySlack = 0;
    ResourceCounts m_lastBaseline;
    bool m_bCsvStarted = false;
};

}  // namespace

int RunSoak(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options)
{
    CSoak soak(dll, fixture, options);
    return soak.Run();
}
