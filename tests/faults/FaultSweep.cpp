// The fault sweep: for every operation of the table, the calls it makes into
// the system are counted, then the operation runs once per call with exactly
// that call failing. Every run must return (no crash, no hang), answer what
// the design allows for that failure, give back every handle, object and
// heap block, and leave things so that the operation works again.
//
//   OrvaneFaultSweep sweep               every operation, each in a process of its own
//   OrvaneFaultSweep sweep --runtime     what a second C++ runtime changes (below)
//   OrvaneFaultSweep race [rounds]       eight threads racing for the first class object
//
// A build with a second C++ runtime (clang and libc++) runs the same code
// through the same system calls; what differs is the runtime's own part: its
// allocations, and the unwinding when one fails (std::bad_alloc is the only
// exception the DLL throws). With --runtime only the runtime's allocation
// calls are failed, and the named regression cases; registration is swept
// from its first starting point only.
//
// A crash or hang ends only the process of one operation; the sweep goes on
// after the failure point that caused it. Environment: ORVANE_DLL (the DLL),
// ORVANE_COMMAND_DLL (the Explorer command's DLL, 64-bit builds),
// ORVANE_TEST_ICL (the icon library of the test installation).
#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ShellExt/core/SystemFunction.h"
#include "tests/faults/ImportFaults.h"
#include "tests/faults/SweepHost.h"
#include "tests/faults/SweepOperations.h"
#include "tools/bench/ResourceCounts.h"
#include "tools/common/HDropDataObject.h"
#include "tools/shellhost/CommandTree.h"

namespace {

const DWORD kOperationTimeoutMs = 10 * 60 * 1000;
const int kWarmupRuns = 3;

// Failure points once found faulty and mended: each must stay reached and
// stay clean. A point is named by its operation, the failing function and
// which of that function's calls in the operation fails: counted from the
// first (1, 2, ...) or from the last (-1, -2, ...). A C++ runtime makes calls
// of its own (libc++ and libstdc++ differ in how many and where), so a point
// is counted from the end of the operation that lies nearer to it.
struct NamedPoint
{
    const char* pszName;
    const char* pszOperation;
    const char* pszFunction;
    int nOccurrence;
};

// (The crashes of the first class object of either DLL, inside the
// runtime's guard of a function's static, have no call of their own left to
// name: a guard brought back onto that path shows again as crashes of the
// operations on a fresh copy. The Explorer command's subcommands had such
// guards too; they are not swept on a fresh copy, because there the first
// exception thrown on a thread sets up runtime state that unloading the copy
// does not give back.)
const NamedPoint kNamedPoints[] = {
    {"registration half-written when the type library fails", "DllRegisterServer", "RegisterTypeLib", 1},
    {"unregistration half-done when the type library fails", "DllUnregisterServer", "UnRegisterTypeLib", 1},
    {"extended cascade without its submenu", "QueryContextMenu extended", "CreatePopupMenu", 2},
    {"class object of a fresh copy out of memory", "first class object + instance", "malloc", 1},
    {"instance of a fresh copy out of memory", "first class object + instance", "malloc", -1},
};

// The C runtime's allocation functions among the failable calls: where a
// failure runs through the C++ runtime (operator new, std::bad_alloc).
const char* const kRuntimeAllocations[] = {"malloc", "calloc", "realloc", "_strdup"};

bool IsRuntimeAllocation(const char* pszFunction)
{
    for (const char* pszAllocation : kRuntimeAllocations)
        if (strcmp(pszFunction, pszAllocation) == 0)
            return true;
    return false;
}

std::wstring EnvironmentValue(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH] = {};
    const DWORD cch = ::GetEnvironmentVariableW(pszName, szValue, MAX_PATH);
    return cch > 0 && cch < MAX_PATH ? std::wstring(szValue) : std::wstring();
}

double Seconds()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// ---------------------------------------------------------------------------
// One operation, in its own process

struct Usage
{
    long rgnCounts[5];  // GDI objects, USER objects, handles, heap blocks, heap bytes

    static Usage Sample()
    {
        const ResourceCounts counts = SampleLeakCounts();
        const HeapUsage heap = SampleHeapUsage();
        return {{counts.nGdiObjects, counts.nUserObjects, counts.nHandles, heap.nBlocks,
                 static_cast<long>(heap.cbBusy)}};
    }

