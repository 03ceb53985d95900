#include "ShellExt/explorercommand/ShellItemPaths.h"

#include "ShellExt/explorercommand/ComOwners.h"

namespace {

// Items are fetched from the array's enumerator this many at a time.
const ULONG kItemsPerFetch = 64;

// Appends the item's file-system path, if it has one, and releases the item.
void AppendFileSystemPath(IShellItem* pRawItem, std::vector<std::wstring>& vecPaths)
{
    CComOwner<IShellItem> item(pRawItem);
    wchar_t* pszRawPath = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &pszRawPath)) || pszRawPath == nullptr)
        return;
    CTaskMemString path(pszRawPath);
    if (path.get()[0] != L'\0')
        vecPaths.emplace_back(path.get());
}

// The whole array in one walk of its enumerator. False when the array has no
// enumerator, before any item was taken.
bool EnumerateFileSystemPaths(IShellItemArray* psiItemArray, std::vector<std::wstring>& vecPaths)
{
    IEnumShellItems* pRawEnum = nullptr;
    if (FAILED(psiItemArray->EnumItems(&pRawEnum)) || pRawEnum == nullptr)
        return false;
    CComOwner<IEnumShellItems> items(pRawEnum);
    IShellItem* apItems[kItemsPerFetch];
    for (;;)
    {
        ULONG nFetched = 0;
        const HRESULT hr = items->Next(kItemsPerFetch, apItems, &nFetched);
        if (FAILED(hr) || nFetched > kItemsPerFetch)
            break;
        // Every fetched item is owned from here on, also when a path throws.
        ULONG i = 0;
        try
        {
            for (; i < nFetched; ++i)
                if (apItems[i] != nullptr)
                    AppendFileSystemPath(apItems[i], vecPaths);
        }
        catch (...)
        {
            for (++i; i < nFetched; ++i)
                if (apItems[i] != nullptr)
                    apItems[i]->Release();
            throw;
        }
        if (hr != S_OK || nFetched == 0)
            break;
    }
    return true;
}

}  // namespace

DWORD CountShellItems(IShellItemArray* psiItemArray) noexcept
{
    DWORD nCount = 0;
    if (psiItemArray == nullptr || FAILED(psiItemArray->GetCount(&nCount)))
        return 0;
    return nCount;
}

// The enumerator walks the array once. An array reached by index may find
// each item from its start (as the shell's own reader of a drop list does),
// so the index is the fallback for an array without an enumerator.
std::vector<std::wstring> FileSystemPaths(IShellItemArray* psiItemArray)
{
    std::vector<std::wstring> vecPaths;
    const DWORD nCount = CountShellItems(psiItemArray);
    vecPaths.reserve(nCount);
    if (nCount == 0 || EnumerateFileSystemPaths(psiItemArray, vecPaths))
        return vecPaths;
    for (DWORD i = 0; i < nCount; ++i)
    {
        IShellItem* pRawItem = nullptr;
        if (SUCCEEDED(psiItemArray->GetItemAt(i, &pRawItem)) && pRawItem != nullptr)
            AppendFileSystemPath(pRawItem, vecPaths);
    }
    return vecPaths;
}
