// The selection as a data object hands it over: one CF_HDROP block, read in
// one pass (DropList.h) into the names DragQueryFileW would give. Both front
// ends read it here, the classic handler from the data object of Initialize,
// the Explorer command from its item array's data object, so that both see
// the same names and compute the same key (SelectionKey.h) from them.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ShellExt/core/Handles.h"
#include "ShellExt/menu/DropList.h"
#include "ShellExt/menu/HandOffFormat.h"

// The name as DragQueryFileW gives it: a wide name where it lies (copied into
// strScratch when it lies at an odd address), an 8-bit one converted from the
// ANSI code page into strScratch. cch is 0 for a name that does not convert;
// the shell then answers 0 for it and the name is skipped. May throw
// std::bad_alloc.
const wchar_t* DroppedNameText(const DroppedName& name, bool bWide, std::wstring& strScratch, size_t& cch);

// Calls visit(pszName, cch) for every name of the list, in order. Malformed
// when the list runs off the end of its block (the names before it have been
// visited). May throw std::bad_alloc, and whatever visit throws.
template <class Visitor>
DropListStep VisitDroppedNames(CDropListReader& reader, Visitor visit)
{
    std::wstring strScratch;
    DroppedName name;
    DropListStep step;
    while ((step = reader.Next(name)) == DropListStep::Name)
    {
        size_t cch = 0;
        const wchar_t* pszName = DroppedNameText(name, reader.IsWide(), strScratch, cch);
        if (cch != 0)
            visit(pszName, cch);
    }
    return step;
}

// Every name appended to vecNames; E_INVALIDARG for a malformed list. May
// throw std::bad_alloc.
HRESULT ReadDroppedNames(CDropListReader& reader, std::vector<std::wstring>& vecNames);

// The CF_HDROP medium of a data object, locked while this lives.
class CDropMedium
{
public:
    CDropMedium() = default;
    CDropMedium(const CDropMedium&) = delete;
    CDropMedium& operator=(const CDropMedium&) = delete;

    // One GetData(CF_HDROP) call. False when the object has no such medium
    // in global memory, or it cannot be locked.
    bool Receive(IDataObject* pdtobj) noexcept;
    // A reader over the locked block (Receive must have succeeded).
    CDropListReader Reader() const noexcept;

private:
    CStgMediumHolder m_medium;
    std::unique_ptr<CGlobalLock> m_lock;
};

enum class DataObjectRead
{
    Read,        // the whole list was read
    NoDropList,  // the object offers no CF_HDROP block
    Malformed,   // it does, and the block is not a usable list: no names
};

// A data object's selection as the selection file holds it, appended to
// encoder straight from the block, without a string per name, with nNames
// the number of names; or its key alone. One GetData call and one pass over
// the block each. A malformed list leaves nNames and nKey 0 (the encoder may
// hold the names before the fault). May throw std::bad_alloc.
DataObjectRead EncodeDataObjectNames(IDataObject* pdtobj, SelectionFileEncoder& encoder, size_t& nNames);
DataObjectRead DataObjectSelectionKey(IDataObject* pdtobj, uint64_t& nKey);
