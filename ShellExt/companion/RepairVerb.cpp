#include "ShellExt/companion/RepairVerb.h"

#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "ShellExt/companion/RepairPlan.h"
#include "ShellExt/companion/StatusProbe.h"
#include "ShellExt/companion/StatusVerb.h"
#include "ShellExt/companion/UserRegistration.h"
#include "ShellExt/companion/Verbs.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/module/Guids.h"

namespace {

using Text = std::u16string;
using DllInstallFunction = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);

const wchar_t kUserMenuHandlerKey[] = L"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Orvane";

// The DLL's own per-user registration, as regsvr32 /n /i:user runs it.
HRESULT RegisterUserServer(const Text& strDll) noexcept
{
    CLibraryHandle library(::LoadLibraryExW(AsWide(strDll.c_str()), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library)
        return HRESULT_FROM_WIN32(::GetLastError());
    auto pfnInstall = reinterpret_cast<DllInstallFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library.Get(), "DllInstall")));
    return pfnInstall != nullptr ? pfnInstall(TRUE, L"user") : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

LSTATUS WriteUserMenuHandler() noexcept
{
    CRegKeyHandle key;
    LSTATUS nStatus = ::RegCreateKeyExW(HKEY_CURRENT_USER, kUserMenuHandlerKey, 0, nullptr, 0, KEY_SET_VALUE,
                                        nullptr, key.Receive(), nullptr);
    if (nStatus != ERROR_SUCCESS)
        return nStatus;
    const wchar_t kClassId[] = ORVANE_CLSID_SIMPLESHLEXT_TEXT;
    return ::RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kClassId), sizeof(kClassId));
}

// One line per step: done, or why not.
void Report(std::vector<Finding>& vecOut, bool bDone, Text strDone, uint32_t nError)
{
    if (bDone)
        vecOut.push_back(Finding{Severity::kOk, u"repaired", std::move(strDone), Text()});
    else
        vecOut.push_back(Finding{Severity::kNote, u"repair-failed", u"Not done (" + HexText(nError) + u"): " + strDone,
                                 Text()});
}

// The server first: its registration writes this user's menu-handler entry
// as well, so the rest is planned on what it left.
std::vector<Finding> Repair()
{
    std::vector<Finding> vecOut;
    bool bChanged = false;
    StatusRecord record = ProbeStatus();
    if (PlanRepair(record).bRegisterUserServer)
    {
        const HRESULT hr = RegisterUserServer(record.strOwnDll);
        Report(vecOut, SUCCEEDED(hr), u"Registered " + record.strOwnDll + u" for this user again.",
               static_cast<uint32_t>(hr));
        bChanged = true;
        record = ProbeStatus();
    }
    RepairPlan plan = PlanRepair(record);
    if (plan.bWriteUserMenuHandler)
    {
        const LSTATUS nStatus = WriteUserMenuHandler();
        Report(vecOut, nStatus == ERROR_SUCCESS,
               u"Wrote HKCU\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Orvane for this user.",
               static_cast<uint32_t>(nStatus));
        bChanged = true;
    }
    if (plan.bRegisterPackage && MayRegisterUserPackage())
    {
        Report(vecOut, RegisterUserPackage(),
               u"Registered the Windows 11 menu's package " + record.strPackageName + u" for this user again.",
               kUserRegistrationFailed);
        bChanged = true;
    }
    if (bChanged)
        TellExplorer();
    for (Finding& left : plan.vecLeftToAdministrator)
        vecOut.push_back(std::move(left));
    return vecOut;
}

}  // namespace

int RunRepairVerb(int nArgs, wchar_t** ppszArgs)
{
    bool bJson = false;
    if (!ReadJsonOption(nArgs, ppszArgs, bJson))
        return kCompanionUsage;
    std::vector<Finding> vecRepairs;
    try
    {
        vecRepairs = Repair();
    }
    catch (const std::bad_alloc&)
    {
        vecRepairs.clear();
    }
    return ReportStatus(bJson, std::move(vecRepairs));
}
