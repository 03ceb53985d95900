#include "ShellExt/companion/HandOffVerb.h"

#include <windows.h>
#include <objbase.h>

#include "ShellExt/companion/Verbs.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/menu/ExplorerStart.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/PendingHandOff.h"
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

}  // namespace

int RunHandOffVerb(int nArgs, wchar_t** ppszArgs)
{
    uint64_t nKey = 0;
    if (nArgs != 1 || !ParseSelectionKey(AsUtf16(ppszArgs[0]), nKey))
        return kCompanionUsage;
    // Usually the starter's slot, whose handle is already ours; made anew
    // when the starter could not make one.
    CHandOffSlot slot;
    slot.Create(nKey);
    if (!slot.ClaimWaiter())
        return kCompanionDone;
    ReadMainApplication();
    ::Sleep(kHandOffDelayMs);

    wchar_t szSelectionFile[MAX_PATH];
    slot.ReadSelectionFile(szSelectionFile);
    CopySelectionFileFrom(szSelectionFile);
    CApartment apartment;
    StartMainApplicationAsItself(L"-ad");
    return kCompanionDone;
}
