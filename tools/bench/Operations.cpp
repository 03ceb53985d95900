// The timed comparisons: each operation through the real DLL, and its floor.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ShellExt/explorercommand/CommandIds.h"
#include "tools/bench/CommandSelections.h"
#include "tools/bench/Floors.h"
#include "tools/bench/Modes.h"
#include "tools/bench/Timing.h"
#include "tools/common/HDropDataObject.h"
#include "tools/shellhost/CommandSite.h"
#include "tools/shellhost/CommandTree.h"

namespace {

const UINT kDoneWorkOffset = 3;
// "Done Work" among the Explorer command's subcommands (after no separator).
const size_t kDoneWorkSubcommand = 3;
const size_t kSubcommandCount = 14;
const int kSubcommandIcons = 10;  // six markers, four colours

// The Explorer command's DLL beside this program; empty in a build that has
// none (the 32-bit one).
std::wstring CommandDllBesideProgram()
{
    wchar_t szSelf[MAX_PATH] = {};
    const DWORD cch = ::GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return std::wstring();
    std::wstring strPath(szSelf, cch);
    strPath.resize(strPath.find_last_of(L'\\') + 1);
    strPath += ORVANE_EXPLORER_COMMAND_DLL_FILE;
    return ::GetFileAttributesW(strPath.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : strPath;
}

// Hands a text of the command back as Explorer does with it: freed.
HRESULT FreeText(HRESULT hr, LPWSTR pszText)
{
    ::CoTaskMemFree(pszText);
    return hr;
}

// What Explorer asks each subcommand before it shows it. Returns how many
// icon locations came back.
int ReadSubcommands(IExplorerCommand* pTop, IShellItemArray* pSelection, size_t& nCommands)
{
    nCommands = 0;
    int nIcons = 0;
    IEnumExplorerCommand* pEnum = nullptr;
    if (FAILED(pTop->EnumSubCommands(&pEnum)))
        return 0;
    IExplorerCommand* pCommand = nullptr;
    ULONG nFetched = 0;
    while (pEnum->Next(1, &pCommand, &nFetched) == S_OK)
    {
        ++nCommands;
        LPWSTR pszText = nullptr;
        EXPCMDFLAGS flags = 0;
        EXPCMDSTATE state = 0;
        pCommand->GetFlags(&flags);
        pCommand->GetState(pSelection, FALSE, &state);
        FreeText(pCommand->GetTitle(pSelection, &pszText), pszText);
        pszText = nullptr;
        if (SUCCEEDED(FreeText(pCommand->GetIcon(pSelection, &pszText), pszText)))
            ++nIcons;
        pCommand->Release();
    }
    pEnum->Release();
    return nIcons;
}

class CChecks
{
public:
    void Expect(bool bHolds, const char* pszWhat)
    {
        if (bHolds)
            return;
        ++m_nFailures;
        if (m_nFailures <= 20)
            printf("CHECK FAILED: %s\n", pszWhat);
    }
    int Failures() const { return m_nFailures; }

private:
    int m_nFailures = 0;
};

SampleCounts Scaled(SampleCounts counts, double dScale)
{
    counts.nSamples = static_cast<size_t>(static_cast<double>(counts.nSamples) * dScale);
    if (counts.nSamples < 5)
        counts.nSamples = 5;
    return counts;
}

// The submenu the extension inserted at kIndexMenu: its item count and the
// identifier of its first item.
bool DescribeMarkerMenu(HMENU hHost, int& nItems, UINT& idFirst)
{
    HMENU hSubmenu = ::GetSubMenu(hHost, kIndexMenu);
    if (hSubmenu == nullptr)
        return false;
    nItems = ::GetMenuItemCount(hSubmenu);
    idFirst = ::GetMenuItemID(hSubmenu, 0);
    return true;
}

class CBenchmark
{
public:
    CBenchmark(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options)
        : m_dll(dll), m_fixture(fixture), m_options(options)
    {
        m_floor.hResources = dll.Module();
        m_floor.vecMenuItems.reserve(14);
    }

    int Run()
    {
        m_pSelection = CreateHDropDataObject(m_fixture.vecSelection);
        if (m_pSelection == nullptr || FAILED(CreateExtensionObject(m_dll, m_object)))
        {
            printf("cannot make the extension object\n");
            return 1;
        }
        // The floor's object made once, as ours was above: it reads AppData,
        // where the floor's InvokeCommand puts its fixed copy.
        FloorCreateAndRelease(m_floor);
        if (m_options.bSelectionsOnly)
            return RunSelectionsOnly();
        if (m_options.bCommandSelectionsOnly)
        {
            TimeCommandSelections();
            return Finish();
        }
        TimeCreation();
        TimeInitialize();
        TimeQueryContextMenu("QueryContextMenu plain", CMF_NORMAL, 12);
        TimeQueryContextMenu("QueryContextMenu extended", CMF_EXTENDEDVERBS, 14);
        TimeInvokeCommand("InvokeCommand, start skipped", m_object.menu.Get(), Scaled({5, 300, 5}, m_options.dScale),
                          false);
        TimeIconLocation(m_fixture.marked);
        TimeIconLocation(m_fixture.plain);
        TimeIconLocation(m_fixture.cached);
        TimeExplorerCommand();
        TimeLargeSelections();
        // Last: once the extension has read a program path, it keeps it for
        // the rest of the process.
        TimeProgramStart();

        return Finish();
    }

private:
    // Initialize at every size, InvokeCommand of the large selections and
    // the Explorer command's path collection: the rows a change to the
    // reading of selections moves.
    int RunSelectionsOnly()
    {
        TimeInitialize();
        TimeLargeSelections();
        if (!CommandDllBesideProgram().empty())
            TimeCommandSelections();
        return Finish();
    }

    int Finish()
    {
        m_pSelection->Release();
        PrintComparisons(m_vecResults);
        if (!m_options.strOutPrefix.empty() &&
            !WriteComparisons(m_vecResults, m_options.strOutPrefix + L".csv", m_options.strOutPrefix + L".json",
                              sizeof(void*) == 8 ? "x64" : "x86"))
        {
            printf("cannot write the results to %s.*\n", WideToUtf8(m_options.strOutPrefix).c_str());
            return 1;
        }
        if (m_checks.Failures() != 0)
            printf("%d checks failed\n", m_checks.Failures());
        return m_checks.Failures() == 0 ? 0 : 1;
    }

    static void Nothing(bool) {}

    void Add(const Comparison& comparison)
    {
        m_vecResults.push_back(comparison);
        printf("  %-40s ours %10.2f us  floor %10.2f us  ratio %.3f", comparison.strOperation.c_str(),
               comparison.ours.dMedian, comparison.floor.dMedian, comparison.Ratio());
        if (comparison.bNaive)
            printf("  naive %10.2f us", comparison.naive.dMedian);
        printf("\n");
        fflush(stdout);
    }

    // Initialize of pSelection against its floor, the one walk over the
    // block; with naiveCounts' samples, also what one DragQueryFileW call
    // per name costs (none when naiveCounts has no samples).
    Comparison CompareInitialize(const std::string& strOperation, IShellExtInit* pInit, IDataObject* pSelection,
                                 const std::vector<std::wstring>& vecFiles, SampleCounts counts,
                                 SampleCounts naiveCounts)
    {
        Comparison comparison = CompareWithFloor(
            strOperation.c_str(), Scaled(counts, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                const HRESULT hr = bOurs ? pInit->Initialize(nullptr, pSelection, nullptr)
                                         : FloorInitialize(m_floor, pSelection);
                m_checks.Expect(hr == S_OK, "Initialize");
            },
            // Hand-off timers that are due run here, outside the timed span.
            [](bool) { PumpPendingMessages(); });
        m_checks.Expect(m_floor.vecSelectedFiles == vecFiles, "the floor captured the selection");
        if (naiveCounts.nSamples == 0)
            return comparison;
        comparison.bNaive = true;
        comparison.naive = TimeAlone(
            Scaled(naiveCounts, m_options.dScale),
            [&](size_t) { m_checks.Expect(FloorInitializeNaive(m_floor, pSelection) == S_OK, "naive Initialize"); },
            [] { PumpPendingMessages(); });
        m_checks.Expect(m_floor.vecSelectedFiles == vecFiles, "the naive floor captured the selection");
        return comparison;
    }

    void TimeCreation()
    {
        Add(CompareWithFloor(
            "class object + instance", Scaled({50, 1000, 50}, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                if (!bOurs)
                    return FloorCreateAndRelease(m_floor);
                IClassFactory* pFactory = nullptr;
                IUnknown* pObject = nullptr;
                HRESULT hr = m_dll.GetClassObject(IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
                if (SUCCEEDED(hr))
                {
                    hr = pFactory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&pObject));
                    if (SUCCEEDED(hr))
                        pObject->Release();
                    pFactory->Release();
                }
                m_checks.Expect(SUCCEEDED(hr), "class object and instance");
            },
            Nothing));
    }

    void TimeInitialize()
    {
        Add(CompareInitialize("Initialize (2 files)", m_object.init.Get(), m_pSelection, m_fixture.vecSelection,
                              {10, 300, 5}, {10, 300, 5}));
    }

    void TimeQueryContextMenu(const char* pszOperation, UINT uFlags, HRESULT nExpected)
    {
        HMENU hHost = nullptr;
        Add(CompareWithFloor(
            pszOperation, Scaled({10, 300, 1}, m_options.dScale), [&](bool) { hHost = MakeHostMenu(); },
            [&](bool bOurs, size_t) {
                const HRESULT hr =
                    bOurs ? m_object.menu->QueryContextMenu(hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast, uFlags)
                          : FloorQueryContextMenu(m_floor, hHost, kIndexMenu, kIdCmdFirst, uFlags);
                m_checks.Expect(hr == MAKE_HRESULT(SEVERITY_SUCCESS, 0, nExpected), "QueryContextMenu result");
            },
            [&](bool) {
                int nItems = 0;
                UINT idFirst = 0;
                m_checks.Expect(DescribeMarkerMenu(hHost, nItems, idFirst) && nItems == 14 && idFirst == kIdCmdFirst,
                                "the marker submenu");
                ::DestroyMenu(hHost);
            }));
    }

    // The chosen item is "Done Work". With bProgramStarts, each sample waits
    // (untimed) for the program it started to end, so that no program start
    // overlaps the next sample.
    void TimeInvokeCommand(const char* pszOperation, IContextMenu* pMenu, SampleCounts counts, bool bProgramStarts)
    {
        HANDLE hProgramDone = bProgramStarts ? CreateStartedProgramSignal() : nullptr;
        // The menu the user chose from.
        HMENU hHost = MakeHostMenu();
        pMenu->QueryContextMenu(hHost, kIndexMenu, kIdCmdFirst, kIdCmdLast, CMF_NORMAL);
        FloorQueryContextMenu(m_floor, hHost, kIndexMenu + 1, kIdCmdFirst, CMF_NORMAL);
        Add(CompareWithFloor(
            pszOperation, counts, Nothing,
            [&](bool bOurs, size_t) {
                const HRESULT hr =
                    bOurs ? InvokeOffset(pMenu, kDoneWorkOffset) : FloorInvokeCommand(m_floor, kDoneWorkOffset);
                m_checks.Expect(hr == S_OK, "InvokeCommand");
            },
            [&](bool) {
                if (hProgramDone == nullptr)
                    return;
                m_checks.Expect(::WaitForSingleObject(hProgramDone, 30000) == WAIT_OBJECT_0, "the program started");
                ::Sleep(100);  // its process ends
            }));
        ::DestroyMenu(hHost);
        if (hProgramDone != nullptr)
            ::CloseHandle(hProgramDone);
    }

    void TimeIconLocation(const IconCase& iconCase)
    {
        ExtensionObject object;
        if (FAILED(CreateExtensionObject(m_dll, object)) || FAILED(object.file->Load(iconCase.strFile.c_str(), 0)))
        {
            m_checks.Expect(false, "an object for the icon request");
            return;
        }
        FloorLoad(m_floor, iconCase.strFile.c_str());
        const std::string strOperation = std::string("GetIconLocation, ") + iconCase.pszName;
        Add(CompareWithFloor(
            strOperation.c_str(), Scaled({20, 500, 20}, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                wchar_t szLocation[MAX_PATH] = {};
                int nIndex = -1;
                UINT uFlags = 0;
                const HRESULT hr =
                    bOurs ? object.icon->GetIconLocation(0, szLocation, MAX_PATH, &nIndex, &uFlags)
                          : FloorGetIconLocation(m_floor, szLocation, MAX_PATH, &nIndex, &uFlags);
                m_checks.Expect(hr == S_OK && uFlags == GIL_DONTCACHE && IconLocationIs(iconCase, szLocation, nIndex),
                                bOurs ? "GetIconLocation answer" : "the floor's icon location");
            },
            Nothing));
    }

    // The Windows 11 menu's Explorer command, through its DLL's class object
    // as the packaged activation reaches it. The state is asked only where
    // the command hides: where it shows, it would start a delayed hand-off
    // per sample.
    void TimeExplorerCommand()
    {
        const std::wstring strCommandDll = CommandDllBesideProgram();
        if (strCommandDll.empty())
            return;
        CLibraryHandle dll;
        CInterfacePtr<IClassFactory> factory;
        CInterfacePtr<IExplorerCommand> top;
        std::string strError;
        CInterfacePtr<IShellItemArray> selection(CreateShellItemArray(m_fixture.vecSelection));
        if (!LoadCommandClassObject(strCommandDll, ORVANE_EXPLORER_COMMAND_CLSID_INIT, dll, factory, strError) ||
            FAILED(factory->CreateInstance(nullptr, IID_IExplorerCommand, top.ReceiveVoid())) || !selection)
        {
            printf("the Explorer command: %s\n", strError.c_str());
            m_checks.Expect(false, "the Explorer command");
            return;
        }
        Add(CompareWithFloor(
            "command: title of a new command", Scaled({10, 300, 5}, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                LPWSTR pszTitle = nullptr;
                HRESULT hr;
                if (bOurs)
                {
                    IExplorerCommand* pCommand = nullptr;
                    hr = factory->CreateInstance(nullptr, IID_IExplorerCommand, reinterpret_cast<void**>(&pCommand));
                    if (SUCCEEDED(hr))
                    {
                        hr = pCommand->GetTitle(selection.Get(), &pszTitle);
                        pCommand->Release();
                    }
                }
                else
                    hr = FloorCommandTitle(m_floor, &pszTitle);
                m_checks.Expect(hr == S_OK && pszTitle != nullptr && wcscmp(pszTitle, L"Mark File") == 0,
                                "the command's title");
                ::CoTaskMemFree(pszTitle);
            },
            Nothing));

        Add(CompareWithFloor(
            "command: subcommands with icons", Scaled({10, 300, 2}, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                size_t nCommands = kSubcommandCount;
                const int nIcons = bOurs ? ReadSubcommands(top.Get(), selection.Get(), nCommands)
                                         : FloorCommandSubcommands(m_floor, strCommandDll.c_str());
                m_checks.Expect(nCommands == kSubcommandCount && nIcons == kSubcommandIcons,
                                "the subcommands and their icons");
            },
            Nothing));

        // The state a classic menu asks for, in the folder view's site: the
        // command hides there, so no hand-off starts per sample.
        CInterfacePtr<IUnknown> site;
        CInterfacePtr<IExplorerCommand> sited;
        if (FAILED(factory->CreateInstance(nullptr, IID_IExplorerCommand, sited.ReceiveVoid())) ||
            FAILED(SiteCommand(sited.Get(), HostSite::Classic, site)))
        {
            m_checks.Expect(false, "a command in a classic menu's site");
            return;
        }
        Add(CompareWithFloor(
            "command: GetState in a classic site", Scaled({10, 300, 20}, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                EXPCMDSTATE state = ECS_ENABLED;
                const HRESULT hr = bOurs ? sited->GetState(selection.Get(), FALSE, &state)
                                         : FloorCommandState(site.Get(), selection.Get(), &state);
                m_checks.Expect(hr == S_OK && state == ECS_HIDDEN, "the command hidden in a classic site");
            },
            Nothing));

        // The subcommand the user chose; "Done Work" as in the menu above.
        CInterfacePtr<IEnumExplorerCommand> subcommands;
        IExplorerCommand* apCommands[kDoneWorkSubcommand + 1] = {};
        ULONG nFetched = 0;
        if (FAILED(top->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(subcommands.ReceiveVoid()))) ||
            subcommands->Next(kDoneWorkSubcommand + 1, apCommands, &nFetched) != S_OK)
        {
            m_checks.Expect(false, "the subcommand to invoke");
            return;
        }
        CInterfacePtr<IExplorerCommand> chosen(apCommands[kDoneWorkSubcommand]);
        for (size_t i = 0; i < kDoneWorkSubcommand; ++i)
            apCommands[i]->Release();
        HMENU hHost = MakeHostMenu();
        FloorQueryContextMenu(m_floor, hHost, kIndexMenu, kIdCmdFirst, CMF_NORMAL);
        ::DestroyMenu(hHost);
        Add(CompareWithFloor(
            "command: Invoke, start skipped", Scaled({5, 300, 5}, m_options.dScale), Nothing,
            [&](bool bOurs, size_t) {
                const HRESULT hr = bOurs ? chosen->Invoke(selection.Get(), nullptr)
                                         : FloorCommandInvoke(m_floor, selection.Get(), kDoneWorkOffset);
                m_checks.Expect(hr == S_OK, "the command's Invoke");
            },
            Nothing));
        TimeCommandSelections();
    }

