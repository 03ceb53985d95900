// The Explorer command's tests reach it as the packaged activation does: the
// built command DLL loaded into this program, its class object asked for the
// class the build declares, and the selection handed over as an
// IShellItemArray (the shell host's own reader walks the tree).
#pragma once

#include <windows.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/win/TestSupport.h"
#include "tools/common/DataObjectArray.h"
#include "tools/common/ServerExports.h"
#include "tools/shellhost/CommandTree.h"

namespace testing_support {

// The built command DLL (ORVANE_COMMAND_DLL) as Wine sees its path.
std::wstring CommandDllPath();

// The control panel (which has no file-system path), after strFile when one
// is given.
IShellItemArray* CreateArrayWithControlPanel(const std::wstring& strFile);

// A selection of no items at all (the shell refuses to make one): it lives
// on the stack and only answers its count.
class CEmptyShellItemArray : public IShellItemArray
{
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        *ppv = (riid == IID_IUnknown || riid == IID_IShellItemArray) ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(BindToHandler)(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetPropertyStore)(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetPropertyDescriptionList)(REFPROPERTYKEY, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetAttributes)(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHOD(GetCount)(DWORD* pdwNumItems) override
    {
        *pdwNumItems = 0;
        return S_OK;
    }
    STDMETHOD(GetItemAt)(DWORD, IShellItem**) override { return E_INVALIDARG; }
    STDMETHOD(EnumItems)(IEnumShellItems**) override { return E_NOTIMPL; }
};

class CommandTestBase : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The installation in the registry (the stand-in as the main
    // application), and the user's language when one is given.
    void UseInstallation(const std::wstring& strInstallDir, const wchar_t* pszLanguage);

    // A new top-level command for the files, its tree read as Explorer reads
    // it before showing the menu (which starts one delayed hand-off).
    CommandNode OpenTree(const std::vector<std::wstring>& vecFiles);

    // The loaded command DLL's exports, called as its host calls them.
    CServerExports Exports() const { return CServerExports(m_dll.Get()); }

    std::wstring m_strFolder;  // a fresh folder, holding m_strFile
    std::wstring m_strFile;
    CLibraryHandle m_dll;  // first: outlives the objects below
    CInterfacePtr<IExplorerCommand> m_top;
    CInterfacePtr<IShellItemArray> m_selection;

private:
    ViewSettingsFile m_viewSettings;
    std::optional<StandinInstallation> m_installation;
};

}  // namespace testing_support
