#include "ShellExt/menu/CompanionStart.h"

#include <cwchar>
#include <memory>
#include <new>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/module/Module.h"

namespace {

const wchar_t kCompanionProgram[] = L"OrvaneShellExt.exe";
// The program, and arguments that may name two paths (a chosen item's start).
const size_t kCommandLineCapacity = 4 * MAX_PATH + 80;

// "<folder of this module>\OrvaneShellExt.exe"; false when it would not fit.
bool BuildCompanionPath(wchar_t (&szProgram)[MAX_PATH]) noexcept
{
    wchar_t szModule[MAX_PATH];
    const DWORD cch = ::GetModuleFileNameW(g_hInstance, szModule, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return false;
    wchar_t* pszName = szModule + cch;
    while (pszName > szModule && pszName[-1] != L'\\' && pszName[-1] != L'/')
        --pszName;
    *pszName = L'\0';
    return JoinBounded(AsUtf16(szProgram), MAX_PATH, {AsUtf16(szModule), AsUtf16(kCompanionProgram)});
}

// The attribute list that limits inheritance to the one handle.
class CInheritList
{
public:
    explicit CInheritList(HANDLE& hInherit) noexcept
    {
        SIZE_T cb = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &cb);
        m_buffer.reset(new (std::nothrow) BYTE[cb]);
        auto* pList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.get());
        if (m_buffer == nullptr || !::InitializeProcThreadAttributeList(pList, 1, 0, &cb))
            return;
        m_pList = pList;
        if (!::UpdateProcThreadAttribute(m_pList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &hInherit, sizeof(hInherit),
                                         nullptr, nullptr))
            Clear();
    }
    ~CInheritList() { Clear(); }
    CInheritList(const CInheritList&) = delete;
    CInheritList& operator=(const CInheritList&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const noexcept { return m_pList; }

private:
    void Clear() noexcept
    {
        if (m_pList != nullptr)
            ::DeleteProcThreadAttributeList(m_pList);
        m_pList = nullptr;
    }
    std::unique_ptr<BYTE[]> m_buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST m_pList = nullptr;
};

// CreateProcessW out of the caller's job; a job that forbids breaking away
// refuses the flag, and the start is tried again inside it.
bool CreateCompanionProcess(const wchar_t* pszProgram, wchar_t* pszCommandLine, LPPROC_THREAD_ATTRIBUTE_LIST pList)
    noexcept
{
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = pList != nullptr ? sizeof(startup) : sizeof(startup.StartupInfo);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.lpAttributeList = pList;
    DWORD dwFlags = CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE;
    if (pList != nullptr)
        dwFlags |= EXTENDED_STARTUPINFO_PRESENT;
    for (DWORD dwBreakaway : {static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), static_cast<DWORD>(0)})
    {
        PROCESS_INFORMATION process = {};
        if (::CreateProcessW(pszProgram, pszCommandLine, nullptr, nullptr, pList != nullptr ? TRUE : FALSE,
                             dwFlags | dwBreakaway, nullptr, nullptr, &startup.StartupInfo, &process))
        {
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
            return true;
        }
        if (::GetLastError() != ERROR_ACCESS_DENIED)
            return false;
    }
    return false;
}

}  // namespace

bool StartCompanion(const wchar_t* pszArguments, HANDLE hPassed) noexcept
{
    wchar_t szProgram[MAX_PATH];
    if (!BuildCompanionPath(szProgram))
        return false;
    // An inheritable copy of the handle, for the companion alone; without it
    // (DuplicateHandle refused) there is nothing to pass, and no start.
    CKernelHandle hInheritable;
    if (hPassed != nullptr && !::DuplicateHandle(::GetCurrentProcess(), hPassed, ::GetCurrentProcess(),
                                                 hInheritable.Receive(), 0, TRUE, DUPLICATE_SAME_ACCESS))
        return false;
    wchar_t szHandle[24] = {};
    if (hInheritable)
        _snwprintf(szHandle, 23, L" %llu",
                   static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hInheritable.Get())));
    wchar_t szCommandLine[kCommandLineCapacity];
    if (!JoinBounded(AsUtf16(szCommandLine), kCommandLineCapacity,
                     {u"\"", AsUtf16(szProgram), u"\" ", AsUtf16(pszArguments), AsUtf16(szHandle)}))
        return false;
    if (!hInheritable)
        return CreateCompanionProcess(szProgram, szCommandLine, nullptr);
    HANDLE hInherit = hInheritable.Get();
    CInheritList inherit(hInherit);
    return inherit.Get() != nullptr && CreateCompanionProcess(szProgram, szCommandLine, inherit.Get());
}
