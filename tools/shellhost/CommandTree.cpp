#include "tools/shellhost/CommandTree.h"

#include <shlobj.h>

#include <cstdio>
#include <memory>

#include "tools/common/ServerExports.h"
#include "tools/common/WinText.h"
#include "tools/shellhost/CommandManifest.h"
#include "tools/shellhost/HostOptions.h"

namespace {

struct IdListFreer
{
    void operator()(ITEMIDLIST* pidl) const noexcept { ::ILFree(pidl); }
};
using CIdList = std::unique_ptr<ITEMIDLIST, IdListFreer>;

struct TaskMemFreer
{
    void operator()(wchar_t* psz) const noexcept { ::CoTaskMemFree(psz); }
};

// Calls one of the command's text getters; the text is ours to free.
template <class Getter>
HRESULT ReadText(Getter getter, std::wstring& strText)
{
    wchar_t* pszRaw = nullptr;
    HRESULT hr = getter(&pszRaw);
    std::unique_ptr<wchar_t, TaskMemFreer> text(pszRaw);
    strText = SUCCEEDED(hr) && text ? std::wstring(text.get()) : std::wstring();
    return hr;
}

std::string Hex(HRESULT hr)
{
    char sz[16] = {};
    std::snprintf(sz, sizeof(sz), "0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

struct FlagName
{
    DWORD dwFlag;
    const char* pszName;
};

std::string FlagsText(DWORD dwValue, const FlagName* pNames, size_t nNames, const char* pszNone)
{
    std::string strText;
    for (size_t i = 0; i < nNames; ++i)
        if (dwValue & pNames[i].dwFlag)
            strText += std::string(strText.empty() ? "" : "|") + pNames[i].pszName;
    return strText.empty() ? pszNone : strText;
}

std::string CommandFlagsText(EXPCMDFLAGS flags)
{
    static const FlagName kNames[] = {
        {ECF_HASSUBCOMMANDS, "HASSUBCOMMANDS"}, {ECF_HASSPLITBUTTON, "HASSPLITBUTTON"},
        {ECF_HIDELABEL, "HIDELABEL"},           {ECF_ISSEPARATOR, "ISSEPARATOR"},
        {ECF_HASLUASHIELD, "HASLUASHIELD"},     {ECF_ISDROPDOWN, "ISDROPDOWN"},
        {ECF_TOGGLEABLE, "TOGGLEABLE"},
    };
    return FlagsText(flags, kNames, sizeof(kNames) / sizeof(kNames[0]), "DEFAULT");
}

std::string CommandStateText(EXPCMDSTATE state)
{
    static const FlagName kNames[] = {
        {ECS_DISABLED, "DISABLED"}, {ECS_HIDDEN, "HIDDEN"},         {ECS_CHECKBOX, "CHECKBOX"},
        {ECS_CHECKED, "CHECKED"},   {ECS_RADIOCHECK, "RADIOCHECK"},
    };
    return FlagsText(state, kNames, sizeof(kNames) / sizeof(kNames[0]), "ENABLED");
}

void FormatNode(const CommandNode& node, const std::string& strLead, std::string& strOut)
{
    std::string strLine = strLead;
    if (node.flags & ECF_ISSEPARATOR)
        strLine += "----------";
    else if (SUCCEEDED(node.hrTitle))
        strLine += Utf16ToUtf8(DisplayCaption(ToU16(node.strTitle)));
    else
        strLine += "(no title: " + Hex(node.hrTitle) + ")";
    strLine += "  flags " + (SUCCEEDED(node.hrFlags) ? CommandFlagsText(node.flags) : "failed " + Hex(node.hrFlags));
    strLine += "  state " + (SUCCEEDED(node.hrState) ? CommandStateText(node.state) : "failed " + Hex(node.hrState));
    if (SUCCEEDED(node.hrIcon) && !node.strIcon.empty())
        strLine += "  icon " + WideToUtf8(node.strIcon) + (node.bIconLoads ? " (loads)" : " (does not load)");
    else if (!(node.flags & ECF_ISSEPARATOR))
        strLine += "  no icon";
    if (FAILED(node.hrEnum))
        strLine += "  EnumSubCommands failed " + Hex(node.hrEnum);
    strOut += strLine + "\n";
    for (size_t i = 0; i < node.vecChildren.size(); ++i)
    {
        char szLead[16] = {};
        std::snprintf(szLead, sizeof(szLead), "%6zu  ", i);
        FormatNode(node.vecChildren[i], strLead + szLead, strOut);
    }
}

}  // namespace

bool LoadCommandClassObject(const std::wstring& strDll, const CLSID& clsid, CLibraryHandle& dll,
                            CInterfacePtr<IClassFactory>& factory, std::string& strError)
{
    dll.Reset(::LoadLibraryW(strDll.c_str()));
    if (!dll)
    {
        DWORD dwError = ::GetLastError();
        strError = "cannot load " + WideToUtf8(strDll) + " (error " + std::to_string(dwError) + ")" +
                   (dwError == ERROR_BAD_EXE_FORMAT ? " - the Explorer command is 64-bit only" : "");
        return false;
    }
    const CServerExports exports(dll.Get());
    if (!exports.HasClassObject())
    {
        strError = WideToUtf8(strDll) + " lacks DllGetClassObject or DllCanUnloadNow";
        return false;
    }
    HRESULT hr = exports.GetClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr))
    {
        strError = "DllGetClassObject failed with " + Hex(hr) +
                   (hr == CLASS_E_CLASSNOTAVAILABLE ? " - the DLL serves no class of that identifier" : "");
        return false;
    }
    return true;
}

