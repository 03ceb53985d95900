// The three things the benchmark program does, each in its own process.
#pragma once

#include <string>

#include "tools/bench/Extension.h"
#include "tools/bench/Fixture.h"
#include "tools/common/WinText.h"

struct BenchOptions
{
    std::wstring strDll;
    std::wstring strIcl;
    std::wstring strOutPrefix;  // <prefix>.csv and <prefix>.json
    double dScale = 1.0;        // fewer samples for a quick look
    bool bSelectionsOnly = false;  // only the operations that read a selection, at every size
    bool bCommandSelectionsOnly = false;  // only the Explorer command's rows of large selections
    long nBuilds = 100000;      // soak
    long nIconRequests = 100000;
    long nEvery = 10000;
    long nBaseline = 1000;
    long nThreads = 8;          // concurrency
    long nRounds = 3000;
};

// Each returns the process exit code: 0 when every check held.
int RunBenchmark(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options);
int RunSoak(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options);
int RunConcurrency(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options);

// The benchmark names itself as the main application; each start signals
// this semaphore as it ends.
HANDLE CreateStartedProgramSignal();
int RunAsStartedProgram();

// Checks shared by the modes.
bool IconLocationIs(const IconCase& iconCase, const wchar_t* pszLocation, int nIndex);
