#include "ShellExt/explorercommand/ShellItemPaths.h"

#include <shlguid.h>

#include "ShellExt/explorercommand/ComOwners.h"
#include "ShellExt/menu/DropSelection.h"
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

// The array's whole selection as one data object. Explorer's array answers
// with the selection in a single block (one round trip from the surrogate,
// however many items); an array without one (Wine's, whose BindToHandler
// is a stub) gives null, and the items are walked instead.
CComOwner<IDataObject> BindDataObject(IShellItemArray* psiItemArray) noexcept
{
    IDataObject* pData = nullptr;
    if (psiItemArray == nullptr ||
        FAILED(psiItemArray->BindToHandler(nullptr, BHID_DataObject, IID_IDataObject, reinterpret_cast<void**>(&pData))))
        pData = nullptr;
    return CComOwner<IDataObject>(pData);
}

}  // namespace

DWORD CountShellItems(IShellItemArray* psiItemArray) noexcept
{
    DWORD nCount = 0;
    if (psiItemArray == nullptr || FAILED(psiItemArray->GetCount(&nCount)))
        return 0;
    return nCount;
}

// A data object without a drop list (a selection of items that are not all
// files, such as a control panel page among them) is walked item by item, so
// that the files among them still count.
size_t EncodeFileSystemPaths(IShellItemArray* psiItemArray, SelectionFileEncoder& encoder)
{
    size_t nPaths = 0;
    CComOwner<IDataObject> data = BindDataObject(psiItemArray);
    if (data && EncodeDataObjectNames(data.get(), encoder, nPaths) != DataObjectRead::NoDropList)
        return nPaths;
    VisitFileSystemPaths(psiItemArray, [&](const wchar_t* pszPath) {
        encoder.AddPath(reinterpret_cast<const char16_t*>(pszPath), ::lstrlenW(pszPath));
        ++nPaths;
    });
    return nPaths;
}

// The key straight from the block, without a string per name: by the same
// function, over the same names, as SelectionKeyOfPaths over the list that
// the classic handler reads from its own data object.
uint64_t SelectionKeyOfItems(IShellItemArray* psiItemArray) noexcept
{
    try
    {
        uint64_t nKey = 0;
        CComOwner<IDataObject> data = BindDataObject(psiItemArray);
        if (data && DataObjectSelectionKey(data.get(), nKey) != DataObjectRead::NoDropList)
            return nKey;
    }
    catch (...)
    {
        // Out of memory converting a name: the walk below asks for no memory.
    }
    CSelectionKey key;
    VisitFileSystemPaths(psiItemArray, [&](const wchar_t* pszPath) {
        key.AddPath(reinterpret_cast<const char16_t*>(pszPath), ::lstrlenW(pszPath));
    });
    return key.Value();
}
