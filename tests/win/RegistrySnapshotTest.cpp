// The fault sweep's registry snapshot: whatever a failed registration breaks
// under the swept keys must make the snapshot differ, in values of any size
// and names of any length or alphabet.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/faults/RegistrySnapshot.h"

namespace {

const std::vector<std::wstring> kSweptKeys = {L"OrvaneSnapshotTest"};
const wchar_t kPath[] = L"Software\\Classes\\OrvaneSnapshotTest";

void SetBytes(const std::wstring& strName, size_t cbData, BYTE bLast)
{
    std::vector<BYTE> vecData(cbData, 0x5A);
    vecData.back() = bLast;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kPath, strName.c_str(), REG_BINARY, vecData.data(),
                      static_cast<DWORD>(cbData));
}

// Each case starts from the same four values and changes one thing.
TEST(RegistrySnapshotTest, SeesEveryChangeUnderTheSweptKeys)
{
    const std::wstring strLongName(300, L'n');
    const struct
    {
        const char* pszChange;
        bool bSeen;
        std::function<void()> change;
    } cases[] = {
        {"nothing", false, [] {}},
        {"the last byte of a value over 4 KiB", true, [] { SetBytes(L"large", 5000, 2); }},
        {"a value listed after one over 4 KiB", true, [] { SetBytes(L"small", 4, 2); }},
        {"a value named with 300 characters", true, [&] { SetBytes(strLongName, 4, 2); }},
        {"a name outside ASCII", true,
         [] {
             ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPath, L"caf\x00E9");
             SetBytes(L"caf\x00E8", 4, 1);
         }},
    };
    for (const auto& c : cases)
    {
        RemoveRegistryKeys(kSweptKeys);
        SetBytes(L"large", 5000, 1);
        for (const std::wstring& strName : {std::wstring(L"small"), strLongName, std::wstring(L"caf\x00E9")})
            SetBytes(strName, 4, 1);
        const std::string strBefore = SnapshotRegistry(kSweptKeys);
        c.change();
        EXPECT_EQ(c.bSeen, strBefore != SnapshotRegistry(kSweptKeys)) << c.pszChange;
    }
    RemoveRegistryKeys(kSweptKeys);
}

}  // namespace
