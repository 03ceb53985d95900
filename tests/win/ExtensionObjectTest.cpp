// The extension object as a host sees it: its interfaces, the operations that
// do nothing, and the capture of the selection by Initialize.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

class ExtensionObjectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        m_pObject = new CComObject<CSimpleShlExt>();
        m_pObject->AddRef();
    }
    void TearDown() override
    {
        m_pObject->Release();
        // Hand-off timers of this test must not start anything later.
        g_szAppPath.Clear();
    }

    HRESULT InitializeWith(const std::vector<std::wstring>& vecFiles, bool bOfferHDrop = true)
    {
        IDataObject* pData = CreateHDropDataObject(vecFiles, bOfferHDrop);
        HRESULT hr = m_pObject->Initialize(nullptr, pData, nullptr);
        pData->Release();
        return hr;
    }

    CComObject<CSimpleShlExt>* m_pObject = nullptr;
};

TEST_F(ExtensionObjectTest, AnswersExactlyItsFiveInterfacesWithOneIdentity)
{
    IUnknown* pUnknown = nullptr;
    ASSERT_EQ(S_OK, m_pObject->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)));
    void* pSimple = nullptr;
    ASSERT_EQ(S_OK, m_pObject->QueryInterface(IID_ISimpleShlExt, &pSimple));
    EXPECT_EQ(static_cast<void*>(pUnknown), pSimple);

    const IID* aiids[] = {&IID_IShellExtInit, &IID_IContextMenu, &IID_IPersistFile, &IID_IExtractIconW};
    for (const IID* piid : aiids)
    {
        IUnknown* pInterface = nullptr;
        ASSERT_EQ(S_OK, m_pObject->QueryInterface(*piid, reinterpret_cast<void**>(&pInterface)));
        // Every interface leads back to the same identity.
        IUnknown* pBack = nullptr;
        ASSERT_EQ(S_OK, pInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pBack)));
        EXPECT_EQ(pUnknown, pBack);
        pBack->Release();
        pInterface->Release();
    }

    const IID* aRefused[] = {&IID_IPersist, &IID_IDataObject, &IID_IClassFactory, &IID_IExtractIconA};
    for (const IID* piid : aRefused)
    {
        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, m_pObject->QueryInterface(*piid, &pv));
        EXPECT_EQ(nullptr, pv);
    }
    EXPECT_EQ(E_POINTER, m_pObject->QueryInterface(IID_IUnknown, nullptr));

    static_cast<IUnknown*>(pSimple)->Release();
    pUnknown->Release();
}

TEST_F(ExtensionObjectTest, ReferencesThroughAnyInterfaceShareOneCount)
{
    IContextMenu* pMenu = nullptr;
    IExtractIconW* pIcon = nullptr;
    ASSERT_EQ(S_OK, m_pObject->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&pMenu)));
    ASSERT_EQ(S_OK, m_pObject->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&pIcon)));
    EXPECT_EQ(4u, pMenu->AddRef());
    EXPECT_EQ(3u, pIcon->Release());
    EXPECT_EQ(2u, pMenu->Release());
    EXPECT_EQ(1u, pIcon->Release());
}

