#include "tools/bench/CommandSelections.h"

#include <shlguid.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <aclapi.h>

#include <thread>

#include "ShellExt/menu/PendingHandOff.h"
#include "tools/bench/Floors.h"
#include "tools/common/HDropDataObject.h"
#include "tools/shellhost/ComPtr.h"

namespace {

const size_t kDoneWork = 3;

// One round trip to another thread and back, as each call on a proxy makes
// one to Explorer.
class CRoundTrip
{
public:
    CRoundTrip()
        : m_hAsk(::CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_hAnswer(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
        m_server = std::thread([this] {
            while (::WaitForSingleObject(m_hAsk, INFINITE) == WAIT_OBJECT_0 && !m_bStop)
                ::SetEvent(m_hAnswer);
        });
    }
    ~CRoundTrip()
    {
        m_bStop = true;
        ::SetEvent(m_hAsk);
        m_server.join();
        ::CloseHandle(m_hAsk);
        ::CloseHandle(m_hAnswer);
    }
    void Charge() { ::SignalObjectAndWait(m_hAsk, m_hAnswer, INFINITE, FALSE); }

private:
    HANDLE m_hAsk;
    HANDLE m_hAnswer;
    volatile bool m_bStop = false;
    std::thread m_server;
};

// Reference-counted objects of this file: the count, and the rest plain.
template <class I>
class CCounted : public I
{
public:
    virtual ~CCounted() = default;
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRefs; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    HRESULT Answer(REFIID riid, const IID& iid, void** ppv)
    {
        *ppv = (riid == IID_IUnknown || riid == iid) ? static_cast<I*>(this) : nullptr;
        if (*ppv == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG m_nRefs = 1;
};

class CPathItem : public CCounted<IShellItem>
{
public:
    CPathItem(const std::wstring& strPath, CRoundTrip& trip) : m_strPath(strPath), m_trip(trip) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return Answer(riid, IID_IShellItem, ppv); }
    STDMETHOD(BindToHandler)(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetParent)(IShellItem**) override { return E_NOTIMPL; }
    STDMETHOD(GetDisplayName)(SIGDN, LPWSTR* ppsz) override
    {
        m_trip.Charge();
        return ::SHStrDupW(m_strPath.c_str(), ppsz);
    }
    STDMETHOD(GetAttributes)(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHOD(Compare)(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }

private:
    const std::wstring& m_strPath;
    CRoundTrip& m_trip;
};

class CPathEnum : public CCounted<IEnumShellItems>
{
public:
    CPathEnum(const std::vector<std::wstring>& vecPaths, CRoundTrip& trip) : m_vecPaths(vecPaths), m_trip(trip) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return Answer(riid, IID_IEnumShellItems, ppv); }
    STDMETHOD(Next)(ULONG celt, IShellItem** rgelt, ULONG* pceltFetched) override
    {
        m_trip.Charge();
        ULONG n = 0;
        for (; n < celt && m_nNext < m_vecPaths.size(); ++n)
            rgelt[n] = new CPathItem(m_vecPaths[m_nNext++], m_trip);
        if (pceltFetched != nullptr)
            *pceltFetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG) override { return E_NOTIMPL; }
    STDMETHOD(Reset)() override { return E_NOTIMPL; }
    STDMETHOD(Clone)(IEnumShellItems**) override { return E_NOTIMPL; }

private:
    const std::vector<std::wstring>& m_vecPaths;
    CRoundTrip& m_trip;
    size_t m_nNext = 0;
};

// The data object's one call that matters, GetData, charged; the block is a
// fresh copy each time, as a transfer brings one.
class CChargedData : public CCounted<IDataObject>
{
public:
    CChargedData(IDataObject* pData, CRoundTrip& trip) : m_pData(pData), m_trip(trip) { m_pData->AddRef(); }
    ~CChargedData() override { m_pData->Release(); }
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return Answer(riid, IID_IDataObject, ppv); }
    STDMETHOD(GetData)(FORMATETC* pFormat, STGMEDIUM* pMedium) override
    {
        m_trip.Charge();
        return m_pData->GetData(pFormat, pMedium);
    }
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    IDataObject* m_pData;
    CRoundTrip& m_trip;
};

// The array itself; with pData null it has no data object, as Wine's.
class CChargingArray : public CCounted<IShellItemArray>
{
public:
    CChargingArray(const std::vector<std::wstring>& vecPaths, IDataObject* pData, CRoundTrip& trip)
        : m_vecPaths(vecPaths), m_pData(pData), m_trip(trip)
    {
    }
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return Answer(riid, IID_IShellItemArray, ppv); }
    STDMETHOD(BindToHandler)(IBindCtx*, REFGUID bhid, REFIID riid, void** ppv) override
    {
        m_trip.Charge();
        *ppv = nullptr;
        if (bhid != BHID_DataObject || m_pData == nullptr)
            return E_NOTIMPL;
        CChargedData* pData = new CChargedData(m_pData, m_trip);
        const HRESULT hr = pData->QueryInterface(riid, ppv);
        pData->Release();
        return hr;
    }
    STDMETHOD(GetPropertyStore)(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetPropertyDescriptionList)(REFPROPERTYKEY, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetAttributes)(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHOD(GetCount)(DWORD* pdwNumItems) override
    {
        m_trip.Charge();
        *pdwNumItems = static_cast<DWORD>(m_vecPaths.size());
        return S_OK;
    }
    STDMETHOD(GetItemAt)(DWORD i, IShellItem** ppItem) override
    {
        m_trip.Charge();
        *ppItem = i < m_vecPaths.size() ? new CPathItem(m_vecPaths[i], m_trip) : nullptr;
        return *ppItem != nullptr ? S_OK : E_INVALIDARG;
    }
    STDMETHOD(EnumItems)(IEnumShellItems** ppEnum) override
    {
        m_trip.Charge();
        *ppEnum = new CPathEnum(m_vecPaths, m_trip);
        return S_OK;
    }

private:
    const std::vector<std::wstring>& m_vecPaths;
    IDataObject* m_pData;
    CRoundTrip& m_trip;
};

// The drop list of the array's data object, locked; the floors' one transfer.
template <class Visit>
bool FloorReadDropList(IShellItemArray* pArray, Visit visit)
{
    IDataObject* pData = nullptr;
    if (FAILED(pArray->BindToHandler(nullptr, BHID_DataObject, IID_IDataObject, reinterpret_cast<void**>(&pData))))
        return false;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    const HRESULT hr = pData->GetData(&format, &medium);
    pData->Release();
    if (FAILED(hr))
        return false;
    auto* pDrop = static_cast<DROPFILES*>(::GlobalLock(medium.hGlobal));
    for (const wchar_t* psz = reinterpret_cast<const wchar_t*>(reinterpret_cast<BYTE*>(pDrop) + pDrop->pFiles); *psz;)
    {
        const size_t cch = wcslen(psz);
        visit(psz, cch);
        psz += cch + 1;
    }
    ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    return true;
}

// The state's floor: the count, the one transfer hashed name by name, and the
// look at the pending slot (the user's SID, the named event, its owner).
void FloorStateShown(IShellItemArray* pArray)
{
    DWORD nCount = 0;
    pArray->GetCount(&nCount);
    uint64_t nKey = 0;
    FloorReadDropList(pArray, [&](const wchar_t* psz, size_t cch) {
        uint64_t nHash = 0xcbf29ce484222325ULL;
        for (size_t i = 0; i < cch; ++i)
        {
            const wchar_t ch = (psz[i] >= L'A' && psz[i] <= L'Z') ? psz[i] + 32 : psz[i];
            nHash = (nHash ^ (ch & 0xFF)) * 0x100000001b3ULL;
            nHash = (nHash ^ (ch >> 8)) * 0x100000001b3ULL;
        }
        nKey += nHash;
    });
    HANDLE hToken = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken);
    BYTE abUser[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD cb = 0;
    ::GetTokenInformation(hToken, TokenUser, abUser, sizeof(abUser), &cb);
    ::CloseHandle(hToken);
    wchar_t szName[80];
    _snwprintf(szName, 80, L"Local\\Kelvoss.Orvane.HandOff.%016llx", static_cast<unsigned long long>(nKey));
    HANDLE hSlot = ::CreateEventW(nullptr, TRUE, FALSE, szName);
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    ::GetSecurityInfo(hSlot, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr, nullptr,
                      &pDescriptor);
    ::EqualSid(pOwner, reinterpret_cast<TOKEN_USER*>(abUser)->User.Sid);
    ::LocalFree(pDescriptor);
    ::CloseHandle(hSlot);
}

CInterfacePtr<IExplorerCommand> NewCommand(IClassFactory* pFactory)
{
    CInterfacePtr<IExplorerCommand> command;
    pFactory->CreateInstance(nullptr, IID_IExplorerCommand, command.ReceiveVoid());
    return command;
}

CInterfacePtr<IExplorerCommand> DoneWork(IExplorerCommand* pTop)
{
    CInterfacePtr<IEnumExplorerCommand> subcommands;
    IExplorerCommand* apCommands[kDoneWork + 1] = {};
    ULONG nFetched = 0;
    CInterfacePtr<IExplorerCommand> chosen;
    if (FAILED(pTop->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(subcommands.ReceiveVoid()))) ||
        subcommands->Next(kDoneWork + 1, apCommands, &nFetched) != S_OK)
        return chosen;
    for (size_t i = 0; i < nFetched; ++i)
    {
        if (i == kDoneWork)
            chosen = CInterfacePtr<IExplorerCommand>(apCommands[i]);
        else
            apCommands[i]->Release();
    }
    return chosen;
}

}  // namespace