bool CreateExplorerCommand(const std::wstring& strDll, const CLSID& clsid, CLibraryHandle& dll,
                           CInterfacePtr<IExplorerCommand>& command, std::string& strError)
{
    CInterfacePtr<IClassFactory> factory;
    if (!LoadCommandClassObject(strDll, clsid, dll, factory, strError))
        return false;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IExplorerCommand, command.ReceiveVoid());
    if (FAILED(hr))
    {
        strError = "IClassFactory::CreateInstance(IExplorerCommand) failed with " + Hex(hr);
        return false;
    }
    return true;
}

IShellItemArray* CreateShellItemArray(const std::vector<std::wstring>& vecFiles)
{
    std::vector<CIdList> vecOwned;
    std::vector<PCIDLIST_ABSOLUTE> vecIdLists;
    for (const std::wstring& strFile : vecFiles)
    {
        CIdList idList(::ILCreateFromPathW(strFile.c_str()));
        if (!idList)
            return nullptr;
        vecIdLists.push_back(idList.get());
        vecOwned.push_back(std::move(idList));
    }
    IShellItemArray* pArray = nullptr;
    if (FAILED(::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(vecIdLists.size()), vecIdLists.data(), &pArray)))
        return nullptr;
    return pArray;
}

bool IconLoads(const wchar_t* pszFile, int nIndex)
{
    HICON hIcon = nullptr;
    UINT nId = 0;
    UINT nCount = ::PrivateExtractIconsW(pszFile, nIndex, 16, 16, &hIcon, &nId, 1, 0);
    CIconHandle icon(nCount == 1 ? hIcon : nullptr);
    return static_cast<bool>(icon);
}

bool IconLocationLoads(const std::wstring& strLocation)
{
    std::u16string strFile;
    int32_t nIndex = 0;
    if (!SplitIconLocation(ToU16(strLocation), strFile, nIndex))
        return false;
    return IconLoads(ToWide(strFile).c_str(), nIndex);
}

CommandNode ReadCommandTree(IExplorerCommand* pCommand, IShellItemArray* pSelection)
{
    CommandNode node;
    node.hrState = pCommand->GetState(pSelection, TRUE, &node.state);
    node.hrTitle = ReadText([&](wchar_t** ppsz) { return pCommand->GetTitle(pSelection, ppsz); }, node.strTitle);
    node.hrIcon = ReadText([&](wchar_t** ppsz) { return pCommand->GetIcon(pSelection, ppsz); }, node.strIcon);
    node.bIconLoads = SUCCEEDED(node.hrIcon) && IconLocationLoads(node.strIcon);
    node.hrFlags = pCommand->GetFlags(&node.flags);
    if (SUCCEEDED(node.hrFlags) && (node.flags & ECF_HASSUBCOMMANDS))
    {
        CInterfacePtr<IEnumExplorerCommand> subcommands;
        node.hrEnum = pCommand->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(subcommands.ReceiveVoid()));
        for (;;)
        {
            if (FAILED(node.hrEnum) || !subcommands)
                break;
            IExplorerCommand* pChild = nullptr;
            ULONG nFetched = 0;
            if (subcommands->Next(1, &pChild, &nFetched) != S_OK || nFetched != 1 || pChild == nullptr)
                break;
            CInterfacePtr<IExplorerCommand> child(pChild);
            node.vecChildren.push_back(ReadCommandTree(child.Get(), pSelection));
            node.vecChildren.back().command = std::move(child);
        }
    }
    return node;
}

std::string FormatCommandTree(const CommandNode& top)
{
    std::string strOut;
    FormatNode(top, "  ", strOut);
    return strOut;
}
