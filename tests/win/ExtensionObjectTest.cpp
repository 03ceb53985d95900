// The extension object as a host sees it: its interfaces, the operations that
// do nothing, and the capture of the selection by Initialize.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>

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
        return InitializeFrom(CreateHDropDataObject(vecFiles, bOfferHDrop));
    }

    HRESULT InitializeFrom(IDataObject* pData)
    {
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

// What the shell's own reader gives for each index of the medium, each name
// asked for on its own, as handlers used to read them.
std::vector<std::wstring> NamesFromDragQueryFile(IDataObject* pData)
{
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    std::vector<std::wstring> vecNames;
    if (FAILED(pData->GetData(&format, &medium)))
        return vecNames;
    HDROP hDrop = static_cast<HDROP>(::GlobalLock(medium.hGlobal));
    const UINT nCount = ::DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
    std::vector<wchar_t> vecBuffer(4096);
    for (UINT i = 0; i < nCount; ++i)
        if (::DragQueryFileW(hDrop, i, vecBuffer.data(), static_cast<UINT>(vecBuffer.size())) != 0)
            vecNames.emplace_back(vecBuffer.data());
    ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    return vecNames;
}

TEST_F(ExtensionObjectTest, InitializeReadsTheNamesTheShellGivesFromWideAnd8BitLists)
{
    const std::wstring strLong = L"C:\\" + std::wstring(700, L'l') + L"\\caf\u00E9.txt";
    const std::vector<std::wstring> vecFiles = {L"C:\\one.txt", strLong, L"D:\\r\u00E9sum\u00E9 \u6587.doc",
                                                std::wstring(519, L'x'), std::wstring(520, L'y')};
    for (bool bWide : {true, false})
    {
        IDataObject* pData = CreateHDropDataObject(vecFiles, true, bWide);
        const std::vector<std::wstring> vecExpected = NamesFromDragQueryFile(pData);
        ASSERT_EQ(vecFiles.size(), vecExpected.size()) << bWide;
        EXPECT_EQ(strLong, vecExpected[1]);
        EXPECT_EQ(S_OK, InitializeFrom(pData));
        EXPECT_EQ(vecExpected, m_pObject->SelectedFiles()) << (bWide ? "wide" : "8-bit");
    }
    // A wide list at an odd offset, unaligned.
    const std::string strOdd = DropFilesBlock(21, true, Utf16Bytes(std::wstring(L"C:\\odd.txt\0E:\\x\0\0", 18)));
    IDataObject* pOdd = CreateRawHDropDataObject(strOdd);
    const std::vector<std::wstring> vecOdd = NamesFromDragQueryFile(pOdd);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\odd.txt", L"E:\\x"}), vecOdd);
    EXPECT_EQ(S_OK, InitializeFrom(pOdd));
    EXPECT_EQ(vecOdd, m_pObject->SelectedFiles());
    // A stray last byte of a wide list is no part of a name.
    const std::string strStray = Utf16Bytes(std::wstring(L"C:\\s.txt\0\0", 10)) + "\x01";
    IDataObject* pStray = CreateRawHDropDataObject(DropFilesBlock(20, true, strStray));
    const std::vector<std::wstring> vecStray = NamesFromDragQueryFile(pStray);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\s.txt"}, vecStray);
    EXPECT_EQ(S_OK, InitializeFrom(pStray));
    EXPECT_EQ(vecStray, m_pObject->SelectedFiles());
}

// Blocks no well-behaved data object makes are refused whole and start no
// timer. A block refused by its header, or an empty list, keeps the earlier
// selection; a list that runs off the block's end leaves none rather than
// a cut one.
TEST_F(ExtensionObjectTest, InitializeRefusesMalformedBlocks)
{
    const std::string strWide = Utf16Bytes(std::wstring(L"C:\\a.txt\0\0", 10));
    const std::string strWideOpen = Utf16Bytes(std::wstring(L"C:\\a.txt\0", 9));
    const struct
    {
        const char* pszCase;
        std::string strBlock;
        bool bKeepsEarlier;
    } cases[] = {
        {"zero-length medium", std::string(), true},
        {"header cut short", DropFilesBlock(20, true, strWide).substr(0, 19), true},
        {"list inside the header", DropFilesBlock(8, true, strWide), true},
        {"list past the end", DropFilesBlock(4000, true, strWide), true},
        {"list at the end", DropFilesBlock(20, true, ""), true},
        {"wide list of one byte", DropFilesBlock(20, true, "\x01"), true},
        {"empty wide list", DropFilesBlock(20, true, std::string(2, '\0')), true},
        {"empty 8-bit list", DropFilesBlock(20, false, std::string(1, '\0')), true},
        {"wide list without its empty name", DropFilesBlock(20, true, strWideOpen), false},
        {"8-bit list without any terminator", DropFilesBlock(20, false, "C:\\a.txt"), false},
        {"8-bit list without its empty name", DropFilesBlock(20, false, std::string("C:\\a.txt\0", 9)), false},
    };
    const LONG nLocks = g_pModule->GetModuleLockCount() + 1;
    for (const auto& c : cases)
    {
        ASSERT_EQ(S_OK, InitializeWith({L"C:\\kept.txt"}));
        EXPECT_EQ(E_INVALIDARG, InitializeFrom(CreateRawHDropDataObject(c.strBlock))) << c.pszCase;
        EXPECT_EQ(c.bKeepsEarlier ? std::vector<std::wstring>{L"C:\\kept.txt"} : std::vector<std::wstring>(),
                  m_pObject->SelectedFiles())
            << c.pszCase;
    }
    EXPECT_EQ(nLocks + static_cast<LONG>(std::size(cases)) - 1, g_pModule->GetModuleLockCount());
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
