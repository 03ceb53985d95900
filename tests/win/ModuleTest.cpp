// The DLL as a COM host drives it: the cached class object, the creation of
// extension objects, and when the DLL may be unloaded. Most cases load the
// built DLL and call its exports; the exact lock counts come from the same
// module code linked into this program.
#include <gtest/gtest.h>

#include <windows.h>
#include <ocidl.h>
#include <shlobj.h>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/module/ClassFactory.h"
#include "ShellExt/module/Guids.h"
#include "ShellExt/module/Module.h"
#include "tests/win/ServerTestSupport.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;

namespace {

// Stands in for any interface pointer that an out-parameter must overwrite.
void* const kGarbage = reinterpret_cast<void*>(static_cast<UINT_PTR>(0x5A5A5A50));

class ModuleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        ASSERT_TRUE(m_dll.IsLoaded()) << "cannot load " << WideToUtf8(ServerDllPath());
        ASSERT_EQ(S_OK, m_dll.CanUnloadNow());
    }

    CServerDll m_dll;
};

TEST_F(ModuleTest, ClassObjectIsCachedAndHoldsTheModuleOnlyWhileHostsHoldIt)
{
    IClassFactory* pFirst = m_dll.GetFactory();
    IClassFactory* pSecond = m_dll.GetFactory();
    ASSERT_NE(nullptr, pFirst);
    ASSERT_NE(nullptr, pSecond);
    EXPECT_EQ(pFirst, pSecond);
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());

    pFirst->Release();
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
    pSecond->Release();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());

    // Still the same object: the cache kept it.
    IUnknown* pAgain = nullptr;
    ASSERT_EQ(S_OK, m_dll.GetClassObject(CLSID_SimpleShlExt, IID_IUnknown, reinterpret_cast<void**>(&pAgain)));
    EXPECT_EQ(static_cast<IUnknown*>(pFirst), pAgain);
    pAgain->Release();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ModuleTest, RefusedRequestsLeaveTheClassObjectCachedAndTheModuleFree)
{
    IClassFactory* pFactory = m_dll.GetFactory();
    ASSERT_NE(nullptr, pFactory);
    pFactory->Release();

    struct
    {
        const CLSID* pclsid;
        const IID* piid;
        HRESULT hrExpected;
    } const aCases[] = {
        {&CLSID_SimpleShlExt, &IID_IPersist, E_NOINTERFACE},
        {&CLSID_SimpleShlExt, &IID_IDispatch, E_NOINTERFACE},
        {&CLSID_SimpleShlExt, &IID_IShellExtInit, E_NOINTERFACE},
        {&CLSID_SimpleShlExt, &IID_IClassFactory2, E_NOINTERFACE},
        // Registered by the module's script, but no class object serves it.
        {&CLSID_CompReg, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&CLSID_NULL, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&IID_ISimpleShlExt, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const auto& c : aCases)
    {
        void* pv = kGarbage;
        EXPECT_EQ(c.hrExpected, m_dll.GetClassObject(*c.pclsid, *c.piid, &pv))
            << WideToUtf8(GuidText(*c.pclsid)) << " " << WideToUtf8(GuidText(*c.piid));
        EXPECT_EQ(nullptr, pv);
        EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
    }
    EXPECT_EQ(E_POINTER, m_dll.GetClassObject(CLSID_SimpleShlExt, IID_IClassFactory, nullptr));

    IClassFactory* pAgain = m_dll.GetFactory();
    EXPECT_EQ(pFactory, pAgain);
    pAgain->Release();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ModuleTest, CreateInstanceRefusesAggregationAndUnknownInterfacesWithoutLeakingALock)
{
    IClassFactory* pFactory = m_dll.GetFactory();
    ASSERT_NE(nullptr, pFactory);
    IUnknown* pOuter = pFactory;  // any object will do as the would-be outer

    struct
    {
        IUnknown* pOuter;
        const IID* piid;
        HRESULT hrExpected;
    } const aCases[] = {
        {pOuter, &IID_IUnknown, CLASS_E_NOAGGREGATION},
        {pOuter, &IID_IShellExtInit, CLASS_E_NOAGGREGATION},
        {pOuter, &IID_IPersist, CLASS_E_NOAGGREGATION},
        {nullptr, &IID_IPersist, E_NOINTERFACE},
        {nullptr, &IID_IClassFactory, E_NOINTERFACE},
        {nullptr, &IID_IDispatch, E_NOINTERFACE},
    };
    for (const auto& c : aCases)
    {
        void* pv = kGarbage;
        EXPECT_EQ(c.hrExpected, pFactory->CreateInstance(c.pOuter, *c.piid, &pv)) << WideToUtf8(GuidText(*c.piid));
        EXPECT_EQ(nullptr, pv);
    }
    EXPECT_EQ(E_POINTER, pFactory->CreateInstance(nullptr, IID_IShellExtInit, nullptr));
    pFactory->Release();
    // Every object made and refused again gave its module lock back.
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ModuleTest, ExtensionObjectHoldsTheModuleUntilItsLastReferenceGoes)
{
    IShellExtInit* pInit = nullptr;
    ASSERT_EQ(S_OK, m_dll.CreateInstance(CLSID_SimpleShlExt, IID_IShellExtInit, reinterpret_cast<void**>(&pInit)));
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());

    IContextMenu* pMenu = nullptr;
    ASSERT_EQ(S_OK, pInit->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&pMenu)));
    // One count behind every interface pointer.
    EXPECT_EQ(3u, pMenu->AddRef());
    EXPECT_EQ(2u, pInit->Release());
    EXPECT_EQ(1u, pMenu->Release());
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
    EXPECT_EQ(0u, pMenu->Release());
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ModuleTest, LockServerHoldsTheModuleUntilUnlocked)
{
    IClassFactory* pFactory = m_dll.GetFactory();
    ASSERT_NE(nullptr, pFactory);
    EXPECT_EQ(S_OK, pFactory->LockServer(TRUE));
    pFactory->Release();
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());

    pFactory = m_dll.GetFactory();
    ASSERT_NE(nullptr, pFactory);
    EXPECT_EQ(S_OK, pFactory->LockServer(FALSE));
    pFactory->Release();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