// Operations that do nothing give their fixed answer and write nothing to
// the host's buffers: the text requests of GetCommandString write only a
// terminator, every other request and operation nothing at all.
TEST_F(ExtensionObjectTest, OperationsThatDoNothingAnswerAsTheHostExpectsAndTouchNoBuffer)
{
    CLSID clsid = CLSID_NULL;
    LPOLESTR pszCurrent = reinterpret_cast<LPOLESTR>(0x1234);
    HICON hLarge = reinterpret_cast<HICON>(0x55);
    CSimpleShlExt* pObject = m_pObject;
    struct Fixed
    {
        const char* pszCall;
        HRESULT hrActual;
        HRESULT hrExpected;
    } const fixed[] = {
        {"GetClassID(null)", pObject->GetClassID(nullptr), E_NOTIMPL},
        {"GetClassID", pObject->GetClassID(&clsid), E_NOTIMPL},
        {"IsDirty", pObject->IsDirty(), E_NOTIMPL},
        {"Save", pObject->Save(L"x", TRUE), E_NOTIMPL},
        {"SaveCompleted", pObject->SaveCompleted(L"x"), E_NOTIMPL},
        {"GetCurFile", pObject->GetCurFile(&pszCurrent), E_NOTIMPL},
        {"Extract", pObject->Extract(L"x", 0, &hLarge, nullptr, 16), S_FALSE},
    };
    for (const Fixed& f : fixed)
        EXPECT_EQ(f.hrExpected, f.hrActual) << f.pszCall;
    EXPECT_TRUE(IsEqualCLSID(CLSID_NULL, clsid));
    EXPECT_EQ(reinterpret_cast<LPOLESTR>(0x1234), pszCurrent);
    EXPECT_EQ(reinterpret_cast<HICON>(0x55), hLarge);

    struct Case
    {
        UINT uType;
        bool bWide;
        bool bCleared;
    } cases[] = {
        {GCS_VERBA, false, true},     {GCS_HELPTEXTA, false, true}, {GCS_VERBW, true, true},
        {GCS_HELPTEXTW, true, true},  {GCS_VALIDATEA, false, false}, {GCS_VALIDATEW, true, false},
    };
    for (const Case& c : cases)
    {
        char buffer[64];
        memset(buffer, 'x', sizeof(buffer));
        EXPECT_EQ(S_OK, m_pObject->GetCommandString(3, c.uType, nullptr, buffer, 32)) << c.uType;
        if (c.bCleared && c.bWide)
            EXPECT_EQ(L'\0', reinterpret_cast<wchar_t*>(buffer)[0]) << c.uType;
        else if (c.bCleared)
            EXPECT_EQ('\0', buffer[0]) << c.uType;
        else
            EXPECT_EQ('x', buffer[0]) << c.uType;
        EXPECT_EQ('x', buffer[2]) << "only the terminator is written, type " << c.uType;
    }
    char untouched[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(S_OK, m_pObject->GetCommandString(0, GCS_VERBW, nullptr, untouched, 0));
    EXPECT_EQ('x', untouched[0]);
    EXPECT_EQ(S_OK, m_pObject->GetCommandString(0, GCS_VERBW, nullptr, nullptr, 10));
}

TEST_F(ExtensionObjectTest, InitializeCapturesEveryNameInOrderEvenBeyondMaxPath)
{
    std::wstring strLong = L"C:\\" + std::wstring(590, L'a') + L"\\end.txt";
    ASSERT_GT(strLong.size(), 519u);
    std::vector<std::wstring> vecFiles = {L"C:\\one.txt", strLong, L"D:\\three dir\\three.doc"};
    EXPECT_EQ(S_OK, InitializeWith(vecFiles));
    EXPECT_EQ(vecFiles, m_pObject->SelectedFiles());

    // A later capture replaces the earlier one.
    EXPECT_EQ(S_OK, InitializeWith({L"E:\\only.txt"}));
    EXPECT_EQ(std::vector<std::wstring>{L"E:\\only.txt"}, m_pObject->SelectedFiles());
}

TEST_F(ExtensionObjectTest, InitializeWithoutUsableDropKeepsTheEarlierSelection)
{
    ASSERT_EQ(S_OK, InitializeWith({L"C:\\kept.txt"}));
    LONG nLocks = g_pModule->GetModuleLockCount();

    EXPECT_EQ(E_INVALIDARG, InitializeWith({L"C:\\other.txt"}, false));
    EXPECT_EQ(E_INVALIDARG, m_pObject->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\kept.txt"}, m_pObject->SelectedFiles());
    // A failed Initialize starts no hand-off timer, so takes no module lock.
    EXPECT_EQ(nLocks, g_pModule->GetModuleLockCount());
}

TEST_F(ExtensionObjectTest, EachSuccessfulInitializeHoldsTheModuleUntilItsTimerHasRun)
{
    LONG nBefore = g_pModule->GetModuleLockCount();
    ASSERT_EQ(S_OK, InitializeWith({L"C:\\a.txt"}));
    ASSERT_EQ(S_OK, InitializeWith({L"C:\\b.txt"}));
    EXPECT_EQ(nBefore + 2, g_pModule->GetModuleLockCount());
}

TEST_F(ExtensionObjectTest, InitializeSucceedsWithoutAnyProductSettings)
{
    DeleteProductKeys();
    EXPECT_EQ(S_OK, InitializeWith({L"C:\\a.txt"}));
    EXPECT_STREQ(L"", m_pObject->InstallDir());
    EXPECT_EQ(L"\\Languages\\english.lng", g_strLangFile.Copy());
}

}  // namespace