    // The command's state and a chosen item on large selections, through an
    // array that charges a round trip per call as Explorer's proxy does.
    void TimeCommandSelections()
    {
        CLibraryHandle dll;
        CInterfacePtr<IClassFactory> factory;
        std::string strError;
        if (!LoadCommandClassObject(CommandDllBesideProgram(), ORVANE_EXPLORER_COMMAND_CLSID_INIT, dll, factory,
                                    strError))
        {
            m_checks.Expect(false, "the Explorer command");
            return;
        }
        const struct
        {
            size_t nFiles;
            const char* pszSize;
        } sizes[] = {{2, "2 files"}, {1000, "1,000 files"}, {10000, "10,000 files"}, {100000, "100,000 files"}};
        // The floor's settings and menu records, as before a classic InvokeCommand.
        m_checks.Expect(FloorInitialize(m_floor, m_pSelection) == S_OK, "the floor's settings");
        HMENU hHost = MakeHostMenu();
        FloorQueryContextMenu(m_floor, hHost, kIndexMenu, kIdCmdFirst, CMF_NORMAL);
        ::DestroyMenu(hHost);
        std::vector<Comparison> vecState;
        std::vector<Comparison> vecInvoke;
        for (const auto& size : sizes)
        {
            CommandSelectionRun run = {factory.Get(), &m_floor, ManySelectedFiles(size.nFiles), m_options.dScale};
            const std::vector<Comparison> vecRows = TimeCommandSelection(run, size.pszSize, size.nFiles <= 10000);
            m_checks.Expect(run.nFailures == 0 && vecRows.size() == 2, "the command on a large selection");
            for (const Comparison& row : vecRows)
                Add(row);
            if (vecRows.size() == 2)
            {
                vecState.push_back(vecRows[0]);
                vecInvoke.push_back(vecRows[1]);
            }
            PumpPendingMessages();
        }
        const char* const apszGrowth[] = {"", "1,000 -> 10,000", "10,000 -> 100,000"};
        for (size_t i = 1; i + 1 < vecState.size() && i + 1 < vecInvoke.size(); ++i)
        {
            PrintGrowth("command: GetState", apszGrowth[i], vecState[i], vecState[i + 1]);
            PrintGrowth("command: Invoke", apszGrowth[i], vecInvoke[i], vecInvoke[i + 1]);
        }
    }

