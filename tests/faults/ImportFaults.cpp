#include "tests/faults/ImportFaults.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <uxtheme.h>
#include <oleauto.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "ShellExt/core/SystemFunction.h"

namespace ImportFaults {
namespace {

// One failable function: how it fails, and where its calls go otherwise.
struct ImportSlot
{
    const char* pszName;
    bool bLookedUp;       // reached through GetProcAddress, not the import table
    intptr_t nFailResult; // what the call returns when it fails
    DWORD dwError;        // the error code it sets then
    int nErrno;           // the C runtime's errno, for its allocation functions
    void* pfnHook;        // the stand-in
    void* pfnOriginal;    // the real function
    void* pfnCall;        // what a call that does not fail reaches (the real function unless replaced)
    void* pfnFail;        // a failure that has to do more than return a value, or null
    unsigned nPassed;     // calls let through, on any thread
};

template <int Id>
ImportSlot g_slot = {};

// The counting state of the one armed thread.
struct CountingState
{
    DWORD dwThreadId = 0;
    unsigned nCalls = 0;
    unsigned nFailAt = 0;
    const char* pszFailed = nullptr;
};
CountingState g_state;

// Names of the last counting run; fixed, so that recording allocates nothing
// while the sweep measures the heap.
const unsigned kMaxRecorded = 16384;
const char* g_rgRecorded[kMaxRecorded];
const void* g_rgCallers[kMaxRecorded];  // offsets into the calling module

bool CountAndDecide(const ImportSlot& slot, const void* pCaller)
{
    if (g_state.dwThreadId == 0 || ::GetCurrentThreadId() != g_state.dwThreadId)
        return false;
    const unsigned nCall = ++g_state.nCalls;
    if (g_state.nFailAt == 0)
    {
        if (nCall <= kMaxRecorded)
        {
            g_rgRecorded[nCall - 1] = slot.pszName;
            // As an offset into its module: a private copy of the DLL may be
            // gone by the time the call is reported.
            MEMORY_BASIC_INFORMATION info = {};
            ::VirtualQuery(pCaller, &info, sizeof(info));
            g_rgCallers[nCall - 1] = reinterpret_cast<const void*>(static_cast<const BYTE*>(pCaller) -
                                                                    static_cast<const BYTE*>(info.AllocationBase));
        }
        return false;
    }
    if (nCall != g_state.nFailAt)
        return false;
    g_state.pszFailed = slot.pszName;
    return true;
}

template <class R>
R FailureResult(const ImportSlot& slot)
{
    if (slot.nErrno != 0)
        errno = slot.nErrno;
    ::SetLastError(slot.dwError);
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(slot.nFailResult);
    else
        return static_cast<R>(slot.nFailResult);
}

unsigned g_nPlatformRegisterRestored = 0;

// Windows on ARM64 keeps the thread's TEB in x18 across every call. Debian's
// arm64 Wine 8 builds its own DLLs as Linux code, and some of them return
// with x18 changed by the Linux C library, which may use it freely (seen
// after ILCreateFromPathW and IShellItem::GetDisplayName); the next call
// into Wine's heap puts it back. A DLL that throws right after such a call
// faults in the C++ runtime's first thread-local access. A failing call is
// the last one the DLL sees before it throws, so there the stand-in gives x18
// the value Windows guarantees, and counts each time it had to. Elsewhere
// it does nothing.
void KeepPlatformRegister()
{
#if defined(__aarch64__)
    void* pX18 = nullptr;
    __asm__ volatile("mov %0, x18" : "=r"(pX18));
    struct
    {
        LONG nExitStatus;
        void* pTeb;
        void* rgRest[4];
    } basic = {};
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto pfnQuery = FindSystemFunction<QueryThread>(L"ntdll.dll", "NtQueryInformationThread");
    if (pfnQuery == nullptr || pfnQuery(::GetCurrentThread(), 0 /* ThreadBasicInformation */, &basic,
                                        sizeof(basic), nullptr) != 0)
        return;
    if (pX18 != basic.pTeb)
        ++g_nPlatformRegisterRestored;
    // Also after the query, which is a call into Wine as well.
    __asm__ volatile("mov x18, %0" : : "r"(basic.pTeb));
#endif
}

template <class Function, class R, class... A>
R FailCall(const ImportSlot& slot, A... args)
{
    if constexpr (std::is_void_v<R>)
    {
        if (slot.pfnFail != nullptr)
            reinterpret_cast<Function>(slot.pfnFail)(args...);
        else
            FailureResult<R>(slot);
        KeepPlatformRegister();
    }
    else
    {
        const R result =
            slot.pfnFail != nullptr ? reinterpret_cast<Function>(slot.pfnFail)(args...) : FailureResult<R>(slot);
        KeepPlatformRegister();
        return result;
    }
}

// The stand-in of one function, for one calling convention: x86 has two
// (the system's callee-cleans, the C runtime's caller-cleans), x64 and ARM64
// one.
#define ORVANE_STAND_IN(name, convention)                                                                   \
    template <int Id, class R, class... A>                                                                  \
    R convention name(A... args)                                                                            \
    {                                                                                                       \
        using Function = R(convention*)(A...);                                                              \
        ImportSlot& slot = g_slot<Id>;                                                                      \
        if (CountAndDecide(slot, __builtin_return_address(0)))                                              \
            return FailCall<Function, R>(slot, args...);                                                    \
        ++slot.nPassed;                                                                                     \
        return reinterpret_cast<Function>(slot.pfnCall)(args...);                                          \
    }                                                                                                       \
    template <int Id, class R, class... A>                                                                  \
    ImportSlot* Describe(const char* pszName, R(convention* pfnReal)(A...), intptr_t nFailResult,           \
                         DWORD dwError, int nErrno = 0)                                                     \
    {                                                                                                       \
        g_slot<Id> = {pszName, false, nFailResult, dwError, nErrno,                                         \
                      reinterpret_cast<void*>(&name<Id, R, A...>), reinterpret_cast<void*>(pfnReal),        \
                      reinterpret_cast<void*>(pfnReal), nullptr, 0};                                        \
        return &g_slot<Id>;                                                                                 \
    }

ORVANE_STAND_IN(SystemStandIn, WINAPI)
#ifndef _WIN64
ORVANE_STAND_IN(RuntimeStandIn, __cdecl)
#endif
#undef ORVANE_STAND_IN

ImportSlot* LookedUp(ImportSlot* pSlot)
{
    pSlot->bLookedUp = true;
    pSlot->pfnOriginal = pSlot->pfnCall = nullptr;
    return pSlot;
}

ImportSlot* FailingWith(ImportSlot* pSlot, void* pfnFail)
{
    pSlot->pfnFail = pfnFail;
    return pSlot;
}

// A settings file that cannot be read gives the caller the default text.
DWORD WINAPI ProfileUnreadable(LPCWSTR pszSection, LPCWSTR pszKey, LPCWSTR pszDefault, LPWSTR pszOut, DWORD cchOut,
                               LPCWSTR /*pszFile*/)
{
    return ::GetPrivateProfileStringW(pszSection, pszKey, pszDefault, pszOut, cchOut,
                                      L"C:\\nonexistent folder\\unreadable.ini");
}

FARPROC WINAPI ProcAddressOfStandIn(HMODULE hModule, LPCSTR pszName);

using RegisterTypeLibForUserFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnRegisterTypeLibForUserFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Every call of the DLL that can fail for reasons outside it. Releases
// (CloseHandle, DeleteObject, RegCloseKey, free, ...) are left out: failing
// them would leak by construction, not find a leak.
#define FAILABLE(function, result, error) Describe<__LINE__>(#function, &::function, (intptr_t)(result), error)
#define FAILABLE_RUNTIME(function, result) \
    Describe<__LINE__>(#function, &::function, (intptr_t)(result), ERROR_NOT_ENOUGH_MEMORY, ENOMEM)
#define FAILABLE_LOOKED_UP(function, type, result, error) \
    LookedUp(Describe<__LINE__>(#function, static_cast<type>(nullptr), (intptr_t)(result), error))

ImportSlot* const* Slots(size_t& nSlots)
{
    static ImportSlot* const s_rgSlots[] = {
        // C runtime: what operator new and the string classes reach
        FAILABLE_RUNTIME(malloc, nullptr),
        FAILABLE_RUNTIME(calloc, nullptr),
        FAILABLE_RUNTIME(realloc, nullptr),
        FAILABLE_RUNTIME(_strdup, nullptr),
        // kernel: files, environment, resources, modules, locks, threads
        FAILABLE(CopyFileW, FALSE, ERROR_ACCESS_DENIED),
        FAILABLE(CreateFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED),
        FAILABLE(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED),
        FAILABLE(FindFirstFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED),
        FAILABLE(DeleteFileW, FALSE, ERROR_ACCESS_DENIED),
        FAILABLE(GetFinalPathNameByHandleW, 0, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(WriteFile, FALSE, ERROR_DISK_FULL),
        FAILABLE(GetEnvironmentVariableW, 0, ERROR_ENVVAR_NOT_FOUND),
        FAILABLE(GetTempPathW, 0, ERROR_NOT_ENOUGH_MEMORY),
        FailingWith(FAILABLE(GetPrivateProfileStringW, 0, ERROR_FILE_NOT_FOUND),
                    reinterpret_cast<void*>(&ProfileUnreadable)),
        FAILABLE(FindResourceW, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND),
        FAILABLE(LoadResource, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(LockResource, nullptr, ERROR_INVALID_HANDLE),
        FAILABLE(SizeofResource, 0, ERROR_RESOURCE_DATA_NOT_FOUND),
        FAILABLE(LoadLibraryExW, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(GetModuleFileNameW, 0, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(GetModuleHandleW, nullptr, ERROR_MOD_NOT_FOUND),
        FAILABLE(GetModuleHandleExW, FALSE, ERROR_MOD_NOT_FOUND),
        FAILABLE(GetProcAddress, nullptr, ERROR_PROC_NOT_FOUND),
        FAILABLE(MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION),
        FAILABLE(GlobalLock, nullptr, ERROR_INVALID_HANDLE),
        FAILABLE(GlobalSize, 0, ERROR_INVALID_HANDLE),
        FAILABLE(HeapAlloc, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(InitializeCriticalSectionEx, FALSE, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(OpenThread, nullptr, ERROR_ACCESS_DENIED),
        FAILABLE(WaitForSingleObject, WAIT_FAILED, ERROR_INVALID_HANDLE),
        FAILABLE(CreateThreadpoolTimer, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(CreateFileMappingW, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(MapViewOfFile, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(CreateProcessW, FALSE, ERROR_FILE_NOT_FOUND),
        FAILABLE(SetThreadLocale, FALSE, ERROR_INVALID_PARAMETER),
        // the process token: whether the host runs elevated
        FAILABLE(OpenProcessToken, FALSE, ERROR_ACCESS_DENIED),
        FAILABLE(GetTokenInformation, FALSE, ERROR_ACCESS_DENIED),
        // registry (the functions return their error)
        FAILABLE(RegOpenKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegCreateKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegQueryValueExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegGetValueW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegSetValueExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegDeleteValueW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegDeleteKeyW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegEnumKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegEnumValueW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE(RegQueryInfoKeyW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
        FAILABLE_LOOKED_UP(RegDeleteKeyExW, LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD), ERROR_ACCESS_DENIED,
                           ERROR_ACCESS_DENIED),
        // GDI
        FAILABLE(CreateDCW, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(CreateCompatibleDC, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(CreateBitmap, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(CreateCompatibleBitmap, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(CreateDIBSection, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(SelectObject, nullptr, ERROR_INVALID_HANDLE),
        FAILABLE(GetDIBits, 0, ERROR_INVALID_PARAMETER),
        // USER: menus, icons, timers, metrics
        FAILABLE(CreatePopupMenu, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(InsertMenuW, FALSE, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(SetMenuItemBitmaps, FALSE, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(LoadIconW, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND),
        FAILABLE(LoadImageW, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(PrivateExtractIconsW, 0, ERROR_FILE_NOT_FOUND),
        FAILABLE(CreateIconIndirect, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(GetIconInfo, FALSE, ERROR_INVALID_CURSOR_HANDLE),
        FAILABLE(DrawIconEx, FALSE, ERROR_INVALID_PARAMETER),
        FAILABLE(FillRect, 0, ERROR_INVALID_HANDLE),
        FAILABLE(GetSystemMetrics, 0, ERROR_SUCCESS),
        FAILABLE(SetTimer, 0, ERROR_NOT_ENOUGH_MEMORY),
        // UxTheme buffered paint
        FAILABLE(BeginBufferedPaint, nullptr, ERROR_NOT_ENOUGH_MEMORY),
        FAILABLE(GetBufferedPaintBits, E_FAIL, ERROR_SUCCESS),
        // shell and shell utilities
        FAILABLE(DragQueryFileW, 0, ERROR_INVALID_PARAMETER),
        FAILABLE(ShellExecuteW, SE_ERR_FNF, ERROR_FILE_NOT_FOUND),
        FAILABLE(ShellExecuteExW, FALSE, ERROR_FILE_NOT_FOUND),
        FAILABLE(SHGetFolderPathW, E_FAIL, ERROR_SUCCESS),
        FAILABLE(AssocQueryStringW, HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION), ERROR_NO_ASSOCIATION),
        FAILABLE(PathAppendW, FALSE, ERROR_SUCCESS),
        FAILABLE(SHLoadIndirectString, E_FAIL, ERROR_SUCCESS),
        FAILABLE(SHStrDupW, E_OUTOFMEMORY, ERROR_SUCCESS),
        // COM and OLE Automation
        FAILABLE(CoInitializeEx, E_OUTOFMEMORY, ERROR_SUCCESS),
        FAILABLE(CoCreateInstance, REGDB_E_CLASSNOTREG, ERROR_SUCCESS),
        FAILABLE(StringFromGUID2, 0, ERROR_SUCCESS),
        FAILABLE(LoadTypeLib, TYPE_E_CANTLOADLIBRARY, ERROR_SUCCESS),
        FAILABLE(RegisterTypeLib, TYPE_E_REGISTRYACCESS, ERROR_SUCCESS),
        FAILABLE(UnRegisterTypeLib, TYPE_E_REGISTRYACCESS, ERROR_SUCCESS),
        FAILABLE(SysAllocString, nullptr, ERROR_SUCCESS),
        FAILABLE(VarUI4FromStr, DISP_E_TYPEMISMATCH, ERROR_SUCCESS),
        FAILABLE_LOOKED_UP(RegisterTypeLibForUser, RegisterTypeLibForUserFn, TYPE_E_REGISTRYACCESS, ERROR_SUCCESS),
        FAILABLE_LOOKED_UP(UnRegisterTypeLibForUser, UnRegisterTypeLibForUserFn, TYPE_E_REGISTRYACCESS,
                           ERROR_SUCCESS),
    };
    nSlots = sizeof(s_rgSlots) / sizeof(s_rgSlots[0]);
    return s_rgSlots;
}

ImportSlot* FindSlot(const char* pszName, bool bLookedUp)
{
    size_t nSlots = 0;
    ImportSlot* const* ppSlots = Slots(nSlots);
    for (size_t i = 0; i < nSlots; ++i)
        if (ppSlots[i]->bLookedUp == bLookedUp && std::strcmp(ppSlots[i]->pszName, pszName) == 0)
            return ppSlots[i];
    return nullptr;
}

// What the DLL gets from GetProcAddress: the stand-in of a failable function
// looked up at run time, otherwise the real address.
FARPROC WINAPI ProcAddressOfStandIn(HMODULE hModule, LPCSTR pszName)
{
    const FARPROC pfnReal = ::GetProcAddress(hModule, pszName);
    if (pfnReal == nullptr || IS_INTRESOURCE(pszName))
        return pfnReal;
    ImportSlot* pSlot = FindSlot(pszName, true);
    if (pSlot == nullptr)
        return pfnReal;
    pSlot->pfnOriginal = reinterpret_cast<void*>(pfnReal);
    if (pSlot->pfnCall == nullptr)
        pSlot->pfnCall = pSlot->pfnOriginal;
    return reinterpret_cast<FARPROC>(pSlot->pfnHook);
}

void WriteImportEntry(ULONG_PTR* pEntry, ULONG_PTR nValue)
{
    DWORD dwOld = 0;
    if (!::VirtualProtect(pEntry, sizeof(*pEntry), PAGE_READWRITE, &dwOld))
        return;
    *pEntry = nValue;
    ::VirtualProtect(pEntry, sizeof(*pEntry), dwOld, &dwOld);
}

}  // namespace

size_t PatchModule(HMODULE hModule)
{
    ReplacePassThrough("GetProcAddress", reinterpret_cast<void*>(&ProcAddressOfStandIn));
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return 0;
    size_t nPatched = 0;
    for (auto* pDescriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress);
         pDescriptor->Name != 0; ++pDescriptor)
    {
        const auto* pNames = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            pBase + (pDescriptor->OriginalFirstThunk != 0 ? pDescriptor->OriginalFirstThunk : pDescriptor->FirstThunk));
        auto* pAddresses = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDescriptor->FirstThunk);
        for (; pNames->u1.AddressOfData != 0; ++pNames, ++pAddresses)
        {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            const auto* pByName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(pBase + pNames->u1.AddressOfData);
            ImportSlot* pSlot = FindSlot(reinterpret_cast<const char*>(pByName->Name), false);
            if (pSlot == nullptr)
                continue;
            WriteImportEntry(&pAddresses->u1.Function, reinterpret_cast<ULONG_PTR>(pSlot->pfnHook));
            ++nPatched;
        }
    }
    return nPatched;
}

void Arm(unsigned nFailAt)
{
    g_state.nCalls = 0;
    g_state.nFailAt = nFailAt;
    g_state.pszFailed = nullptr;
    g_state.dwThreadId = ::GetCurrentThreadId();
}

unsigned Disarm()
{
    g_state.dwThreadId = 0;
    return g_state.nCalls;
}

const char* RecordedCall(unsigned n)
{
    return n >= 1 && n <= kMaxRecorded ? g_rgRecorded[n - 1] : "?";
}

uintptr_t RecordedCaller(unsigned n)
{
    return n >= 1 && n <= kMaxRecorded ? reinterpret_cast<uintptr_t>(g_rgCallers[n - 1]) : 0;
}

const char* FailedCall()
{
    return g_state.pszFailed;
}

unsigned PlatformRegisterRestored()
{
    return g_nPlatformRegisterRestored;
}

unsigned PassedThrough(const char* pszFunction)
{
    const ImportSlot* pSlot = FindSlot(pszFunction, false);
    if (pSlot == nullptr)
        pSlot = FindSlot(pszFunction, true);
    return pSlot != nullptr ? pSlot->nPassed : 0;
}

bool ReplacePassThrough(const char* pszFunction, void* pfnInstead)
{
    ImportSlot* pSlot = FindSlot(pszFunction, false);
    if (pSlot == nullptr)
        return false;
    pSlot->pfnCall = pfnInstead;
    return true;
}

}  // namespace ImportFaults
