#include "tools/bench/ResourceCounts.h"

#include <windows.h>
#include <psapi.h>

#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "ShellExt/core/SystemFunction.h"

namespace {

// Wine keeps GDI objects in a table of 65536 entries and accepts a handle
// whose upper word is 0 for any entry in use, so probing every index with
// GetObjectType counts the live objects. (Windows checks the upper word and
// answers GetGuiResources itself.)
long ProbeGdiObjects()
{
    long nCount = 0;
    for (ULONG_PTR i = 1; i < 0x10000; ++i)
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0)
            ++nCount;
    return nCount;
}

// USER handles in Wine are 0x20 + 2 * index with a generation in the upper
// word, which may be left 0. Menus, windows and icons are what a context-menu
// handler can create; GetCursorFrameInfo answers for icons and cursors
// without copying anything.
using GetCursorFrameInfoFn = HCURSOR(WINAPI*)(HCURSOR, DWORD, DWORD, DWORD*, DWORD*);

const ULONG_PTR kFirstUserHandle = 0x20;
const ULONG_PTR kLastUserHandle = 0xFFEF;

bool IsUserObject(ULONG_PTR nHandle, bool bWindows)
{
    static const auto pfnFrameInfo = FindSystemFunction<GetCursorFrameInfoFn>(L"user32.dll", "GetCursorFrameInfo");
    HANDLE hProbe = reinterpret_cast<HANDLE>(nHandle);
    DWORD dwRate = 0;
    DWORD dwSteps = 0;
    return ::IsMenu(static_cast<HMENU>(hProbe)) || (bWindows && ::IsWindow(static_cast<HWND>(hProbe))) ||
           (pfnFrameInfo != nullptr && pfnFrameInfo(static_cast<HCURSOR>(hProbe), 0, 0, &dwRate, &dwSteps) != nullptr);
}

long ProbeUserObjects(bool bWindows)
{
    long nCount = 0;
    for (ULONG_PTR h = kFirstUserHandle; h <= kLastUserHandle; h += 2)
        if (IsUserObject(h, bWindows))
            ++nCount;
    return nCount;
}

// Menus and icons only, faster. Wine's server gives a new USER object the
// entry freed last, or else the first entry never used, so the entries in use
// lie together from the start of the table: the probe stops after a long run
// of entries that are not this process's menus or icons beyond the highest
// one ever seen here (a run longer than any number of objects one sample's
// worth of code makes and frees).
long ProbeMenusAndIconsUpToGap()
{
    const ULONG_PTR kFreeRun = 2 * 4096;
    static ULONG_PTR s_nHighest = kFirstUserHandle;
    long nCount = 0;
    for (ULONG_PTR h = kFirstUserHandle; h <= kLastUserHandle && h <= s_nHighest + kFreeRun; h += 2)
    {
        if (!IsUserObject(h, false))
            continue;
        ++nCount;
        s_nHighest = std::max(s_nHighest, h);
    }
    return nCount;
}

// Kernel handles are multiples of 4. The range grows while handles turn up
// near its end, so a leak that pushes handles higher is still seen.
long ProbeHandles()
{
    static ULONG_PTR s_nLimit = 0x4000;
    for (;;)
    {
        long nCount = 0;
        ULONG_PTR nHighest = 0;
        for (ULONG_PTR h = 4; h < s_nLimit; h += 4)
        {
            DWORD dwFlags = 0;
            if (::GetHandleInformation(reinterpret_cast<HANDLE>(h), &dwFlags))
            {
                ++nCount;
                nHighest = h;
            }
        }
        if (nHighest < s_nLimit / 2)
            return nCount;
        s_nLimit *= 2;
    }
}

// The same, faster: Wine hands out the lowest free handle value first, so
// the values in use lie together from the start, and the probe can stop after
// a long run of free ones.
long ProbeHandlesUpToGap()
{
    const ULONG_PTR kFreeRun = 4 * 1024;
    long nCount = 0;
    ULONG_PTR nHighest = 0;
    for (ULONG_PTR h = 4; h <= nHighest + kFreeRun; h += 4)
    {
        DWORD dwFlags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(h), &dwFlags))
        {
            ++nCount;
            nHighest = h;
        }
    }
    return nCount;
}

