#include "ShellExt/menu/CompanionStart.h"

#include <memory>
#include <new>
#include <string>

#include "ShellExt/core/Handles.h"
#include "ShellExt/core/ModulePath.h"
#include "ShellExt/module/Module.h"

namespace {

const wchar_t kCompanionProgram[] = L"OrvaneShellExt.exe";

// "<folder of this module>\OrvaneShellExt.exe", however long the folder;
// empty when the module's path cannot be had. May throw std::bad_alloc.
std::wstring CompanionPath()
{
    std::wstring strPath = FullModulePath(g_hInstance);
    const size_t nSlash = strPath.find_last_of(L"\\/");
    if (nSlash == std::wstring::npos)
        return std::wstring();
    strPath.resize(nSlash + 1);
    return strPath + kCompanionProgram;
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

// May throw std::bad_alloc.
bool StartCompanionWith(const wchar_t* pszArguments, HANDLE hPassed)
{
    const std::wstring strProgram = CompanionPath();
    if (strProgram.empty())
        return false;
    // An inheritable copy of the handle, for the companion alone; without it
    // (DuplicateHandle refused) there is nothing to pass, and no start.
    CKernelHandle hInheritable;
    if (hPassed != nullptr && !::DuplicateHandle(::GetCurrentProcess(), hPassed, ::GetCurrentProcess(),
                                                 hInheritable.Receive(), 0, TRUE, DUPLICATE_SAME_ACCESS))
        return false;
    std::wstring strCommandLine = L"\"" + strProgram + L"\" " + pszArguments;
    if (hInheritable)
        strCommandLine += L" " + std::to_wstring(static_cast<unsigned long long>(
                                     reinterpret_cast<UINT_PTR>(hInheritable.Get())));
    if (!hInheritable)
        return CreateCompanionProcess(strProgram.c_str(), &strCommandLine[0], nullptr);
    HANDLE hInherit = hInheritable.Get();
    CInheritList inherit(hInherit);
    return inherit.Get() != nullptr && CreateCompanionProcess(strProgram.c_str(), &strCommandLine[0], inherit.Get());
}

}  // namespace

bool StartCompanion(const wchar_t* pszArguments, HANDLE hPassed) noexcept
{
    try
    {
        return StartCompanionWith(pszArguments, hPassed);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}
