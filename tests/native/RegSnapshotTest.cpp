#include <gtest/gtest.h>

#include <string>

#include "ShellExt/registration/RegSnapshot.h"
#include "tools/msi/MemoryRegistry.h"
#include "tools/common/Utf8.h"

namespace {

using Op = CMemoryRegistry::Op;
constexpr RegRootKey kHKCU = RegRootKey::CurrentUser;

constexpr char16_t kClassKey[] = u"Software\\Classes\\CLSID\\{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}";
constexpr char16_t kHandlerKey[] = u"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Orvane";
constexpr char16_t kScript[] =
    u"HKCR { NoRemove CLSID { ForceRemove {7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01} = s 'Orvane Shell Extension' {"
    u" InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' } } }"
    u" NoRemove * { NoRemove shellex { NoRemove ContextMenuHandlers {"
    u" ForceRemove Orvane = s '{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}' } } } }";

int32_t RegisterForUser(CMemoryRegistry& registry)
{
    CRegObject registrar(registry);
    registrar.AddSubstitution(u"MODULE", u"C:\\New\\OrvaneShlExt64F.dll");
    return registrar.RunScript(kScript, true, true);
}

// Every key of the user's root with its values, names in their letter case.
std::string Dump(const CMemoryRegistry& registry)
{
    std::string strOut;
    registry.ForEachKey(kHKCU, [&](const std::u16string& strPath, const auto& vecValues) {
        strOut += "[" + Utf16ToUtf8(strPath) + "]\n";
        for (const auto& value : vecValues)
            strOut += Utf16ToUtf8(value.first) + ":" + std::to_string(value.second.nType) + "=" +
                      std::string(value.second.vecData.begin(), value.second.vecData.end()) + "\n";
    });
    return strOut;
}

void StartEmpty(CMemoryRegistry& registry)
{
    registry.PutString(kHKCU, u"Software\\Classes\\txtfile", u"", u"Text Document");
}

void StartRegistered(CMemoryRegistry& registry)
{
    StartEmpty(registry);
    RegisterForUser(registry);
}

// Registered from elsewhere by another version: other paths, another value
// type, another letter case, a subkey and a value of its own.
void StartOlder(CMemoryRegistry& registry)
{
    StartEmpty(registry);
    const std::u16string strClass = kClassKey;
    registry.PutString(kHKCU, strClass, u"", u"Orvane 1.0");
    registry.PutString(kHKCU, strClass + u"\\inprocServer32", u"", u"C:\\Old\\OrvaneShlExt64F.dll");
    registry.PutValue(kHKCU, strClass + u"\\inprocServer32", u"threadingModel", {RegValueType::kBinary, {1, 2}});
    registry.PutKey(kHKCU, strClass + u"\\Implemented Categories");
    registry.PutString(kHKCU, kHandlerKey, u"", u"{00000000-0000-0000-0000-000000000001}");
    registry.PutString(kHKCU, kHandlerKey, u"Installed", u"1");
}

struct RestoreCase
{
    const char* pszName;
    void (*pfnStart)(CMemoryRegistry&);
    Op opFailing;
    const char16_t* pszFailingName;
};

const RestoreCase kRestoreCases[] = {
    {"nothing before, class half-written", StartEmpty, Op::SetValue, u"ThreadingModel"},
    {"nothing before, handler fails", StartEmpty, Op::Create, u"Orvane"},
    {"this version before, class half-written", StartRegistered, Op::SetValue, u"ThreadingModel"},
    {"this version before, handler fails", StartRegistered, Op::Create, u"Orvane"},
    {"older version before, class half-written", StartOlder, Op::SetValue, u"ThreadingModel"},
    {"older version before, handler fails", StartOlder, Op::Create, u"Orvane"},
};

TEST(RegSnapshotTest, FailedRegistrationLeavesTheRegistryAsItWas)
{
    for (const RestoreCase& test : kRestoreCases)
    {
        SCOPED_TRACE(test.pszName);
        CMemoryRegistry registry;
        test.pfnStart(registry);
        const std::string strBefore = Dump(registry);
        CRegistrySnapshot snapshot(registry);
        ASSERT_EQ(snapshot.Save(kHKCU, RegAccess::kView64, kClassKey), RegHr::kOk);
        ASSERT_EQ(snapshot.Save(kHKCU, RegAccess::kView64, kHandlerKey), RegHr::kOk);
        registry.InjectFault(test.opFailing, test.pszFailingName, RegError::kAccessDenied);
        ASSERT_TRUE(RegHr::Failed(RegisterForUser(registry)));
        registry.ClearFaults();
        EXPECT_EQ(snapshot.Restore(), RegHr::kOk);
        EXPECT_EQ(Dump(registry), strBefore);
        EXPECT_EQ(registry.OpenHandleCount(), 0u);
    }
}

// Keys nobody changed are only read back: a restore needs no write access
// to them, and a key that cannot be read is refused before anything is written.
TEST(RegSnapshotTest, UntouchedKeysAreOnlyRead)
{
    CMemoryRegistry registry;
    StartOlder(registry);
    CRegistrySnapshot snapshot(registry);
    ASSERT_EQ(snapshot.Save(kHKCU, RegAccess::kView32, kClassKey), RegHr::kOk);
    ASSERT_EQ(snapshot.Save(kHKCU, RegAccess::kView32, u"Software\\Classes\\Interface\\{none}"), RegHr::kOk);
    registry.InjectFault(Op::Create, u"", RegError::kAccessDenied);
    registry.InjectFault(Op::SetValue, u"", RegError::kAccessDenied);
    registry.InjectFault(Op::DeleteSubKey, u"", RegError::kAccessDenied);
    EXPECT_EQ(snapshot.Restore(), RegHr::kOk);

    registry.InjectFault(Op::EnumValue, u"InprocServer32", RegError::kAccessDenied);
    EXPECT_EQ(snapshot.Save(kHKCU, 0, kClassKey), RegHr::FromWin32(RegError::kAccessDenied));
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

} // namespace