    // A folder's worth of selected files (60-character paths): Initialize at
    // three sizes, InvokeCommand at the two smaller, and how each grows with
    // ten times the files against its floor. The naive reader's figure is
    // quadratic: it would take minutes per call at 100,000 files, so it is
    // taken only up to 10,000.
    void TimeLargeSelections()
    {
        const struct
        {
            size_t nFiles;
            const char* pszFiles;
            SampleCounts initialize;
            SampleCounts naive;
            SampleCounts invoke;
        } sizes[] = {
            {1000, "1,000", {3, 100, 1}, {2, 30, 1}, {3, 300, 1}},
            {10000, "10,000", {2, 50, 1}, {1, 5, 1}, {2, 100, 1}},
            {100000, "100,000", {2, 30, 1}, {0, 0, 0}, {0, 0, 0}},
        };
        std::vector<Comparison> vecInitialize, vecInvoke;
        for (const auto& size : sizes)
        {
            const std::vector<std::wstring> vecFiles = ManySelectedFiles(size.nFiles);
            IDataObject* pSelection = CreateHDropDataObject(vecFiles);
            ExtensionObject object;
            if (pSelection == nullptr || FAILED(CreateExtensionObject(m_dll, object)))
            {
                m_checks.Expect(false, "set-up of a large selection");
                if (pSelection != nullptr)
                    pSelection->Release();
                return;
            }
            const std::string strSize = std::string(" (") + size.pszFiles + " files)";
            Add(CompareInitialize("Initialize" + strSize, object.init.Get(), pSelection, vecFiles, size.initialize,
                                  size.naive));
            vecInitialize.push_back(m_vecResults.back());
            if (size.invoke.nSamples != 0)
            {
                TimeInvokeCommand(("InvokeCommand, start skipped" + strSize).c_str(), object.menu.Get(),
                                  Scaled(size.invoke, m_options.dScale), false);
                vecInvoke.push_back(m_vecResults.back());
            }
            pSelection->Release();
        }
        PrintGrowth("Initialize", "1,000 -> 10,000", vecInitialize[0], vecInitialize[1]);
        PrintGrowth("Initialize", "10,000 -> 100,000", vecInitialize[1], vecInitialize[2]);
        PrintGrowth("InvokeCommand", "1,000 -> 10,000", vecInvoke[0], vecInvoke[1]);
    }

