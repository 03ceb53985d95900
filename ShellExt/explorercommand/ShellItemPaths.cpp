#include "ShellExt/explorercommand/ShellItemPaths.h"

#include "ShellExt/explorercommand/ComOwners.h"

DWORD CountShellItems(IShellItemArray* psiItemArray) noexcept
{
    DWORD nCount = 0;
    if (psiItemArray == nullptr || FAILED(psiItemArray->GetCount(&nCount)))
        return 0;
    return nCount;
}

std::vector<std::wstring> FileSystemPaths(IShellItemArray* psiItemArray)
{
    std::vector<std::wstring> vecPaths;
    const DWORD nCount = CountShellItems(psiItemArray);
    vecPaths.reserve(nCount);
    for (DWORD i = 0; i < nCount; ++i)
    {
        IShellItem* pRawItem = nullptr;
        if (FAILED(psiItemArray->GetItemAt(i, &pRawItem)) || pRawItem == nullptr)
            continue;
        CComOwner<IShellItem> item(pRawItem);
        wchar_t* pszRawPath = nullptr;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &pszRawPath)) || pszRawPath == nullptr)
            continue;
        CTaskMemString path(pszRawPath);
        if (path.get()[0] != L'\0')
            vecPaths.emplace_back(path.get());
    }
    return vecPaths;
}
