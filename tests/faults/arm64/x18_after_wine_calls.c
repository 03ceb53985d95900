/* Does Wine keep x18 (the thread's TEB on Windows ARM64) across its calls?
 * A program with no code of the extension in it: it drives a shell item the
 * way the Explorer command's Invoke does and prints x18 against the TEB that
 * NtQueryInformationThread reports, after each call. Windows keeps x18 the
 * TEB in user mode; Debian's arm64 Wine 8 (its DLLs built as Linux code) does
 * not after ILCreateFromPathW and IShellItem::GetDisplayName. Exit code 1
 * when any call left x18 changed. ARM64 only (docs/windows11.md).
 *   ORVANE_WINE_MACHINE=arm64 wine build/win-arm64/bin/x18_after_wine_calls.exe
 */
#define COBJMACROS
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <stdio.h>

typedef LONG(WINAPI* QueryThread)(HANDLE, int, void*, ULONG, ULONG*);

static void* g_pTeb;
static int g_nWrong;

static void* ReadX18(void)
{
    void* p;
    __asm__ volatile("mov %0, x18" : "=r"(p));
    return p;
}

static void* TebOfThisThread(void)
{
    struct { LONG nExitStatus; void* pTeb; void* rgRest[4]; } basic = {0};
    QueryThread query = (QueryThread)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread");
    query(GetCurrentThread(), 0 /* ThreadBasicInformation */, &basic, sizeof(basic), NULL);
    return basic.pTeb;
}

static void After(const char* pszCall)
{
    void* pX18 = ReadX18();
    int bKept = pX18 == g_pTeb;
    g_nWrong += !bKept;
    printf("%-40s x18=%p %s\n", pszCall, pX18, bKept ? "ok" : "WRONG");
    fflush(stdout);
}

int main(void)
{
    g_pTeb = TebOfThisThread();
    After("start");
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    After("CoInitializeEx");
    LPITEMIDLIST pidl = ILCreateFromPathW(L"C:\\windows\\win.ini");
    After("ILCreateFromPathW");
    IShellItemArray* pArray = NULL;
    if (pidl == NULL || FAILED(SHCreateShellItemArrayFromIDLists(1, (LPCITEMIDLIST*)&pidl, &pArray)))
        return 2;
    After("SHCreateShellItemArrayFromIDLists");
    IShellItem* pItem = NULL;
    if (FAILED(IShellItemArray_GetItemAt(pArray, 0, &pItem)))
        return 2;
    After("IShellItemArray::GetItemAt");
    WCHAR* pszPath = NULL;
    IShellItem_GetDisplayName(pItem, SIGDN_FILESYSPATH, &pszPath);
    After("IShellItem::GetDisplayName");
    CoTaskMemFree(pszPath);
    After("CoTaskMemFree");
    IShellItem_Release(pItem);
    IShellItemArray_Release(pArray);
    ILFree(pidl);
    CoUninitialize();
    After("CoUninitialize");
    printf("%d calls left x18 other than the TEB\n", g_nWrong);
    return g_nWrong != 0 ? 1 : 0;
}
