#include "ShellExt/explorercommand/CommandHandOff.h"

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/explorercommand/ShellItemPaths.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/PendingHandOff.h"
#include "ShellExt/menu/SelectionKey.h"
#include "ShellExt/module/Module.h"

namespace {

const wchar_t kWaiterProgram[] = L"OrvaneShellExt.exe";

// "<folder of this DLL>\OrvaneShellExt.exe"; false when it would not fit.
bool BuildWaiterPath(wchar_t (&szProgram)[MAX_PATH]) noexcept
{
    wchar_t szModule[MAX_PATH];
    const DWORD cch = ::GetModuleFileNameW(g_hInstance, szModule, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return false;
    wchar_t* pszName = szModule + cch;
    while (pszName > szModule && pszName[-1] != L'\\' && pszName[-1] != L'/')
        --pszName;
    *pszName = L'\0';
    return JoinBounded(AsUtf16(szProgram), MAX_PATH, {AsUtf16(szModule), AsUtf16(kWaiterProgram)});
}

// Starts the waiter for the key and puts a handle of the slot into it before
// its first instruction, so that the slot outlives this process from then on.
bool StartWaiter(uint64_t nKey, HANDLE hSlot) noexcept
{
    wchar_t szProgram[MAX_PATH];
    if (!BuildWaiterPath(szProgram))
        return false;
    char16_t szKey[kSelectionKeyDigits + 1];
    FormatSelectionKey(nKey, szKey);
    wchar_t szCommandLine[MAX_PATH + 40];
    if (!JoinBounded(AsUtf16(szCommandLine), sizeof(szCommandLine) / sizeof(szCommandLine[0]),
                     {u"\"", AsUtf16(szProgram), u"\" handoff ", szKey}))
        return false;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(szProgram, szCommandLine, nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup,
                          &process))
        return false;
    CKernelHandle hProcess(process.hProcess);
    CKernelHandle hThread(process.hThread);
    if (hSlot != nullptr)
    {
        // Without it, the waiter opens the slot by name, or makes a new one.
        HANDLE hInWaiter = nullptr;
        ::DuplicateHandle(::GetCurrentProcess(), hSlot, hProcess.Get(), &hInWaiter, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
    }
    if (::ResumeThread(hThread.Get()) == static_cast<DWORD>(-1))
    {
        ::TerminateProcess(hProcess.Get(), 1);
        return false;
    }
    return true;
}

}  // namespace

void StartSelectionHandOff(IShellItemArray* psiItemArray) noexcept
{
    const uint64_t nKey = SelectionKeyOfItems(psiItemArray);
    CHandOffSlot slot;
    if (slot.Create(nKey) == CHandOffSlot::Outcome::Existed)
        return;
    wchar_t szSelectionFile[MAX_PATH];
    g_szSelectionFile.CopyTo(szSelectionFile);
    slot.StoreSelectionFile(szSelectionFile);
    // Without a waiter nothing is pending: the slot closes with this
    // function, and the next request of the selection tries again.
    StartWaiter(nKey, slot.Mapping());
}

void RecordChosenSelection(const std::vector<std::wstring>& vecPaths) noexcept
{
    RecordNewestSelectionFile(SelectionKeyOfPaths(vecPaths));
}