// Wine lists every process's handles in one call to its server (the
// system's handle list, extended form): counting this process's entries
// there is exact and costs one call where probing costs one per value. -1
// where the list cannot be had. The buffer comes from the system's pages and
// is kept, so that a sample leaves the heaps as it found them.
long CountHandlesInSystemList()
{
    struct HandleEntry
    {
        PVOID pObject;
        ULONG_PTR nProcessId;
        ULONG_PTR nHandle;
        ULONG dwAccess;
        USHORT nBackTraceIndex;
        USHORT nTypeIndex;
        ULONG dwAttributes;
        ULONG dwReserved;
    };
    struct HandleList
    {
        ULONG_PTR nHandles;
        ULONG_PTR nReserved;
        HandleEntry rgEntries[1];
    };
    using NtQuerySystemInformationFn = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto pfnQuery =
        FindSystemFunction<NtQuerySystemInformationFn>(L"ntdll.dll", "NtQuerySystemInformation");
    const ULONG kSystemExtendedHandleInformation = 64;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    static void* s_pBuffer = nullptr;
    static ULONG s_cbBuffer = 0;
    if (pfnQuery == nullptr)
        return -1;
    for (int nAttempt = 0; nAttempt < 4; ++nAttempt)
    {
        ULONG cbNeeded = 0;
        const LONG status = s_pBuffer != nullptr
                                ? pfnQuery(kSystemExtendedHandleInformation, s_pBuffer, s_cbBuffer, &cbNeeded)
                                : kInfoLengthMismatch;
        if (status >= 0)
        {
            const auto* pList = static_cast<const HandleList*>(s_pBuffer);
            const ULONG_PTR nProcessId = ::GetCurrentProcessId();
            long nCount = 0;
            for (ULONG_PTR i = 0; i < pList->nHandles; ++i)
                nCount += pList->rgEntries[i].nProcessId == nProcessId ? 1 : 0;
            return nCount;
        }
        if (status != kInfoLengthMismatch)
            return -1;
        if (s_pBuffer != nullptr)
            ::VirtualFree(s_pBuffer, 0, MEM_RELEASE);
        // Room for the handles opened before the next call, and more.
        s_cbBuffer = std::max<ULONG>(2 * s_cbBuffer, cbNeeded + 64 * 1024);
        s_pBuffer = ::VirtualAlloc(nullptr, s_cbBuffer, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (s_pBuffer == nullptr)
            return -1;
    }
    return -1;
}

// Committed private memory, region by region: what PrivateUsage reports on
// Windows.
uint64_t WalkPrivateCommit()
{
    SYSTEM_INFO info = {};
    ::GetSystemInfo(&info);
    uint64_t cbTotal = 0;
    auto* pAddress = static_cast<BYTE*>(info.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION mbi = {};
    while (pAddress < info.lpMaximumApplicationAddress && ::VirtualQuery(pAddress, &mbi, sizeof(mbi)) == sizeof(mbi))
    {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            cbTotal += mbi.RegionSize;
        BYTE* pNext = static_cast<BYTE*>(mbi.BaseAddress) + mbi.RegionSize;
        if (pNext <= pAddress)
            break;
        pAddress = pNext;
    }
    return cbTotal;
}

std::string TypeOfHandle(HANDLE hHandle)
{
    using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto pfnQuery = FindSystemFunction<NtQueryObjectFn>(L"ntdll.dll", "NtQueryObject");
    const int kObjectTypeInformation = 2;
    alignas(8) BYTE buffer[1024] = {};
    if (pfnQuery == nullptr || pfnQuery(hHandle, kObjectTypeInformation, buffer, sizeof(buffer), nullptr) < 0)
        return "?";
    const auto* pName = reinterpret_cast<const UNICODE_STRING*>(buffer);
    std::string strName;
    for (USHORT i = 0; i < pName->Length / sizeof(wchar_t); ++i)
        strName += static_cast<char>(pName->Buffer[i] < 128 ? pName->Buffer[i] : '?');
    return strName;
}

bool GuiResourcesWork()
{
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS) != 0;
}

bool HandleCountWorks()
{
    DWORD dwCount = 0;
    return ::GetProcessHandleCount(::GetCurrentProcess(), &dwCount) && dwCount != 0;
}

uint64_t ReportedPrivateUsage()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                   sizeof(counters)))
        return 0;
    return counters.PrivateUsage;
}

// Asking about a window that is not the process's own costs a call to the
// Wine server each, a third of a second for all of them: bFast leaves
// windows out (for code that creates none), probes menus and icons only up
// to the first long run of entries not in use, and takes the handles from
// the system's list. A sample then costs about a millisecond instead of
// some 25, which matters to the fault sweep: it takes two per failure point.
ResourceCounts SampleObjectCounts(bool bFast)
{
    ResourceCounts counts;
    if (GuiResourcesWork())
    {
        counts.nGdiObjects = static_cast<long>(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
        counts.nUserObjects = static_cast<long>(::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS));
    }
    else
    {
        counts.nGdiObjects = ProbeGdiObjects();
        counts.nUserObjects = bFast ? ProbeMenusAndIconsUpToGap() : ProbeUserObjects(true);
    }
    DWORD dwHandles = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &dwHandles) && dwHandles != 0)
        counts.nHandles = static_cast<long>(dwHandles);
    else if (!bFast)
        counts.nHandles = ProbeHandles();
    else if ((counts.nHandles = CountHandlesInSystemList()) < 0)
        counts.nHandles = ProbeHandlesUpToGap();
    return counts;
}

}  // namespace

ResourceCounts SampleResources()
{
    ResourceCounts counts = SampleObjectCounts(false);
    counts.cbPrivate = ReportedPrivateUsage();
    if (counts.cbPrivate == 0)
        counts.cbPrivate = WalkPrivateCommit();
    return counts;
}

ResourceCounts SampleLeakCounts()
{
    return SampleObjectCounts(true);
}

