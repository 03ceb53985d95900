// Eight apartment threads asking a freshly loaded copy of the DLL for its
// class object at the same moment, round after round: every thread must get
// it, all must get the same one, each must make a working object with it,
// and once everything is released the copy must allow unloading.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/faults/SweepHost.h"

namespace {

const int kThreads = 8;

struct RaceShared
{
    const CLoadedServer* pServer;
    CLSID clsid;
    HANDLE hGo;             // manual-reset: all threads leave together
    volatile LONG nReady;
};

struct RaceThread
{
    RaceShared* pShared = nullptr;
    HRESULT hrClassObject = E_FAIL;
    HRESULT hrObject = E_FAIL;
    void* pClassObject = nullptr;  // identity only; compared, never used

    static DWORD WINAPI Run(void* pParameter)
    {
        auto* pThread = static_cast<RaceThread*>(pParameter);
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        pThread->Race();
        ::CoUninitialize();
        return 0;
    }

    void Race()
    {
        ::InterlockedIncrement(&pShared->nReady);
        ::WaitForSingleObject(pShared->hGo, INFINITE);
        CInterfacePtr<IClassFactory> factory;
        hrClassObject = pShared->pServer->GetClassObject(pShared->clsid, IID_IClassFactory, factory.ReceiveVoid());
        if (FAILED(hrClassObject))
            return;
        pClassObject = factory.Get();
        CInterfacePtr<IContextMenu> menu;
        hrObject = factory->CreateInstance(nullptr, IID_IContextMenu, menu.ReceiveVoid());
    }
};

// One round on its own copy of the DLL; empty, or what went wrong.
std::string RaceOnce(const std::wstring& strDll, const CLSID& clsid, unsigned nRound)
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    CLoadedServer server;
    std::string strError;
    if (!server.LoadCopy(strDll, std::wstring(szTemp) + L"OrvaneRace" + std::to_wstring(nRound) + L".dll", strError))
        return strError;
    RaceShared shared = {&server, clsid, ::CreateEventW(nullptr, TRUE, FALSE, nullptr), 0};
    RaceThread rgThreads[kThreads];
    HANDLE rghThreads[kThreads] = {};
    for (int i = 0; i < kThreads; ++i)
    {
        rgThreads[i].pShared = &shared;
        rghThreads[i] = ::CreateThread(nullptr, 0, RaceThread::Run, &rgThreads[i], 0, nullptr);
    }
    while (shared.nReady < kThreads)
        ::Sleep(0);
    ::SetEvent(shared.hGo);
    ::WaitForMultipleObjects(kThreads, rghThreads, TRUE, INFINITE);
    for (HANDLE hThread : rghThreads)
        ::CloseHandle(hThread);
    ::CloseHandle(shared.hGo);

    for (const RaceThread& thread : rgThreads)
    {
        if (thread.hrClassObject != S_OK || thread.hrObject != S_OK)
            return "a thread got " + std::to_string(thread.hrClassObject) + " / " + std::to_string(thread.hrObject);
        if (thread.pClassObject != rgThreads[0].pClassObject)
            return "the threads got different class objects";
    }
    if (server.CanUnloadNow() != S_OK)
        return "the DLL does not allow unloading once everything is released";
    return server.Unload() ? std::string() : "the copy cannot be unloaded";
}

}  // namespace

int RunClassObjectRace(const std::wstring& strDll, unsigned nRounds)
{
    ServerIdentity identity;
    std::string strError;
    if (!ReadServerIdentity(strDll, identity, strError))
    {
        printf("%s\n", strError.c_str());
        return 1;
    }
    unsigned nFailed = 0;
    for (unsigned nRound = 0; nRound < nRounds; ++nRound)
    {
        const std::string strProblem = RaceOnce(strDll, identity.clsidExtension, nRound);
        if (!strProblem.empty() && nFailed++ < 5)
            printf("round %u: %s\n", nRound, strProblem.c_str());
    }
    printf("class object race (%s): %u rounds of %d threads on fresh copies of the DLL, %u failed\n",
           kBuildArchitecture, nRounds, kThreads, nFailed);
    return nFailed == 0 ? 0 : 1;
}
