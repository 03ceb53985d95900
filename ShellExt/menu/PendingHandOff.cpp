#include "ShellExt/menu/PendingHandOff.h"

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/menu/HandOff.h"
#include "ShellExt/menu/SelectionKey.h"

struct HandOffSlotData
{
    volatile LONG nWaiters;
    volatile LONG nWriting;  // a spin lock around the path: writer and reader live in different processes
    wchar_t szSelectionFile[MAX_PATH];
};

namespace {

const wchar_t kSlotPrefix[] = L"Local\\Kelvoss.Orvane.HandOff.";
const size_t kSlotNameLength = sizeof(kSlotPrefix) / sizeof(kSlotPrefix[0]) + kSelectionKeyDigits;

void BuildSlotName(uint64_t nKey, wchar_t (&szName)[kSlotNameLength]) noexcept
{
    char16_t szDigits[kSelectionKeyDigits + 1];
    FormatSelectionKey(nKey, szDigits);
    const size_t cchPrefix = sizeof(kSlotPrefix) / sizeof(kSlotPrefix[0]) - 1;
    for (size_t i = 0; i < cchPrefix; ++i)
        szName[i] = kSlotPrefix[i];
    for (size_t i = 0; i <= kSelectionKeyDigits; ++i)
        szName[cchPrefix + i] = static_cast<wchar_t>(szDigits[i]);
}

// The path is copied in and out under a lock taken for a few hundred bytes'
// copy; a holder that died in between cannot keep a reader for long.
class CSlotTextLock
{
public:
    explicit CSlotTextLock(HandOffSlotData* pData) noexcept : m_pData(pData)
    {
        for (int nSpins = 0; nSpins < 1000; ++nSpins)
        {
            if (::InterlockedCompareExchange(&m_pData->nWriting, 1, 0) == 0)
            {
                m_bHeld = true;
                return;
            }
            ::Sleep(0);
        }
    }
    ~CSlotTextLock()
    {
        if (m_bHeld)
            ::InterlockedExchange(&m_pData->nWriting, 0);
    }
    CSlotTextLock(const CSlotTextLock&) = delete;
    CSlotTextLock& operator=(const CSlotTextLock&) = delete;

private:
    HandOffSlotData* m_pData;
    bool m_bHeld = false;
};

}  // namespace

CHandOffSlot::Outcome CHandOffSlot::Create(uint64_t nKey) noexcept
{
    wchar_t szName[kSlotNameLength];
    BuildSlotName(nKey, szName);
    m_view.Reset();
    m_hMapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(HandOffSlotData), szName));
    if (!m_hMapping)
        return Outcome::Failed;
    const Outcome outcome = ::GetLastError() == ERROR_ALREADY_EXISTS ? Outcome::Existed : Outcome::Created;
    m_view.Reset(::MapViewOfFile(m_hMapping.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(HandOffSlotData)));
    return outcome;
}

HANDLE CHandOffSlot::DetachMapping() noexcept
{
    m_view.Reset();
    return m_hMapping.Detach();
}

void CHandOffSlot::StoreSelectionFile(const wchar_t* pszSelectionFile) noexcept
{
    HandOffSlotData* pData = Data();
    if (pData == nullptr || pszSelectionFile == nullptr)
        return;
    CSlotTextLock lock(pData);
    if (!CopyBounded(pData->szSelectionFile, MAX_PATH, pszSelectionFile))
        pData->szSelectionFile[0] = L'\0';
}

void CHandOffSlot::ReadSelectionFile(wchar_t (&szSelectionFile)[MAX_PATH]) const noexcept
{
    szSelectionFile[0] = L'\0';
    HandOffSlotData* pData = Data();
    if (pData == nullptr)
        return;
    CSlotTextLock lock(pData);
    // Not terminated inside the slot: not a path this extension wrote.
    if (!CopyBounded(szSelectionFile, MAX_PATH, pData->szSelectionFile))
        szSelectionFile[0] = L'\0';
}

bool CHandOffSlot::ClaimWaiter() noexcept
{
    HandOffSlotData* pData = Data();
    return pData == nullptr || ::InterlockedCompareExchange(&pData->nWaiters, 1, 0) == 0;
}

bool IsHandOffPending(uint64_t nKey) noexcept
{
    wchar_t szName[kSlotNameLength];
    BuildSlotName(nKey, szName);
    CKernelHandle hMapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, szName));
    return hMapping.IsValid();
}

uint64_t SelectionKeyOfPaths(const std::vector<std::wstring>& vecPaths) noexcept
{
    CSelectionKey key;
    for (const std::wstring& strPath : vecPaths)
        key.AddPath(reinterpret_cast<const char16_t*>(strPath.c_str()), strPath.size());
    return key.Value();
}

void RecordNewestSelectionFile(uint64_t nKey) noexcept
{
    if (!IsHandOffPending(nKey))
        return;
    CHandOffSlot slot;
    if (slot.Create(nKey) != CHandOffSlot::Outcome::Existed)
        return;
    wchar_t szSelectionFile[MAX_PATH];
    g_szSelectionFile.CopyTo(szSelectionFile);
    slot.StoreSelectionFile(szSelectionFile);
}
