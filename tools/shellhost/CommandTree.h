// The Explorer command (the Windows 11 top-level menu) driven as Explorer
// drives it: the class object from the command DLL's DllGetClassObject, as
// the packaged activation obtains it; the selection as an IShellItemArray;
// the tree read back with every title, flag, state and icon location.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "ShellExt/core/Handles.h"
#include "tools/shellhost/ComPtr.h"

// Loads the DLL (kept in dll, which must outlive every object made from it)
// and asks its DllGetClassObject for the class object of clsid. False with
// strError otherwise.
bool LoadCommandClassObject(const std::wstring& strDll, const CLSID& clsid, CLibraryHandle& dll,
                            CInterfacePtr<IClassFactory>& factory, std::string& strError);

// The same, and a new command from the class object.
bool CreateExplorerCommand(const std::wstring& strDll, const CLSID& clsid, CLibraryHandle& dll,
                           CInterfacePtr<IExplorerCommand>& command, std::string& strError);

// The files as the shell hands a selection to a command. Null on failure.
IShellItemArray* CreateShellItemArray(const std::vector<std::wstring>& vecFiles);

struct CommandNode
{
    CInterfacePtr<IExplorerCommand> command;
    HRESULT hrTitle = E_FAIL;
    std::wstring strTitle;
    HRESULT hrFlags = E_FAIL;
    EXPCMDFLAGS flags = ECF_DEFAULT;
    HRESULT hrState = E_FAIL;
    EXPCMDSTATE state = ECS_ENABLED;
    HRESULT hrIcon = E_FAIL;
    std::wstring strIcon;
    bool bIconLoads = false;
    HRESULT hrEnum = S_OK;  // of EnumSubCommands, when the flags ask for it
    std::vector<CommandNode> vecChildren;
};

// Asks the command what Explorer asks before it shows the menu: state
// first (which starts the command's delayed hand-off), then title, icon and
// flags, and the subcommands of a command that has them.
CommandNode ReadCommandTree(IExplorerCommand* pCommand, IShellItemArray* pSelection);

std::string FormatCommandTree(const CommandNode& top);

// Whether the shell would get an icon from "file,index" (or "file,-id").
bool IconLocationLoads(const std::wstring& strLocation);
// Whether an icon loads from that file at that index.
bool IconLoads(const wchar_t* pszFile, int nIndex);
