#include "ShellExt/explorercommand/ShellItemPaths.h"

#include "ShellExt/explorercommand/ComOwners.h"
#include "ShellExt/menu/SelectionKey.h"

DWORD CountShellItems(IShellItemArray* psiItemArray) noexcept
{
    DWORD nCount = 0;
    if (psiItemArray == nullptr || FAILED(psiItemArray->GetCount(&nCount)))
        return 0;
    return nCount;
}

namespace {

// Calls visit with each item's file-system path, in order; items without
// one are left out.
template <class Visitor>
void VisitFileSystemPaths(IShellItemArray* psiItemArray, Visitor visit)
{
    const DWORD nCount = CountShellItems(psiItemArray);
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
            visit(path.get());
    }
}

}  // namespace

std::vector<std::wstring> FileSystemPaths(IShellItemArray* psiItemArray)
{
    std::vector<std::wstring> vecPaths;
    vecPaths.reserve(CountShellItems(psiItemArray));
    VisitFileSystemPaths(psiItemArray, [&](const wchar_t* pszPath) { vecPaths.emplace_back(pszPath); });
    return vecPaths;
}

uint64_t SelectionKeyOfItems(IShellItemArray* psiItemArray) noexcept
{
    CSelectionKey key;
    VisitFileSystemPaths(psiItemArray, [&](const wchar_t* pszPath) {
        key.AddPath(reinterpret_cast<const char16_t*>(pszPath), ::lstrlenW(pszPath));
    });
    return key.Value();
}