std::vector<Comparison> TimeCommandSelection(CommandSelectionRun& run, const char* pszSize, bool bWithWalk)
{
    std::vector<Comparison> vecResults;
    CRoundTrip trip;
    CInterfacePtr<IDataObject> data(CreateHDropDataObject(run.vecFiles));
    CInterfacePtr<IShellItemArray> array(new CChargingArray(run.vecFiles, data.Get(), trip));
    CInterfacePtr<IShellItemArray> walked(new CChargingArray(run.vecFiles, nullptr, trip));
    // The slot of the selection, held here: every state request finds the
    // hand-off pending and starts no waiter.
    CHandOffSlot slot;
    slot.Create(SelectionKeyOfPaths(run.vecFiles));
    const size_t nFiles = run.vecFiles.size();
    const SampleCounts counts = {1, nFiles <= 2 ? size_t(200) : nFiles <= 1000 ? size_t(40) : nFiles <= 10000 ? size_t(15) : size_t(6), 1};
    SampleCounts scaled = counts;
    scaled.nSamples = static_cast<size_t>(static_cast<double>(counts.nSamples) * run.dScale);
    if (scaled.nSamples < 3)
        scaled.nSamples = 3;

    CInterfacePtr<IExplorerCommand> command;
    Comparison state = CompareWithFloor(
        (std::string("command: GetState shown (") + pszSize + ")").c_str(), scaled,
        [&](bool bOurs) {
            if (bOurs)
                command = NewCommand(run.pFactory);
        },
        [&](bool bOurs, size_t) {
            if (!bOurs)
                return FloorStateShown(array.Get());
            EXPCMDSTATE eState = ECS_HIDDEN;
            if (!command || command->GetState(array.Get(), TRUE, &eState) != S_OK || eState != ECS_ENABLED)
                ++run.nFailures;
        },
        [&](bool) { command.Reset(); });
    if (bWithWalk)
    {
        state.bNaive = true;
        state.naive = TimeAlone(
            {0, 3, 1},
            [&](size_t) {
                CInterfacePtr<IExplorerCommand> fresh = NewCommand(run.pFactory);
                EXPCMDSTATE eState = ECS_HIDDEN;
                fresh->GetState(walked.Get(), TRUE, &eState);
            },
            [] {});
    }
    vecResults.push_back(state);

    CInterfacePtr<IExplorerCommand> top = NewCommand(run.pFactory);
    CInterfacePtr<IExplorerCommand> chosen = top ? DoneWork(top.Get()) : CInterfacePtr<IExplorerCommand>();
    if (!chosen)
    {
        ++run.nFailures;
        return vecResults;
    }
    FloorState& floor = *run.pFloor;
    Comparison invoke = CompareWithFloor(
        (std::string("command: Invoke, start skipped (") + pszSize + ")").c_str(), scaled, [](bool) {},
        [&](bool bOurs, size_t) {
            if (bOurs)
            {
                if (chosen->Invoke(array.Get(), nullptr) != S_OK)
                    ++run.nFailures;
                return;
            }
            floor.vecSelectedFiles.clear();
            FloorReadDropList(array.Get(),
                              [&](const wchar_t* psz, size_t cch) { floor.vecSelectedFiles.emplace_back(psz, cch); });
            if (FloorInvokeCommand(floor, kDoneWork) != S_OK)
                ++run.nFailures;
        },
        [](bool) {});
    if (floor.vecSelectedFiles != run.vecFiles)
        ++run.nFailures;
    if (bWithWalk)
    {
        invoke.bNaive = true;
        invoke.naive = TimeAlone({0, 3, 1}, [&](size_t) { chosen->Invoke(walked.Get(), nullptr); }, [] {});
    }
    vecResults.push_back(invoke);
    return vecResults;
}
