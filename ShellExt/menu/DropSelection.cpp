#include "ShellExt/menu/DropSelection.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "ShellExt/menu/SelectionKey.h"

const wchar_t* DroppedNameText(const DroppedName& name, bool bWide, std::wstring& strScratch, size_t& cch)
{
    cch = 0;
    if (bWide)
    {
        cch = name.cch;
        if (reinterpret_cast<uintptr_t>(name.pbFirst) % alignof(wchar_t) == 0)
            return reinterpret_cast<const wchar_t*>(name.pbFirst);
        strScratch.resize(name.cch);
        std::memcpy(&strScratch[0], name.pbFirst, name.cch * sizeof(wchar_t));
        return strScratch.c_str();
    }
    // A name never has more characters than bytes.
    if (name.cch > static_cast<size_t>(INT_MAX))
        return nullptr;
    const int cb = static_cast<int>(name.cch);
    strScratch.resize(name.cch);
    const int nConverted =
        ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(name.pbFirst), cb, &strScratch[0], cb);
    cch = nConverted > 0 ? static_cast<size_t>(nConverted) : 0;
    return strScratch.c_str();
}

HRESULT ReadDroppedNames(CDropListReader& reader, std::vector<std::wstring>& vecNames)
{
    const DropListStep step =
        VisitDroppedNames(reader, [&](const wchar_t* pszName, size_t cch) { vecNames.emplace_back(pszName, cch); });
    return step == DropListStep::End ? S_OK : E_INVALIDARG;
}

bool CDropMedium::Receive(IDataObject* pdtobj) noexcept
{
    if (pdtobj == nullptr)
        return false;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    m_medium.Receive()->tymed = TYMED_NULL;
    if (FAILED(pdtobj->GetData(&format, m_medium.Receive())))
        return false;
    m_medium.MarkFilled();
    if (m_medium.Get().tymed != TYMED_HGLOBAL || m_medium.Get().hGlobal == nullptr)
        return false;
    m_lock.reset(new (std::nothrow) CGlobalLock(m_medium.Get().hGlobal));
    return m_lock != nullptr && m_lock->Get() != nullptr;
}

CDropListReader CDropMedium::Reader() const noexcept
{
    if (!m_lock)
        return CDropListReader(nullptr, 0);
    return CDropListReader(m_lock->Get(), ::GlobalSize(m_medium.Get().hGlobal));
}

namespace {

// One GetData(CF_HDROP) and one pass over its block: prepare(reader) before
// the walk, then visit(pszName, cch) for every name.
template <class Prepare, class Visit>
DataObjectRead WalkDataObjectNames(IDataObject* pdtobj, Prepare prepare, Visit visit)
{
    CDropMedium medium;
    if (!medium.Receive(pdtobj))
        return DataObjectRead::NoDropList;
    CDropListReader reader = medium.Reader();
    prepare(reader);
    return VisitDroppedNames(reader, visit) == DropListStep::End ? DataObjectRead::Read : DataObjectRead::Malformed;
}

}  // namespace

DataObjectRead EncodeDataObjectNames(IDataObject* pdtobj, SelectionFileEncoder& encoder, size_t& nNames)
{
    // Room for the whole list at once (every unit of a wide list, every byte
    // of an 8-bit one, becomes at most one unit of the file), up to a bound:
    // a block far larger than its list is not allowed to claim memory.
    const size_t kMostUnitsReserved = 16 * 1024 * 1024;
    nNames = 0;
    size_t nVisited = 0;
    const DataObjectRead read = WalkDataObjectNames(
        pdtobj,
        [&](const CDropListReader& reader) {
            const size_t cchList = reader.UnitsLeft();
            encoder.Reserve(cchList < kMostUnitsReserved ? cchList : kMostUnitsReserved);
        },
        [&](const wchar_t* pszName, size_t cch) {
            encoder.AddPath(reinterpret_cast<const char16_t*>(pszName), cch);
            ++nVisited;
        });
    if (read == DataObjectRead::Read)
        nNames = nVisited;
    return read;
}

DataObjectRead DataObjectSelectionKey(IDataObject* pdtobj, uint64_t& nKey)
{
    nKey = 0;
    CSelectionKey key;
    const DataObjectRead read = WalkDataObjectNames(
        pdtobj, [](const CDropListReader&) {},
        [&](const wchar_t* pszName, size_t cch) { key.AddPath(reinterpret_cast<const char16_t*>(pszName), cch); });
    if (read == DataObjectRead::Read)
        nKey = key.Value();
    return read;
}
