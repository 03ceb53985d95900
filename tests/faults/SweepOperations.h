// The operations the fault sweep fails call by call. Each one knows how to
// set itself up, make its one call, judge what came back and release what it
// made; the sweep supplies the failures and checks for leaks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/faults/SweepHost.h"
#include "tools/bench/Fixture.h"

struct SweepContext
{
    std::wstring strDll;
    CLoadedServer server;
    ServerIdentity identity;
    BenchFixture fixture;
    IDataObject* pSelection = nullptr;  // the two selected files, as Explorer hands them over
    unsigned nCopies = 0;               // private copies of the DLL loaded so far
    // The Explorer command's DLL (64-bit builds only), and the same two
    // files as the Windows 11 menu hands them to it.
    std::wstring strCommandDll;
    CLoadedServer command;
    IShellItemArray* pItems = nullptr;
};

class CSweepOperation
{
public:
    virtual ~CSweepOperation() = default;
    virtual const char* Name() const = 0;
    // Once per process, before the first run: what every run starts from.
    virtual std::string PrepareProcess(SweepContext&) { return std::string(); }
    // Once per process, after the last run.
    virtual void FinishProcess(SweepContext&) {}
    // The call from whose first occurrence on calls are failed; null: all.
    virtual const char* SweptFrom() const { return nullptr; }
    // The same code and the same calls as another operation of the table,
    // over other state (registration over an earlier one): left out where
    // only a second C++ runtime is to be proved.
    virtual bool RepeatsAnotherOverOtherState() const { return false; }
    // Not failed: what the call needs (an object, a menu, a registry state).
    // Empty, or why the set-up itself went wrong.
    virtual std::string Prepare(SweepContext& context) = 0;
    // The one call under test: counted, and failed at one point when armed.
    virtual HRESULT Run(SweepContext& context) = 0;
    // Empty when the result and what the call left are what the design
    // allows: with bFaulted, for some call inside having failed; without it,
    // only the full success. Otherwise what is wrong.
    virtual std::string Judge(SweepContext& context, HRESULT hr, bool bFaulted) = 0;
    // Not failed: releases what Prepare and Run made; empty, or what could
    // not be given back.
    virtual std::string Release(SweepContext& context) = 0;
};

// The program named as the main application; its starts are only recorded.
std::wstring MainApplicationOf(const SweepContext& context);

// The table of operations, in the order they are swept.
std::vector<std::unique_ptr<CSweepOperation>> MakeSweepOperations();
