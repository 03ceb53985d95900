// An array as Explorer's proxy offers it, for the Windows tests and the fault
// sweep: the whole selection behind BindToHandler(BHID_DataObject), the
// items behind it, each call that reaches an item counted. It holds no
// references: it lives on the stack or in its user, beside the two it lends.
#pragma once

#include <windows.h>
#include <shlguid.h>
#include <shobjidl.h>

class CDataObjectArray : public IShellItemArray
{
public:
    CDataObjectArray(IShellItemArray* pItems, IDataObject* pData) : m_pItems(pItems), m_pData(pData) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        *ppv = (riid == IID_IUnknown || riid == IID_IShellItemArray) ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(BindToHandler)(IBindCtx*, REFGUID bhid, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        return bhid == BHID_DataObject && m_pData != nullptr ? m_pData->QueryInterface(riid, ppv) : E_NOTIMPL;
    }
    STDMETHOD(GetPropertyStore)(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetPropertyDescriptionList)(REFPROPERTYKEY, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetAttributes)(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHOD(GetCount)(DWORD* pdwNumItems) override { return m_pItems->GetCount(pdwNumItems); }
    STDMETHOD(GetItemAt)(DWORD i, IShellItem** ppItem) override
    {
        ++m_nItemCalls;
        return m_pItems->GetItemAt(i, ppItem);
    }
    STDMETHOD(EnumItems)(IEnumShellItems** ppEnum) override
    {
        ++m_nItemCalls;
        return m_pItems->EnumItems(ppEnum);
    }
    int m_nItemCalls = 0;

private:
    IShellItemArray* m_pItems;
    IDataObject* m_pData;
};