    static std::vector<std::wstring> ManySelectedFiles(size_t nFiles)
    {
        std::vector<std::wstring> vecFiles;
        vecFiles.reserve(nFiles);
        for (size_t i = 0; i < nFiles; ++i)
        {
            wchar_t szPath[MAX_PATH];
            _snwprintf(szPath, MAX_PATH, L"C:\\OrvaneBench\\Selection\\Photos of this year\\IMG_%07u.jpg",
                       static_cast<unsigned>(i));
            szPath[MAX_PATH - 1] = L'\0';
            vecFiles.push_back(szPath);
        }
        return vecFiles;
    }

    static void PrintGrowth(const char* pszOperation, const char* pszSizes, const Comparison& smaller,
                            const Comparison& larger)
    {
        printf("growth %s files, %-15s ours x%.1f  floor x%.1f", pszSizes, pszOperation,
               larger.ours.dMedian / smaller.ours.dMedian, larger.floor.dMedian / smaller.floor.dMedian);
        if (smaller.bNaive && larger.bNaive)
            printf("  naive x%.1f", larger.naive.dMedian / smaller.naive.dMedian);
        printf("\n");
        fflush(stdout);
    }

    // The main application named in the registry: the benchmark program
    // itself, which ends at once when started with a switch.
    void TimeProgramStart()
    {
        wchar_t szSelf[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
        SetMainApplication(szSelf);
        ExtensionObject object;
        if (FAILED(CreateExtensionObject(m_dll, object)) ||
            object.init->Initialize(nullptr, m_pSelection, nullptr) != S_OK ||
            FloorInitialize(m_floor, m_pSelection) != S_OK)
        {
            m_checks.Expect(false, "set-up of the program start");
            return;
        }
        const size_t nSamples = m_options.dScale < 1 ? 5 : 40;
        TimeInvokeCommand("InvokeCommand + program start", object.menu.Get(), {2, nSamples, 1}, true);
        SetMainApplication(std::wstring());
    }

    const CExtensionDll& m_dll;
    const BenchFixture& m_fixture;
    const BenchOptions& m_options;
    FloorState m_floor;
    ExtensionObject m_object;
    IDataObject* m_pSelection = nullptr;
    std::vector<Comparison> m_vecResults;
    CChecks m_checks;
};

}  // namespace

int RunBenchmark(const CExtensionDll& dll, const BenchFixture& fixture, const BenchOptions& options)
{
    CBenchmark benchmark(dll, fixture, options);
    return benchmark.Run();
}
