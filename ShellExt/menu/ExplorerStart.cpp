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
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  reinterpret_cast<void**>(&pRawWindows))))
        return nullptr;
    CComOwner<IShellWindows> windows(pRawWindows);
    VARIANT vLocation = MakeVariant(VT_EMPTY);
    VARIANT vRoot = MakeVariant(VT_EMPTY);
    long lHwnd = 0;
    IDispatch* pRawDesktop = nullptr;
    // S_FALSE with no object when there is no desktop window.
    if (windows->FindWindowSW(&vLocation, &vRoot, SWC_DESKTOP, &lHwnd, SWFO_NEEDDISPATCH, &pRawDesktop) != S_OK ||
        pRawDesktop == nullptr)
        return nullptr;
    CComOwner<IDispatch> desktop(pRawDesktop);

    IServiceProvider* pRawProvider = nullptr;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&pRawProvider))))
        return nullptr;
    CComOwner<IServiceProvider> provider(pRawProvider);
    IShellBrowser* pRawBrowser = nullptr;
    if (FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&pRawBrowser))))
        return nullptr;
    CComOwner<IShellBrowser> browser(pRawBrowser);
    IShellView* pRawView = nullptr;
    if (FAILED(browser->QueryActiveShellView(&pRawView)) || pRawView == nullptr)
        return nullptr;
    return CComOwner<IShellView>(pRawView);
}

// The Shell.Application object of the desktop's view: its ShellExecute runs
// in Explorer's process.
CComOwner<IShellDispatch2> DesktopShellDispatch() noexcept
{
    CComOwner<IShellView> view = DesktopShellView();
    if (!view)
        return nullptr;
    IDispatch* pRawBackground = nullptr;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&pRawBackground))) ||
        pRawBackground == nullptr)
        return nullptr;
    CComOwner<IDispatch> background(pRawBackground);
    IShellFolderViewDual* pRawFolderView = nullptr;
    if (FAILED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(&pRawFolderView))))
        return nullptr;
    CComOwner<IShellFolderViewDual> folderView(pRawFolderView);
    IDispatch* pRawApplication = nullptr;
    if (FAILED(folderView->get_Application(&pRawApplication)) || pRawApplication == nullptr)
        return nullptr;
    CComOwner<IDispatch> application(pRawApplication);
    IShellDispatch2* pRawShell = nullptr;
    if (FAILED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&pRawShell))))
        return nullptr;
    return CComOwner<IShellDispatch2>(pRawShell);
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
