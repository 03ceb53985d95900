#include "tools/bench/ResourceCounts.h"

#include <windows.h>
#include <psapi.h>

#include <winternl.h>

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

long ProbeUserObjects(bool bWindows)
{
    static const auto pfnFrameInfo = FindSystemFunction<GetCursorFrameInfoFn>(L"user32.dll", "GetCursorFrameInfo");
    const ULONG_PTR kFirst = 0x20;
    const ULONG_PTR kLast = 0xFFEF;
    long nCount = 0;
    for (ULONG_PTR h = kFirst; h <= kLast; h += 2)
    {
        HANDLE hProbe = reinterpret_cast<HANDLE>(h);
        DWORD dwRate = 0;
        DWORD dwSteps = 0;
        if (::IsMenu(static_cast<HMENU>(hProbe)) || (bWindows && ::IsWindow(static_cast<HWND>(hProbe))) ||
            (pfnFrameInfo != nullptr && pfnFrameInfo(static_cast<HCURSOR>(hProbe), 0, 0, &dwRate, &dwSteps) != nullptr))
            ++nCount;
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
// windows out (for code that creates none) and probes handles only up to
// the first long run of free values.
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
        counts.nUserObjects = ProbeUserObjects(!bFast);
    }
    DWORD dwHandles = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &dwHandles) && dwHandles != 0)
        counts.nHandles = static_cast<long>(dwHandles);
    else
        counts.nHandles = bFast ? ProbeHandlesUpToGap() : ProbeHandles();
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
