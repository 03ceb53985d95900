#include "ShellExt/menu/ExplorerStart.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "ShellExt/core/ComOwner.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/settings/Settings.h"

namespace {

// A VARIANT of type vt; the caller sets the value the type names, if any.
VARIANT MakeVariant(VARTYPE vt) noexcept
{
    VARIANT v;
    ::VariantInit(&v);
    v.vt = vt;
    return v;
}

// The desktop window's shell view, as a running Explorer publishes it in
// the shell windows' list.
CComOwner<IShellView> DesktopShellView() noexcept
{
    IShellWindows* pRawWindows = nullptr;
    const CComOwner<IShellWindows> windows =
        Adopt(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                 reinterpret_cast<void**>(&pRawWindows)),
              &pRawWindows);
    if (!windows)
        return nullptr;
    VARIANT vLocation = MakeVariant(VT_EMPTY);
    VARIANT vRoot = MakeVariant(VT_EMPTY);
    long lHwnd = 0;
    IDispatch* pRawDesktop = nullptr;
    // S_FALSE with no object when there is no desktop window.
    const CComOwner<IDispatch> desktop =
        Adopt(windows->FindWindowSW(&vLocation, &vRoot, SWC_DESKTOP, &lHwnd, SWFO_NEEDDISPATCH, &pRawDesktop),
              &pRawDesktop);
    const auto provider = desktop ? QueryAs<IServiceProvider>(desktop.get(), IID_IServiceProvider) : nullptr;
    if (!provider)
        return nullptr;
    IShellBrowser* pRawBrowser = nullptr;
    const CComOwner<IShellBrowser> browser = Adopt(
        provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&pRawBrowser)),
        &pRawBrowser);
    IShellView* pRawView = nullptr;
    return browser ? Adopt(browser->QueryActiveShellView(&pRawView), &pRawView) : nullptr;
}

// The Shell.Application object of the desktop's view: its ShellExecute runs
// in Explorer's process.
CComOwner<IShellDispatch2> DesktopShellDispatch() noexcept
{
    const CComOwner<IShellView> view = DesktopShellView();
    IDispatch* pRawBackground = nullptr;
    const CComOwner<IDispatch> background =
        view ? Adopt(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&pRawBackground)),
                     &pRawBackground)
             : nullptr;
    const auto folderView =
        background ? QueryAs<IShellFolderViewDual>(background.get(), IID_IShellFolderViewDual) : nullptr;
    IDispatch* pRawApplication = nullptr;
    const CComOwner<IDispatch> application =
        folderView ? Adopt(folderView->get_Application(&pRawApplication), &pRawApplication) : nullptr;
    return application ? QueryAs<IShellDispatch2>(application.get(), IID_IShellDispatch2) : nullptr;
}

}  // namespace

bool ShellExecuteThroughExplorer(const wchar_t* pszFile, const wchar_t* pszParameters) noexcept
{
    CComOwner<IShellDispatch2> shell = DesktopShellDispatch();
    if (!shell)
        return false;
    CBstr file(::SysAllocString(pszFile));
    CBstr parameters(::SysAllocString(pszParameters != nullptr ? pszParameters : L""));
    if (!file || !parameters)
        return false;
    VARIANT vParameters = MakeVariant(VT_BSTR);
    vParameters.bstrVal = parameters.Get();
    VARIANT vDirectory = MakeVariant(VT_EMPTY);
    VARIANT vOperation = MakeVariant(VT_EMPTY);
    VARIANT vShow = MakeVariant(VT_I4);
    vShow.lVal = SW_SHOW;  // as the direct start
    return SUCCEEDED(shell->ShellExecute(file.Get(), vParameters, vDirectory, vOperation, vShow));
}

void StartMainApplicationAsItself(const wchar_t* pszParameters) noexcept
{
    wchar_t szAppPath[MAX_PATH];
    g_szAppPath.CopyTo(szAppPath);
    // Explorer's ShellExecute takes no flag against error UI and would show
    // its message box for a program that is not there: a stale OrvanePath
    // starts nothing, quietly.
    if (szAppPath[0] == L'\0' || ::GetFileAttributesW(szAppPath) == INVALID_FILE_ATTRIBUTES)
        return;
    if (ShellExecuteThroughExplorer(szAppPath, pszParameters))
        return;
    StartMainApplication(pszParameters);
}