HeapUsage SampleHeapUsage()
{
    HANDLE rgHeaps[256];
    const DWORD nHeaps = ::GetProcessHeaps(256, rgHeaps);
    HeapUsage usage;
    for (DWORD i = 0; i < nHeaps && i < 256; ++i)
    {
        if (!::HeapLock(rgHeaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (::HeapWalk(rgHeaps[i], &entry))
        {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) == 0)
                continue;
            ++usage.nBlocks;
            usage.cbBusy += entry.cbData;
        }
        ::HeapUnlock(rgHeaps[i]);
    }
    return usage;
}

void SettleHeapChecking()
{
    // More than the 1024 blocks Wine keeps waiting per heap.
    const int kBlocks = 2100;
    HANDLE rgHeaps[256];
    const DWORD nHeaps = ::GetProcessHeaps(256, rgHeaps);
    for (DWORD i = 0; i < nHeaps && i < 256; ++i)
        for (int n = 0; n < kBlocks; ++n)
            ::HeapFree(rgHeaps[i], 0, ::HeapAlloc(rgHeaps[i], 0, 16));
}

std::string DescribeHandleTypes()
{
    std::map<std::string, int> mapTypes;
    for (ULONG_PTR h = 4; h < 0x10000; h += 4)
    {
        DWORD dwFlags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(h), &dwFlags))
            ++mapTypes[TypeOfHandle(reinterpret_cast<HANDLE>(h))];
    }
    std::string strText;
    for (const auto& entry : mapTypes)
        strText += (strText.empty() ? "" : ", ") + entry.first + " " + std::to_string(entry.second);
    return strText;
}

std::string DescribeResourceMethods()
{
    std::string strText;
    strText += GuiResourcesWork() ? "GDI/USER objects: GetGuiResources\n"
                                  : "GDI/USER objects: GetGuiResources answers 0 (not implemented here); counted by "
                                    "probing every GDI handle index with GetObjectType and every USER handle index "
                                    "with IsMenu/IsWindow/GetCursorFrameInfo\n";
    strText += HandleCountWorks() ? "handles: GetProcessHandleCount\n"
                                  : "handles: GetProcessHandleCount answers 0 (not implemented here); counted by "
                                    "probing handle values with GetHandleInformation\n";
    strText += ReportedPrivateUsage() != 0 ? "private memory: K32GetProcessMemoryInfo PrivateUsage\n"
                                           : "private memory: PrivateUsage answers 0 (not implemented here); summed "
                                             "over committed private regions with VirtualQuery\n";
    return strText;
}

bool SelfTestResourceCounts(std::string& strReport)
{
    const int kObjects = 40;
    const size_t cbBlock = 4 << 20;
    const ResourceCounts before = SampleResources();

    std::vector<HBITMAP> vecBitmaps;
    std::vector<HMENU> vecMenus;
    std::vector<HICON> vecIcons;
    std::vector<HANDLE> vecEvents;
    for (int i = 0; i < kObjects; ++i)
    {
        vecBitmaps.push_back(::CreateBitmap(4, 4, 1, 1, nullptr));
        vecMenus.push_back(::CreatePopupMenu());
        vecEvents.push_back(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
    // Each icon also holds GDI bitmaps of its own; only the USER count is
    // checked for them.
    BYTE andBits[32 * 4] = {};
    BYTE xorBits[32 * 4] = {};
    for (int i = 0; i < kObjects; ++i)
        vecIcons.push_back(::CreateIcon(nullptr, 32, 32, 1, 1, andBits, xorBits));
    void* pBlock = ::VirtualAlloc(nullptr, cbBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const ResourceCounts during = SampleResources();

    for (HBITMAP h : vecBitmaps)
        ::DeleteObject(h);
    for (HMENU h : vecMenus)
        ::DestroyMenu(h);
    for (HICON h : vecIcons)
        ::DestroyIcon(h);
    for (HANDLE h : vecEvents)
        ::CloseHandle(h);
    ::VirtualFree(pBlock, 0, MEM_RELEASE);
    const ResourceCounts after = SampleResources();

    char szLine[512];
    snprintf(szLine, sizeof(szLine),
             "self-test: gdi %ld -> %ld -> %ld, user %ld -> %ld -> %ld, handles %ld -> %ld -> %ld, "
             "private KiB %llu -> %llu -> %llu\n",
             before.nGdiObjects, during.nGdiObjects, after.nGdiObjects, before.nUserObjects, during.nUserObjects,
             after.nUserObjects, before.nHandles, during.nHandles, after.nHandles,
             static_cast<unsigned long long>(before.cbPrivate / 1024),
             static_cast<unsigned long long>(during.cbPrivate / 1024),
             static_cast<unsigned long long>(after.cbPrivate / 1024));
    strReport = szLine;
    return during.nGdiObjects - before.nGdiObjects >= kObjects &&
           during.nUserObjects - before.nUserObjects >= 2 * kObjects &&
           during.nHandles - before.nHandles >= kObjects && during.cbPrivate - before.cbPrivate >= cbBlock &&
           after.nGdiObjects <= before.nGdiObjects && after.nUserObjects <= before.nUserObjects &&
           after.nHandles <= before.nHandles;
}
