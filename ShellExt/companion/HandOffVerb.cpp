#include "ShellExt/companion/HandOffVerb.h"

#include <windows.h>
#include <objbase.h>

#include <cwchar>

#include "ShellExt/companion/Verbs.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/menu/ExplorerStart.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/SelectionFile.h"
#include "ShellExt/menu/SelectionKey.h"
#include "ShellExt/settings/Elevation.h"
#include "ShellExt/settings/Settings.h"

namespace {

const DWORD kHandOffDelayMs = 10000;

class CApartment
{
public:
    CApartment() noexcept : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CApartment()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CApartment(const CApartment&) = delete;
    CApartment& operator=(const CApartment&) = delete;

private:
    HRESULT m_hr;
};

// The main application as the right-click found it: read now, not after
// the wait, like the command that started us.
void ReadMainApplication() noexcept
{
    ReadAppDataVariable();
    wchar_t szInstallDir[MAX_PATH] = {};
    ReadInstallLocation(IsProcessElevated(), szInstallDir);
}

// The slot's handle as the starter passed it: inherited, its value the last
// word of the command line. Null when none was passed.
bool ParsePassedHandle(const wchar_t* pszValue, CKernelHandle& hSlot) noexcept
{
    wchar_t* pszEnd = nullptr;
    const unsigned long long nValue = std::wcstoull(pszValue, &pszEnd, 10);
    if (pszEnd == pszValue || *pszEnd != L'\0' || nValue == 0)
        return false;
    hSlot.Reset(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(nValue)));
    return true;
}

// The text after the verb's word on this program's own command line, as it
// was written: the main application's parameters hold quoted paths, which a
// split into words would not give back unchanged.
const wchar_t* TextAfterVerb() noexcept
{
    const wchar_t* psz = ::GetCommandLineW();
    // The program's name, quoted or not, then the verb's word.
    if (*psz == L'"')
    {
        for (++psz; *psz != L'\0' && *psz != L'"'; ++psz)
        {
        }
        if (*psz == L'"')
            ++psz;
    }
    for (int nWord = 0; nWord < 2; ++nWord)
    {
        for (; *psz != L'\0' && *psz != L' ' && *psz != L'\t'; ++psz)
        {
        }
        for (; *psz == L' ' || *psz == L'\t'; ++psz)
        {
        }
    }
    return psz;
}

}  // namespace

int RunHandOffVerb(int nArgs, wchar_t** ppszArgs)
{
    uint64_t nKey = 0;
    if (nArgs < 1 || nArgs > 2 || !ParseSelectionKey(AsUtf16(ppszArgs[0]), nKey))
        return kCompanionUsage;
    // Held until this program ends; never opened by name, which anyone in
    // the session could have made first.
    CKernelHandle hSlot;
    if (nArgs == 2 && !ParsePassedHandle(ppszArgs[1], hSlot))
        return kCompanionUsage;
    ReadMainApplication();
    ::Sleep(kHandOffDelayMs);

    // The newest selection file now, as the classic handler's timer copies
    // the newest of its process.
    wchar_t szSelectionFile[MAX_PATH];
    FindNewestSelectionFile(szSelectionFile);
    CopySelectionFileFrom(szSelectionFile);
    CApartment apartment;
    StartMainApplicationAsItself(L"-ad");
    return kCompanionDone;
}

int RunStartVerb(int nArgs, wchar_t** /*ppszArgs*/)
{
    if (nArgs < 1)
        return kCompanionUsage;
    ReadMainApplication();
    CApartment apartment;
    StartMainApplicationAsItself(TextAfterVerb());
    return kCompanionDone;
}
