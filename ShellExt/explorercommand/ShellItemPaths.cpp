#include "ShellExt/explorercommand/ShellItemPaths.h"

#include "ShellExt/explorercommand/ComOwners.h"
#include "ShellExt/menu/SelectionKey.h"

namespace {

// Items are fetched from the array's enumerator this many at a time.
const ULONG kItemsPerFetch = 64;

// Calls visit with the item's file-system path, if it has one, and releases
// the item.
template <class Visitor>
void VisitItemPath(IShellItem* pRawItem, Visitor& visit)
{
    CComOwner<IShellItem> item(pRawItem);
    wchar_t* pszRawPath = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &pszRawPath)) || pszRawPath == nullptr)
        return;
    CTaskMemString path(pszRawPath);
    if (path.get()[0] != L'\0')
        visit(path.get());
}

// The whole array in one walk of its enumerator. False when the array has no
// enumerator, before any item was taken.
template <class Visitor>
bool VisitEnumeratedPaths(IShellItemArray* psiItemArray, Visitor& visit)
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
        // Every fetched item is owned from here on, also when a visit throws.
        ULONG i = 0;
        try
        {
            for (; i < nFetched; ++i)
                if (apItems[i] != nullptr)
                    VisitItemPath(apItems[i], visit);
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

// Calls visit with each item's file-system path, in order; items without one
// are left out. The enumerator walks the array once. An array reached by
// index may find each item from its start (as the shell's own reader of a
// drop list does), so the index is the fallback for an array without an
// enumerator.
template <class Visitor>
void VisitFileSystemPaths(IShellItemArray* psiItemArray, Visitor visit)
{
    const DWORD nCount = CountShellItems(psiItemArray);
    if (nCount == 0 || VisitEnumeratedPaths(psiItemArray, visit))
        return;
    for (DWORD i = 0; i < nCount; ++i)
    {
        IShellItem* pRawItem = nullptr;
        if (SUCCEEDED(psiItemArray->GetItemAt(i, &pRawItem)) && pRawItem != nullptr)
            VisitItemPath(pRawItem, visit);
    }
}

}  // namespace

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