// The same module code, linked into this program, shows the count itself.
TEST(ModuleLockCountTest, CacheReferenceNeverCountsAndOtherReferencesCountOnce)
{
    LONG nBase = g_pModule->GetModuleLockCount();
    IClassFactory* apFactories[3] = {};
    for (IClassFactory*& pFactory : apFactories)
    {
        ASSERT_EQ(S_OK, g_AtlObjectMapModule.GetClassObject(CLSID_SimpleShlExt, IID_IClassFactory,
                                                           reinterpret_cast<void**>(&pFactory)));
        EXPECT_EQ(nBase + 1, g_pModule->GetModuleLockCount());
    }
    for (IClassFactory* pFactory : apFactories)
        pFactory->Release();
    EXPECT_EQ(nBase, g_pModule->GetModuleLockCount());

    // A class object made for an interface it does not have is not kept.
    void* pv = kGarbage;
    EXPECT_EQ(E_NOINTERFACE, CreateCachedClassFactory(CreateSimpleShlExt, IID_IPersist, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, CreateCachedClassFactory(CreateSimpleShlExt, IID_IUnknown, nullptr));

    IUnknown* pUnknown = nullptr;
    ASSERT_EQ(S_OK, CreateCachedClassFactory(CreateSimpleShlExt, IID_IUnknown, reinterpret_cast<void**>(&pUnknown)));
    EXPECT_EQ(nBase, g_pModule->GetModuleLockCount()) << "the first reference is the cache's";
    EXPECT_EQ(2u, pUnknown->AddRef());
    EXPECT_EQ(nBase + 1, g_pModule->GetModuleLockCount());
    EXPECT_EQ(1u, pUnknown->Release());
    EXPECT_EQ(nBase, g_pModule->GetModuleLockCount());
    EXPECT_EQ(0u, pUnknown->Release());
    EXPECT_EQ(nBase, g_pModule->GetModuleLockCount());
}

}  // namespace
