#include "ShellExt/menu/ExplorerStart.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "ShellExt/core/ComOwner.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/settings/Settings.h"

namespace {

// A BSTR owned for the length of one call.
class CBstr
{
public:
    explicit CBstr(const wchar_t* psz) noexcept : m_bstr(::SysAllocString(psz)) {}
    ~CBstr() { ::SysFreeString(m_bstr); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const noexcept { return m_bstr; }

private:
    BSTR m_bstr;
};

VARIANT TextVariant(BSTR bstr) noexcept
{
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = bstr;
    return v;
}

VARIANT NumberVariant(LONG n) noexcept
{
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
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
    VARIANT vLocation;
    ::VariantInit(&vLocation);
    VARIANT vRoot;
    ::VariantInit(&vRoot);
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
    CBstr file(pszFile);
    CBstr parameters(pszParameters != nullptr ? pszParameters : L"");
    if (file.Get() == nullptr || parameters.Get() == nullptr)
        return false;
    VARIANT vParameters = TextVariant(parameters.Get());
    VARIANT vDirectory;
    ::VariantInit(&vDirectory);
    VARIANT vOperation;
    ::VariantInit(&vOperation);
    VARIANT vShow = NumberVariant(SW_SHOW);  // as the direct start
    return SUCCEEDED(shell->ShellExecute(file.Get(), vParameters, vDirectory, vOperation, vShow));
}

void StartMainApplicationAsItself(const wchar_t* pszParameters) noexcept
{
    wchar_t szAppPath[MAX_PATH];
    g_szAppPath.CopyTo(szAppPath);
    if (szAppPath[0] != L'\0' && ShellExecuteThroughExplorer(szAppPath, pszParameters))
        return;
    StartMainApplication(pszParameters);
}
