// What a host does around the extension's calls, shared by the benchmark and
// the fault sweep: the interfaces one extension object is used through, the
// menu Explorer starts with, and a chosen command sent by its offset.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "tools/shellhost/ComPtr.h"

// One extension object with the interfaces a context menu and an icon
// request use.
struct ExtensionObject
{
    CInterfacePtr<IShellExtInit> init;
    CInterfacePtr<IContextMenu> menu;
    CInterfacePtr<IPersistFile> file;
    CInterfacePtr<IExtractIconW> icon;

    void Reset()
    {
        icon.Reset();
        file.Reset();
        menu.Reset();
        init.Reset();
    }
};

// Asks the object behind init for the other three interfaces.
HRESULT QueryExtensionInterfaces(ExtensionObject& object);

// InvokeCommand with a command offset, as Explorer sends a chosen item.
HRESULT InvokeOffset(IContextMenu* pMenu, UINT nOffset);

// A context menu as Explorer starts it: two verbs of its own already in, so
// that the extension's entry goes in at position 1.
HMENU MakeHostMenu();

// Where QueryContextMenu is asked to put the extension's entry in that menu,
// and the command identifiers it may use. Explorer keeps its own verbs below
// the range it hands the extensions, so that a chosen identifier names one
// owner; the host's two verbs do the same.
const UINT kIndexMenu = 1;
const UINT kIdHostOpen = 1;
const UINT kIdHostProperties = 2;
const UINT kIdCmdFirst = 0x100;
const UINT kIdCmdLast = 0x7FFF;
