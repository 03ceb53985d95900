#include "tools/bench/HostCalls.h"

HRESULT QueryExtensionInterfaces(ExtensionObject& object)
{
    HRESULT hr;
    if (FAILED(hr = object.init.QueryInto(IID_IContextMenu, object.menu)) ||
        FAILED(hr = object.init.QueryInto(IID_IPersistFile, object.file)) ||
        FAILED(hr = object.init.QueryInto(IID_IExtractIconW, object.icon)))
        return hr;
    return S_OK;
}

HRESULT InvokeOffset(IContextMenu* pMenu, UINT nOffset)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(nOffset);
    info.nShow = SW_SHOWNORMAL;
    return pMenu->InvokeCommand(&info);
}

HMENU MakeHostMenu()
{
    HMENU hMenu = ::CreatePopupMenu();
    ::InsertMenuW(hMenu, 0, MF_BYPOSITION | MF_STRING, kIdHostOpen, L"&Open");
    ::InsertMenuW(hMenu, 1, MF_BYPOSITION | MF_STRING, kIdHostProperties, L"P&roperties");
    return hMenu;
}
