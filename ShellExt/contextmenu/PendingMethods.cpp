// Methods whose behaviour is still being built; each answers E_NOTIMPL.
#include "ShellExt/contextmenu/SimpleShlExt.h"

STDMETHODIMP CSimpleShlExt::QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) { return E_NOTIMPL; }
STDMETHODIMP CSimpleShlExt::InvokeCommand(CMINVOKECOMMANDINFO*) { return E_NOTIMPL; }
STDMETHODIMP CSimpleShlExt::Load(LPCOLESTR, DWORD) { return E_NOTIMPL; }
STDMETHODIMP CSimpleShlExt::GetIconLocation(UINT, PWSTR, UINT, int*, UINT*) { return E_NOTIMPL; }