    Usage GrowthSince(const Usage& before) const
    {
        Usage growth;
        for (int i = 0; i < 5; ++i)
            growth.rgnCounts[i] = rgnCounts[i] - before.rgnCounts[i];
        return growth;
    }

    // Objects, handles and heap blocks. The heap's bytes are reported but do
    // not decide: under Wine's heap checking, Wine resizes blocks of its
    // own between two samples, while any block the DLL kept adds a block.
    bool Exceeds(const Usage& allowance) const
    {
        for (int i = 0; i < 4; ++i)
            if (rgnCounts[i] > (allowance.rgnCounts[i] > 0 ? allowance.rgnCounts[i] : 0))
                return true;
        return false;
    }

    std::string Describe() const
    {
        char szText[160];
        snprintf(szText, sizeof(szText), "gdi %+ld, user %+ld, handles %+ld, heap %+ld blocks %+ld bytes",
                 rgnCounts[0], rgnCounts[1], rgnCounts[2], rgnCounts[3], rgnCounts[4]);
        return szText;
    }
};

// Wine's type-library registration keeps registry keys open, the same
// number at every call (seen with bare calls: one for a registration, two
// for an unregistration). What one call keeps is measured with the same
// calls made directly, and taken off the handle growth of every run that
// made such calls through the DLL.
struct KeptByWine
{
    const char* pszFunction;
    long nHandles;
};

std::vector<KeptByWine> g_vecKeptByWine;

long HandlesNow()
{
    return SampleLeakCounts().nHandles;
}

