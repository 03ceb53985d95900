// OrvaneAsUser.exe PROGRAM [ARGUMENTS...]: starts PROGRAM with the limited
// token linked to this process's elevated one, waits for it and exits with
// its exit code, so that a program under Wine (where every process starts
// elevated) plays an ordinary user's Explorer. A process that is not
// elevated starts PROGRAM with its own token. A PROGRAM given as a Unix path
// (as `wine /path/prog.exe` passes it on) is turned into its DOS name.
#include <windows.h>

#include <string>

#include "ShellExt/core/Handles.h"
#include "ShellExt/core/SystemFunction.h"

namespace {

// The command line after this program's own name, as typed.
const wchar_t* SkipProgramName(const wchar_t* pszLine) noexcept
{
    bool bQuoted = false;
    for (; *pszLine != L'\0'; ++pszLine)
    {
        if (*pszLine == L'"')
            bQuoted = !bQuoted;
        else if (!bQuoted && (*pszLine == L' ' || *pszLine == L'\t'))
            break;
    }
    while (*pszLine == L' ' || *pszLine == L'\t')
        ++pszLine;
    return pszLine;
}

// The first argument of pszArgs in pstrProgram, the rest in pstrRest.
void SplitFirstArgument(const wchar_t* pszArgs, std::wstring& strProgram, const wchar_t*& pszRest)
{
    pszRest = SkipProgramName(pszArgs);
    strProgram.assign(pszArgs, pszRest);
    while (!strProgram.empty() && (strProgram.back() == L' ' || strProgram.back() == L'\t'))
        strProgram.pop_back();
    if (strProgram.size() >= 2 && strProgram.front() == L'"' && strProgram.back() == L'"')
        strProgram = strProgram.substr(1, strProgram.size() - 2);
}

std::wstring DosName(const std::wstring& strProgram)
{
    if (strProgram.empty() || strProgram[0] != L'/')
        return strProgram;
    using PfnDosName = wchar_t* (*)(const char*);
    const auto pfnDosName = FindSystemFunction<PfnDosName>(L"kernel32.dll", "wine_get_dos_file_name");
    if (pfnDosName == nullptr)
        return strProgram;
    std::string strUnix(strProgram.begin(), strProgram.end());
    wchar_t* pszDos = pfnDosName(strUnix.c_str());
    if (pszDos == nullptr)
        return strProgram;
    std::wstring strDos = pszDos;
    ::HeapFree(::GetProcessHeap(), 0, pszDos);
    return strDos;
}

// The primary token to start the program with: the linked limited one when
// this process is elevated, else this process's own.
bool OrdinaryUserToken(CKernelHandle& token)
{
    CKernelHandle self;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                            self.Receive()))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD cb = 0;
    if (::GetTokenInformation(self.Get(), TokenElevation, &elevation, sizeof(elevation), &cb) &&
        elevation.TokenIsElevated)
    {
        TOKEN_LINKED_TOKEN linked = {};
        if (!::GetTokenInformation(self.Get(), TokenLinkedToken, &linked, sizeof(linked), &cb))
            return false;
        CKernelHandle limited(linked.LinkedToken);
        return ::DuplicateTokenEx(limited.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                                  token.Receive()) != FALSE;
    }
    return ::DuplicateTokenEx(self.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                              token.Receive()) != FALSE;
}

void InheritStandardHandle(DWORD nWhich, HANDLE& hTarget) noexcept
{
    hTarget = ::GetStdHandle(nWhich);
    if (hTarget != nullptr && hTarget != INVALID_HANDLE_VALUE)
        ::SetHandleInformation(hTarget, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

}  // namespace

int wmain()
{
    std::wstring strProgram;
    const wchar_t* pszRest = nullptr;
    SplitFirstArgument(SkipProgramName(::GetCommandLineW()), strProgram, pszRest);
    if (strProgram.empty())
    {
        ::OutputDebugStringW(L"usage: OrvaneAsUser PROGRAM [ARGUMENTS...]\n");
        return 125;
    }
    const std::wstring strDos = DosName(strProgram);
    std::wstring strLine = L"\"" + strDos + L"\" " + pszRest;

    CKernelHandle token;
    if (!OrdinaryUserToken(token))
        return 126;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    InheritStandardHandle(STD_INPUT_HANDLE, si.hStdInput);
    InheritStandardHandle(STD_OUTPUT_HANDLE, si.hStdOutput);
    InheritStandardHandle(STD_ERROR_HANDLE, si.hStdError);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessAsUserW(token.Get(), strDos.c_str(), &strLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &si, &pi))
        return 127;
    CKernelHandle process(pi.hProcess);
    CKernelHandle thread(pi.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD nExit = 1;
    ::GetExitCodeProcess(process.Get(), &nExit);
    return static_cast<int>(nExit);
}
