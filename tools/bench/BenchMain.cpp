// OrvaneBench: measures the Orvane shell extension through its real DLL.
//
//   OrvaneBench bench [--dll PATH] [--icl PATH] [--out PREFIX] [--quick] [--selections | --command-selections]
//       times every operation against its floor; PREFIX.csv and PREFIX.json
//   OrvaneBench soak [--builds N] [--icons N] [--every N] [--baseline N] [--out PREFIX]
//       many menu builds and icon requests, watching objects, handles, memory
//   OrvaneBench concurrency [--threads N] [--rounds N]
//       apartment threads using the extension at once
//
// It sets up its own installation, settings and file types in the Wine
// prefix it runs in: run it in a private prefix (scripts/bench.sh and
// scripts/soak.sh do).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "tools/bench/Modes.h"

namespace {

// Started as the main application by the program-start measurement: any of
// its switches ends it at once.
bool IsMainApplicationSwitch(const wchar_t* pszArgument)
{
    for (const wchar_t* pszSwitch : {L"-oi", L"-ci", L"-uo", L"-uc", L"-mi", L"-rd", L"-ad"})
        if (wcscmp(pszArgument, pszSwitch) == 0)
            return true;
    return false;
}

std::wstring ProgramFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L'\\'));
}

int Usage()
{
    fprintf(stderr,
            "usage: OrvaneBench bench [--dll PATH] [--icl PATH] [--out PREFIX] [--quick] [--selections |\n"
            "                          --command-selections]\n"
            "       OrvaneBench soak [--builds N] [--icons N] [--every N] [--baseline N] [--out PREFIX]\n"
            "       OrvaneBench concurrency [--threads N] [--rounds N]\n");
    return 2;
}

// The options that take a value: a text or a number, and where it goes.
struct ValueOption
{
    const wchar_t* pszName;
    std::wstring BenchOptions::*pstrText;
    long BenchOptions::*pnNumber;
};

const ValueOption kValueOptions[] = {
    {L"--dll", &BenchOptions::strDll, nullptr},
    {L"--icl", &BenchOptions::strIcl, nullptr},
    {L"--out", &BenchOptions::strOutPrefix, nullptr},
    {L"--builds", nullptr, &BenchOptions::nBuilds},
    {L"--icons", nullptr, &BenchOptions::nIconRequests},
    {L"--every", nullptr, &BenchOptions::nEvery},
    {L"--baseline", nullptr, &BenchOptions::nBaseline},
    {L"--threads", nullptr, &BenchOptions::nThreads},
    {L"--rounds", nullptr, &BenchOptions::nRounds},
};

// False for an option that takes no value or that does not exist.
bool SetValueOption(const std::wstring& strOption, const wchar_t* pszValue, BenchOptions& options)
{
    for (const ValueOption& option : kValueOptions)
    {
        if (strOption != option.pszName)
            continue;
        if (option.pstrText != nullptr)
            options.*option.pstrText = pszValue;
        else
            options.*option.pnNumber = wcstol(pszValue, nullptr, 10);
        return true;
    }
    return false;
}

bool ParseOptions(int argc, wchar_t** argv, BenchOptions& options)
{
    for (int i = 2; i < argc; ++i)
    {
        const std::wstring strOption = argv[i];
        if (strOption == L"--quick")
            options.dScale = 0.1;
        else if (strOption == L"--selections")
            options.bSelectionsOnly = true;
        else if (strOption == L"--command-selections")
            options.bCommandSelectionsOnly = true;
        else if (i + 1 >= argc || !SetValueOption(strOption, argv[++i], options))
            return false;
    }
    return options.nEvery > 0 && options.nBaseline > 0 && options.nThreads > 0 && options.nRounds > 100;
}

}  // namespace


namespace {
const wchar_t kStartedProgramSignal[] = L"Local\\OrvaneBenchStartedProgram";
}

HANDLE CreateStartedProgramSignal()
{
    return ::CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, kStartedProgramSignal);
}

int RunAsStartedProgram()
{
    HANDLE hSignal = ::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, kStartedProgramSignal);
    if (hSignal != nullptr)
    {
        ::ReleaseSemaphore(hSignal, 1, nullptr);
        ::CloseHandle(hSignal);
    }
    return 0;
}

bool IconLocationIs(const IconCase& iconCase, const wchar_t* pszLocation, int nIndex)
{
    return nIndex == iconCase.nExpectedIndex && _wcsicmp(pszLocation, iconCase.strExpectedLocation.c_str()) == 0;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2 && IsMainApplicationSwitch(argv[1]))
        return RunAsStartedProgram();
    if (argc < 2)
        return Usage();
    const std::wstring strMode = argv[1];
    BenchOptions options;
    options.strDll = ProgramFolder() + (sizeof(void*) == 8 ? L"\\OrvaneShlExt64F.dll" : L"\\OrvaneShlExt32F.dll");
    options.strIcl = ProgramFolder() + L"\\testdata\\Main.icl";
    if (!ParseOptions(argc, argv, options))
        return Usage();

    // Explorer's threads are single-threaded apartments.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BenchFixture fixture;
    std::wstring strError;
    if (!SetUpFixture(options.strIcl, fixture, strError))
    {
        fprintf(stderr, "set-up failed: %s\n", WideToUtf8(strError).c_str());
        return 1;
    }
    CExtensionDll dll;
    if (!dll.Load(options.strDll, strError))
    {
        fprintf(stderr, "%s\n", WideToUtf8(strError).c_str());
        return 1;
    }
    printf("OrvaneBench %s, %s, %s\n", WideToUtf8(strMode).c_str(), sizeof(void*) == 8 ? "x64" : "x86",
           WideToUtf8(options.strDll).c_str());
    fflush(stdout);

    int nExit;
    if (strMode == L"bench")
        nExit = RunBenchmark(dll, fixture, options);
    else if (strMode == L"soak")
        nExit = RunSoak(dll, fixture, options);
    else if (strMode == L"concurrency")
        nExit = RunConcurrency(dll, fixture, options);
    else
        nExit = Usage();
    TearDownFixture(fixture);
    fflush(stdout);
    // Hand-off timers may still be pending: end without unloading the DLL.
    ::ExitProcess(static_cast<UINT>(nExit));
}