void MeasureWhatWineKeeps(const std::wstring& strDll)
{
    CInterfacePtr<ITypeLib> typeLib;
    TLIBATTR* pAttr = nullptr;
    if (FAILED(::LoadTypeLibEx(strDll.c_str(), REGKIND_NONE, reinterpret_cast<ITypeLib**>(typeLib.ReceiveVoid()))) ||
        FAILED(typeLib->GetLibAttr(&pAttr)))
        return;
    const TLIBATTR attr = *pAttr;
    typeLib->ReleaseTLibAttr(pAttr);
    using ForUserFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
    using UnForUserFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    const auto pfnForUser = FindSystemFunction<ForUserFn>(L"oleaut32.dll", "RegisterTypeLibForUser");
    const auto pfnUnForUser = FindSystemFunction<UnForUserFn>(L"oleaut32.dll", "UnRegisterTypeLibForUser");
    std::wstring strPath = strDll;
    long rgnKept[4] = {LONG_MAX, LONG_MAX, LONG_MAX, LONG_MAX};
    for (int nRound = 0; nRound < 3; ++nRound)
    {
        long rgnHandles[5];
        rgnHandles[0] = HandlesNow();
        ::RegisterTypeLib(typeLib.Get(), &strPath[0], nullptr);
        rgnHandles[1] = HandlesNow();
        ::UnRegisterTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
        rgnHandles[2] = HandlesNow();
        if (pfnForUser != nullptr)
            pfnForUser(typeLib.Get(), &strPath[0], nullptr);
        rgnHandles[3] = HandlesNow();
        if (pfnUnForUser != nullptr)
            pfnUnForUser(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
        rgnHandles[4] = HandlesNow();
        for (int i = 0; i < 4; ++i)
            rgnKept[i] = std::min(rgnKept[i], rgnHandles[i + 1] - rgnHandles[i]);
    }
    const char* const rgpszFunctions[] = {"RegisterTypeLib", "UnRegisterTypeLib", "RegisterTypeLibForUser",
                                          "UnRegisterTypeLibForUser"};
    for (int i = 0; i < 4; ++i)
        if (rgnKept[i] > 0)
            g_vecKeptByWine.push_back({rgpszFunctions[i], rgnKept[i]});
}

std::vector<unsigned> PassedCallsKeptByWine()
{
    std::vector<unsigned> vecPassed;
    for (const KeptByWine& kept : g_vecKeptByWine)
        vecPassed.push_back(ImportFaults::PassedThrough(kept.pszFunction));
    return vecPassed;
}

long HandlesKeptByWineSince(const std::vector<unsigned>& vecBefore)
{
    long nKept = 0;
    for (size_t i = 0; i < g_vecKeptByWine.size(); ++i)
        nKept += static_cast<long>(ImportFaults::PassedThrough(g_vecKeptByWine[i].pszFunction) - vecBefore[i]) *
                 g_vecKeptByWine[i].nHandles;
    return nKept;
}

struct RunResult
{
    unsigned nCalls = 0;
    std::string strBroken;  // a wrong result, or a state the next run cannot start from
    std::string strLeft;    // what the release could not give back
    Usage growth = {};
};

// nFailAt: 0 counts without failing; ~0u runs without counting (and
// without measuring).
RunResult RunOnce(CSweepOperation& operation, SweepContext& context, unsigned nFailAt)
{
    RunResult result;
    const bool bMeasured = nFailAt != ~0u;
    const std::vector<unsigned> vecPassedBefore = PassedCallsKeptByWine();
    const Usage before = bMeasured ? Usage::Sample() : Usage();
    result.strBroken = operation.Prepare(context);
    if (!result.strBroken.empty())
    {
        result.strBroken = "set-up: " + result.strBroken;
        return result;
    }
    const bool bFaulted = nFailAt != 0 && nFailAt != ~0u;
    if (nFailAt != ~0u)
        ImportFaults::Arm(nFailAt);
    const HRESULT hr = operation.Run(context);
    result.nCalls = ImportFaults::Disarm();
    result.strBroken = operation.Judge(context, hr, bFaulted);
    result.strLeft = operation.Release(context);
    if (bMeasured)
    {
        result.growth = Usage::Sample().GrowthSince(before);
        result.growth.rgnCounts[2] -= HandlesKeptByWineSince(vecPassedBefore);
    }
    return result;
}

class CResultFile
{
public:
    explicit CResultFile(const std::wstring& strPath) : m_pFile(_wfopen(strPath.c_str(), L"a")) {}
    ~CResultFile()
    {
        if (m_pFile != nullptr)
            fclose(m_pFile);
    }
    CResultFile(const CResultFile&) = delete;
    CResultFile& operator=(const CResultFile&) = delete;

    void Line(const std::string& strLine)
    {
        if (m_pFile == nullptr)
            return;
        fprintf(m_pFile, "%s\n", strLine.c_str());
        fflush(m_pFile);
    }

private:
    FILE* m_pFile;
};

// "at +<offset>" into the DLL, for finding the line that made a call.
std::string DescribeCaller(uintptr_t nOffset)
{
    char szOffset[32];
    snprintf(szOffset, sizeof(szOffset), "at +0x%llx", static_cast<unsigned long long>(nOffset));
    return szOffset;
}

// Which call of the operation a named point fails: its number among all
// counted calls, or 0 when the operation no longer makes that call.
unsigned FindNamedPoint(const NamedPoint& point, unsigned nCalls)
{
    const bool bFromLast = point.nOccurrence < 0;
    const unsigned nWanted = static_cast<unsigned>(bFromLast ? -point.nOccurrence : point.nOccurrence);
    unsigned nSeen = 0;
    for (unsigned i = 1; i <= nCalls; ++i)
    {
        const unsigned n = bFromLast ? nCalls + 1 - i : i;
        if (strcmp(ImportFaults::RecordedCall(n), point.pszFunction) == 0 && ++nSeen == nWanted)
            return n;
    }
    return 0;
}

std::string SetUpContext(SweepContext& context)
{
    context.strDll = EnvironmentValue(L"ORVANE_DLL");
    std::wstring strError;
    if (!SetUpFixture(EnvironmentValue(L"ORVANE_TEST_ICL"), context.fixture, strError))
        return "fixture: " + WideToUtf8(strError);
    SetMainApplication(MainApplicationOf(context));
    std::string strProblem;
    if (!context.server.Load(context.strDll, strProblem) ||
        !ReadServerIdentity(context.strDll, context.identity, strProblem))
        return strProblem;
    ImportFaults::PatchModule(context.server.Module());
    RecordProgramStarts();
    context.pSelection = CreateHDropDataObject(context.fixture.vecSelection);
    if (context.pSelection == nullptr)
        return "no data object";
    context.strCommandDll = EnvironmentValue(L"ORVANE_COMMAND_DLL");
    if (context.strCommandDll.empty())
        return std::string();
    if (!context.command.Load(context.strCommandDll, strProblem, false))
        return strProblem;
    ImportFaults::PatchModule(context.command.Module());
    context.pItems = CreateShellItemArray(context.fixture.vecSelection);
    return context.pItems != nullptr ? std::string() : "no shell item array";
}

// The failure points of one operation: with bRuntimeOnly, only the runtime's
// allocations and the named regression cases.
std::vector<unsigned> ChoosePoints(unsigned nFirst, unsigned nCalls, const std::vector<unsigned>& vecNamed,
                                   bool bRuntimeOnly)
{
    std::vector<unsigned> vecPoints;
    for (unsigned k = nFirst; k <= nCalls; ++k)
        if (!bRuntimeOnly || IsRuntimeAllocation(ImportFaults::RecordedCall(k)) ||
            std::find(vecNamed.begin(), vecNamed.end(), k) != vecNamed.end())
            vecPoints.push_back(k);
    return vecPoints;
}

int SweepOneOperation(size_t nOperation, unsigned nFrom, const std::wstring& strResults, bool bRuntimeOnly)
{
    // A crash ends this process at once, without Wine's debugger: the sweep
    // reports it and goes on in a new process.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    CResultFile results(strResults);
    SweepContext context;
    std::vector<std::unique_ptr<CSweepOperation>> vecOperations = MakeSweepOperations();
    CSweepOperation& operation = *vecOperations.at(nOperation);
    std::string strProblem = SetUpContext(context);
    MeasureWhatWineKeeps(context.strDll);
    if (strProblem.empty())
        strProblem = operation.PrepareProcess(context);
    for (int i = 0; i < kWarmupRuns && strProblem.empty(); ++i)
        strProblem = RunOnce(operation, context, ~0u).strBroken;
    if (!strProblem.empty())
    {
        results.Line("problem " + strProblem);
        return 1;
    }
    SettleHeapChecking();
    const RunResult reference = RunOnce(operation, context, 0);
    if (!reference.strBroken.empty() || !reference.strLeft.empty())
    {
        results.Line("problem counting run: " + reference.strBroken + reference.strLeft);
        return 1;
    }
    const NamedPoint first = {"", "", operation.SweptFrom(), 1};
    const unsigned nFirst = first.pszFunction != nullptr ? std::max(1u, FindNamedPoint(first, reference.nCalls)) : 1;
    std::vector<unsigned> vecNamed;
    for (const NamedPoint& point : kNamedPoints)
        if (strcmp(point.pszOperation, operation.Name()) == 0)
        {
            vecNamed.push_back(FindNamedPoint(point, reference.nCalls));
            results.Line(std::string("named ") + std::to_string(vecNamed.back()) + " " + point.pszName);
        }
    const std::vector<unsigned> vecPoints = ChoosePoints(nFirst, reference.nCalls, vecNamed, bRuntimeOnly);
    results.Line("calls " + std::to_string(vecPoints.size()));

    for (unsigned k : vecPoints)
    {
        if (k < nFrom)
            continue;
        const std::string strPoint =
            std::to_string(k) + " " + ImportFaults::RecordedCall(k) + " " + DescribeCaller(ImportFaults::RecordedCaller(k));
        results.Line("start " + strPoint);
        const unsigned nRestoredBefore = ImportFaults::PlatformRegisterRestored();
        RunResult faulted = RunOnce(operation, context, k);
        if (ImportFaults::PlatformRegisterRestored() != nRestoredBefore)
            results.Line("x18 " + strPoint);
        const std::string strFailed = ImportFaults::FailedCall() != nullptr ? ImportFaults::FailedCall() : "nothing";
        std::string strVerdict = "ok";
        if (!faulted.strBroken.empty())
            strVerdict = "broken " + faulted.strBroken + " (failed: " + strFailed + ")";
        else if (!faulted.strLeft.empty())
            strVerdict = "leak " + faulted.strLeft;
        else if (faulted.growth.Exceeds(reference.growth))
        {
            // Some system calls set up state of their own the first time a
            // path is taken: only growth that comes back is a leak.
            const RunResult again = RunOnce(operation, context, k);
            if (again.growth.Exceeds(reference.growth))
                strVerdict = "leak " + again.growth.Describe();
        }
        if (strVerdict == "ok")
        {
            const RunResult afterwards = RunOnce(operation, context, ~0u);
            if (!afterwards.strBroken.empty() || !afterwards.strLeft.empty())
                strVerdict = "broken afterwards: " + afterwards.strBroken + afterwards.strLeft;
        }
        results.Line("point " + strPoint + " " + strVerdict);
    }
    operation.FinishProcess(context);
    results.Line("done");
    return 0;
}

// ---------------------------------------------------------------------------
// The whole sweep: one process per operation

struct SweepTotals
{
    unsigned nPoints = 0;
    unsigned nCrashes = 0;
    unsigned nLeaks = 0;
    unsigned nBroken = 0;
};

// How the process of one operation ended: "ended", "hung", or why it never
// started.
std::string RunChild(const std::wstring& strArguments, DWORD& dwExitCode)
{
    wchar_t szSelf[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    std::wstring strCommandLine = L"\"" + std::wstring(szSelf) + L"\" " + strArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(szSelf, &strCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return "could not be started (error " + std::to_string(::GetLastError()) + ")";
    const bool bEnded = ::WaitForSingleObject(process.hProcess, kOperationTimeoutMs) == WAIT_OBJECT_0;
    if (!bEnded)
        ::TerminateProcess(process.hProcess, 3);
    ::GetExitCodeProcess(process.hProcess, &dwExitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return bEnded ? "ended" : "hung";
}

std::vector<std::string> ReadLines(const std::wstring& strPath)
{
    std::vector<std::string> vecLines;
    FILE* pFile = _wfopen(strPath.c_str(), L"r");
    if (pFile == nullptr)
        return vecLines;
    char szLine[4096];
    while (fgets(szLine, sizeof(szLine), pFile) != nullptr)
    {
        std::string strLine = szLine;
        while (!strLine.empty() && (strLine.back() == '\n' || strLine.back() == '\r'))
            strLine.pop_back();
        vecLines.push_back(strLine);
    }
    fclose(pFile);
    return vecLines;
}

bool StartsWith(const std::string& str, const char* pszPrefix)
{
    return str.compare(0, strlen(pszPrefix), pszPrefix) == 0;
}

// Runs one operation's sweep, starting again after any point that took its
// process down, and adds up what it found.
void SweepOperation(size_t nOperation, const char* pszName, bool bRuntimeOnly, SweepTotals& totals)
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strResults = std::wstring(szTemp) + L"OrvaneFaultSweep" + std::to_wstring(nOperation) + L".txt";
    ::DeleteFileW(strResults.c_str());
    const double dStart = Seconds();
    unsigned nFrom = 1;
    unsigned nCalls = 0;
    std::vector<std::string> vecNamed;
    for (;;)
    {
        DWORD dwExit = 0;
        const std::string strEnd =
            RunChild(L"operation " + std::to_wstring(nOperation) + L" " + std::to_wstring(nFrom) + L" \"" +
                         strResults + L"\"" + (bRuntimeOnly ? L" --runtime" : L""),
                     dwExit);
        const bool bEnded = strEnd == "ended";
        const std::vector<std::string> vecLines = ReadLines(strResults);
        std::string strLastStart;
        bool bDone = false;
        for (const std::string& strLine : vecLines)
        {
            if (StartsWith(strLine, "calls "))
                nCalls = static_cast<unsigned>(atoi(strLine.c_str() + 6));
            else if (StartsWith(strLine, "start "))
                strLastStart = strLine.substr(6);
            else if (StartsWith(strLine, "point "))
                strLastStart.clear();
            else if (strLine == "done")
                bDone = true;
        }
        if (bDone || strLastStart.empty())
        {
            if (!bDone)
            {
                printf("  %s: %s (exit code 0x%lx)\n", pszName, bEnded ? "ended early" : strEnd.c_str(),
                       static_cast<unsigned long>(dwExit));
                ++totals.nBroken;
            }
            break;
        }
        printf("  %s: %s at failure point %s (exit code 0x%lx)\n", pszName, bEnded ? "CRASH" : "HANG",
               strLastStart.c_str(), static_cast<unsigned long>(dwExit));
        ++totals.nCrashes;
        nFrom = static_cast<unsigned>(atoi(strLastStart.c_str())) + 1;
        ::DeleteFileW(strResults.c_str());
        std::string strKeep;
        for (const std::string& strLine : vecLines)
            if (!StartsWith(strLine, "start "))
                strKeep += strLine + "\n";
        FILE* pFile = _wfopen(strResults.c_str(), L"w");
        if (pFile != nullptr)
        {
            fputs(strKeep.c_str(), pFile);
            fclose(pFile);
        }
    }

    unsigned nLeaks = 0;
    unsigned nBroken = 0;
    std::vector<std::string> vecClean;
    for (const std::string& strLine : ReadLines(strResults))
    {
        if (StartsWith(strLine, "problem "))
        {
            printf("  %s: %s\n", pszName, strLine.c_str() + 8);
            ++nBroken;
        }
        else if (StartsWith(strLine, "x18 "))
            printf("  %s: at failure point %s x18 was not the TEB (arm64 Wine's own DLLs, Linux code, do not keep "
                   "it): given back before failing, as Windows keeps it\n",
                   pszName, strLine.c_str() + 4);
        else if (StartsWith(strLine, "named ") &&
                 std::find(vecNamed.begin(), vecNamed.end(), strLine.substr(6)) == vecNamed.end())
            vecNamed.push_back(strLine.substr(6));
        else if (StartsWith(strLine, "point "))
        {
            const bool bOk = strLine.size() >= 3 && strLine.compare(strLine.size() - 3, 3, " ok") == 0;
            if (bOk)
                vecClean.push_back(strLine.substr(6, strLine.find(' ', 6) - 6));
            else
            {
                printf("  %s: failure point %s\n", pszName, strLine.c_str() + 6);
                if (strLine.find(" leak ") != std::string::npos)
                    ++nLeaks;
                else
                    ++nBroken;
            }
        }
    }
    for (const std::string& strNamed : vecNamed)
    {
        const std::string strNumber = strNamed.substr(0, strNamed.find(' '));
        bool bClean = false;
        for (const std::string& strPoint : vecClean)
            bClean = bClean || strPoint == strNumber;
        printf("  regression case %s: %s\n", strNamed.substr(strNamed.find(' ') + 1).c_str(),
               strNumber == "0" ? "NOT REACHED" : bClean ? "clean" : "FAULTY");
        if (!bClean)
            ++nBroken;
    }
    printf("%-34s %4u failure points, %u leaks, %u broken, %.1f s\n", pszName, nCalls, nLeaks, nBroken,
           Seconds() - dStart);
    fflush(stdout);
    totals.nPoints += nCalls;
    totals.nLeaks += nLeaks;
    totals.nBroken += nBroken;
    ::DeleteFileW(strResults.c_str());
}

int SweepAll(bool bRuntimeOnly)
{
    const double dStart = Seconds();
    const std::vector<std::unique_ptr<CSweepOperation>> vecOperations = MakeSweepOperations();
    SweepTotals totals;
    size_t nSwept = 0;
    for (size_t i = 0; i < vecOperations.size(); ++i)
    {
        if (bRuntimeOnly && vecOperations[i]->RepeatsAnotherOverOtherState())
            continue;
        SweepOperation(i, vecOperations[i]->Name(), bRuntimeOnly, totals);
        ++nSwept;
    }
    printf("sweep took %.1f s\n", Seconds() - dStart);
    printf("fault injection (%s%s): %u failure points in %zu operations, %u crashes, %u leaks, %u broken states\n",
           kBuildArchitecture, bRuntimeOnly ? ", the C runtime's allocations" : "", totals.nPoints, nSwept,
           totals.nCrashes, totals.nLeaks, totals.nBroken);
    return totals.nCrashes == 0 && totals.nLeaks == 0 && totals.nBroken == 0 && totals.nPoints > 0 ? 0 : 1;
}

}  // namespace

int RunClassObjectRace(const std::wstring& strDll, unsigned nRounds);

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring strMode = argc >= 2 ? argv[1] : L"sweep";
    const bool bRuntimeOnly = argc >= 3 && std::wstring(argv[argc - 1]) == L"--runtime";
    const int nArguments = argc - (bRuntimeOnly ? 1 : 0);
    int nExit = 2;
    if (strMode == L"operation" && nArguments == 5)
        nExit = SweepOneOperation(static_cast<size_t>(_wtoi(argv[2])), static_cast<unsigned>(_wtoi(argv[3])),
                                  argv[4], bRuntimeOnly);
    else if (strMode == L"sweep" && nArguments <= 2)
        nExit = SweepAll(bRuntimeOnly);
    else if (strMode == L"race")
        nExit = RunClassObjectRace(EnvironmentValue(L"ORVANE_DLL"), argc >= 3 ? _wtoi(argv[2]) : 50);
    else
        fprintf(stderr, "usage: OrvaneFaultSweep [sweep [--runtime] | race [rounds]]\n");
    fflush(stdout);
    // Hand-off timers may still be pending: end without unloading the DLL.
    ::ExitProcess(static_cast<UINT>(nExit));
}
