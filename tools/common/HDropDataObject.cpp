#include "tools/common/HDropDataObject.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <new>
#include <string>

namespace {

FORMATETC HDropFormat()
{
    FORMATETC fmt = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return fmt;
}

bool IsHDropRequest(const FORMATETC* pFormat)
{
    return pFormat != nullptr && pFormat->cfFormat == CF_HDROP && (pFormat->tymed & TYMED_HGLOBAL) != 0 &&
           pFormat->dwAspect == DVASPECT_CONTENT && (pFormat->lindex == -1 || pFormat->lindex == 0);
}

// The names one after the other, each NUL-terminated, the list ending in an
// empty name: UTF-16, or 8-bit text in the ANSI code page.
std::string MakeNameList(const std::vector<std::wstring>& vecFiles, bool bWideNames)
{
    std::string strList;
    for (const std::wstring& strFile : vecFiles)
    {
        if (bWideNames)
        {
            strList.append(reinterpret_cast<const char*>(strFile.c_str()), (strFile.size() + 1) * sizeof(wchar_t));
            continue;
        }
        const int cch = static_cast<int>(strFile.size());
        const int cb = ::WideCharToMultiByte(CP_ACP, 0, strFile.c_str(), cch, nullptr, 0, nullptr, nullptr);
        const size_t nStart = strList.size();
        strList.resize(nStart + static_cast<size_t>(cb) + 1);
        ::WideCharToMultiByte(CP_ACP, 0, strFile.c_str(), cch, &strList[nStart], cb, nullptr, nullptr);
    }
    strList.append(bWideNames ? sizeof(wchar_t) : 1, '\0');
    return strList;
}

HGLOBAL MakeBlock(const std::string& strBlock)
{
    HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, strBlock.size());
    void* pBlock = hGlobal != nullptr ? ::GlobalLock(hGlobal) : nullptr;
    if (pBlock != nullptr)
    {
        std::memcpy(pBlock, strBlock.data(), strBlock.size());
        ::GlobalUnlock(hGlobal);
    }
    return hGlobal;
}

HGLOBAL MakeDropFiles(const std::vector<std::wstring>& vecFiles, bool bWideNames)
{
    const std::string strList = MakeNameList(vecFiles, bWideNames);
    HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + strList.size());
    if (hGlobal == nullptr)
        return nullptr;
    auto* pDrop = static_cast<DROPFILES*>(::GlobalLock(hGlobal));
    if (pDrop == nullptr)
    {
        ::GlobalFree(hGlobal);
        return nullptr;
    }
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = bWideNames;
    std::memcpy(reinterpret_cast<BYTE*>(pDrop) + sizeof(DROPFILES), strList.data(), strList.size());
    ::GlobalUnlock(hGlobal);
    return hGlobal;
}

class CHDropDataObject : public IDataObject
{
public:
    CHDropDataObject(std::vector<std::wstring> vecFiles, bool bOfferHDrop, bool bWideNames)
        : m_vecFiles(std::move(vecFiles)), m_bOfferHDrop(bOfferHDrop), m_bWideNames(bWideNames)
    {
    }
    explicit CHDropDataObject(std::string strRawBlock)
        : m_bOfferHDrop(true), m_bWideNames(true), m_bRaw(true), m_strRawBlock(std::move(strRawBlock))
    {
    }
    virtual ~CHDropDataObject() = default;
    void RefuseGetData(HRESULT hr) { m_hrGetData = hr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDataObject)
        {
            *ppv = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_nRefs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG nRefs = ::InterlockedDecrement(&m_nRefs);
        if (nRefs == 0)
            delete this;
        return static_cast<ULONG>(nRefs);
    }

    STDMETHODIMP GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) override
    {
        if (pMedium == nullptr)
            return E_POINTER;
        if (QueryGetData(pFormat) != S_OK)
            return DV_E_FORMATETC;
        if (FAILED(m_hrGetData))
            return m_hrGetData;
        HGLOBAL hGlobal = m_bRaw ? MakeBlock(m_strRawBlock) : MakeDropFiles(m_vecFiles, m_bWideNames);
        if (hGlobal == nullptr)
            return E_OUTOFMEMORY;
        pMedium->tymed = TYMED_HGLOBAL;
        pMedium->hGlobal = hGlobal;
        pMedium->pUnkForRelease = nullptr;  // the caller frees it with ReleaseStgMedium
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* pFormat) override
    {
        return m_bOfferHDrop && IsHDropRequest(pFormat) ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut) override
    {
        if (pOut != nullptr)
            pOut->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppEnum) override
    {
        if (ppEnum == nullptr)
            return E_POINTER;
        *ppEnum = nullptr;
        if (dwDirection != DATADIR_GET)
            return E_NOTIMPL;
        FORMATETC fmt = HDropFormat();
        return ::SHCreateStdEnumFmtEtc(m_bOfferHDrop ? 1 : 0, &fmt, ppEnum);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG m_nRefs = 1;
    std::vector<std::wstring> m_vecFiles;
    bool m_bOfferHDrop;
    bool m_bWideNames;
    bool m_bRaw = false;
    std::string m_strRawBlock;
    HRESULT m_hrGetData = S_OK;
};

}  // namespace

IDataObject* CreateHDropDataObject(const std::vector<std::wstring>& vecFiles, bool bOfferHDrop, bool bWideNames)
{
    try
    {
        return new (std::nothrow) CHDropDataObject(vecFiles, bOfferHDrop, bWideNames);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

IDataObject* CreateRawHDropDataObject(const std::string& strBlock)
{
    try
    {
        return new (std::nothrow) CHDropDataObject(strBlock);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

IDataObject* CreateRefusingHDropDataObject(HRESULT hrGetData)
{
    auto* pObject = new (std::nothrow) CHDropDataObject(std::vector<std::wstring>(), true, true);
    if (pObject != nullptr)
        pObject->RefuseGetData(hrGetData);
    return pObject;
}
