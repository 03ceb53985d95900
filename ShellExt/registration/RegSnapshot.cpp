#include "RegSnapshot.h"

#include "RegScript.h"
#include "ShellExt/core/ExceptionHr.h"

namespace {

// A value that grows between the size query and the read is asked again, a
// few times at most.
constexpr int kValueReadAttempts = 4;
constexpr uint32_t kFirstDataBuffer = 512;

// The length of the path's part before its last separator within cch
// characters: the parent's path; 0 when there is no parent below the root.
size_t ParentLength(const std::u16string& strPath, size_t cch) noexcept
{
    const size_t nSlash = cch > 0 ? strPath.rfind(u'\\', cch - 1) : std::u16string::npos;
    return nSlash == std::u16string::npos ? 0 : nSlash;
}

// The first cch characters of a path, terminated, on the stack.
class CPathPrefix
{
public:
    CPathPrefix(const std::u16string& strPath, size_t cch) noexcept
    {
        strPath.copy(m_szPath, cch);
        m_szPath[cch] = u'\0';
    }
    const char16_t* Get() const noexcept { return m_szPath; }

private:
    char16_t m_szPath[CRegistrySnapshot::kMaxPathChars + 1];
};

// Keeps the first failure of a sequence that goes on past failures.
void KeepFirst(int32_t& nFirst, int32_t nError) noexcept
{
    if (nFirst == RegError::kSuccess && nError != RegError::kSuccess)
        nFirst = nError;
}

// Values up to kFirstDataBuffer bytes are read on the stack.
int32_t ReadValues(IRegistryOps& ops, RegKeyHandle hKey, std::vector<RegSavedValue>& vecValues)
{
    char16_t szName[kRegValueNameBufferChars];
    uint8_t rgbSmall[kFirstDataBuffer];
    std::vector<uint8_t> vecLarge;
    for (uint32_t nIndex = 0;; ++nIndex)
    {
        uint8_t* pbBuffer = rgbSmall;
        uint32_t cbBuffer = kFirstDataBuffer;
        uint32_t cchName = 0;
        uint32_t nType = 0;
        uint32_t cbData = 0;
        int32_t nError = RegError::kMoreData;
        for (int nAttempt = 0; nAttempt < kValueReadAttempts && nError == RegError::kMoreData; ++nAttempt)
        {
            cchName = kRegValueNameBufferChars;
            cbData = cbBuffer;
            nError = ops.EnumValue(hKey, nIndex, szName, &cchName, &nType, pbBuffer, &cbData);
            if (nError == RegError::kMoreData && cbData > cbBuffer)
            {
                vecLarge.resize(cbData);
                pbBuffer = vecLarge.data();
                cbBuffer = cbData;
            }
        }
        if (nError == RegError::kNoMoreItems)
            return RegError::kSuccess;
        if (nError != RegError::kSuccess)
            return nError;
        RegSavedValue value;
        value.strName.assign(szName, cchName < kRegValueNameBufferChars ? cchName : 0);
        value.nType = nType;
        value.vecData.assign(pbBuffer, pbBuffer + (cbData < cbBuffer ? cbData : cbBuffer));
        vecValues.push_back(std::move(value));
    }
}

int32_t ReadSubKeyNames(IRegistryOps& ops, RegKeyHandle hKey, std::vector<std::u16string>& vecNames)
{
    for (uint32_t nIndex = 0;; ++nIndex)
    {
        char16_t szName[kRegKeyNameBufferChars] = {};
        uint32_t cchName = kRegKeyNameBufferChars;
        const int32_t nError = ops.EnumSubKey(hKey, nIndex, szName, &cchName);
        if (nError == RegError::kNoMoreItems)
            return RegError::kSuccess;
        if (nError != RegError::kSuccess)
            return nError;
        vecNames.emplace_back(szName, cchName < kRegKeyNameBufferChars ? cchName : 0);
    }
}

// Reads the open key's values and, one level after the other, its subkeys.
int32_t ReadKeyTree(IRegistryOps& ops, RegKeyHandle hKey, uint32_t nView, RegSavedKey& key)
{
    int32_t nError = ReadValues(ops, hKey, key.vecValues);
    std::vector<std::u16string> vecNames;
    if (nError == RegError::kSuccess)
        nError = ReadSubKeyNames(ops, hKey, vecNames);
    for (size_t i = 0; i < vecNames.size() && nError == RegError::kSuccess; ++i)
    {
        CScopedRegKey subKey(ops);
        nError = ops.OpenKey(hKey, vecNames[i].c_str(), RegAccess::kRead | nView, subKey.Receive());
        if (nError != RegError::kSuccess)
            break;
        key.vecSubKeys.emplace_back();
        key.vecSubKeys.back().strName = vecNames[i];
        nError = ReadKeyTree(ops, subKey.Get(), nView, key.vecSubKeys.back());
    }
    return nError;
}

template <class Item>
const Item* FindExactly(const std::vector<Item>& vecItems, const std::u16string& strName) noexcept
{
    for (const Item& item : vecItems)
    {
        if (item.strName == strName)
            return &item;
    }
    return nullptr;
}

// Makes the open key hold what saved holds, given that it holds current now.
// What is there under another name (or only another letter case) goes first,
// since the registry would take it for the saved one.
int32_t MakeKeyAsSaved(IRegistryOps& ops, RegKeyHandle hKey, uint32_t nView, const RegSavedKey& saved,
                       const RegSavedKey& current)
{
    int32_t nFirst = RegError::kSuccess;
    for (const RegSavedValue& value : current.vecValues)
    {
        if (FindExactly(saved.vecValues, value.strName) == nullptr)
            KeepFirst(nFirst, ops.DeleteValue(hKey, value.strName.c_str()));
    }
    for (const RegSavedKey& subKey : current.vecSubKeys)
    {
        if (FindExactly(saved.vecSubKeys, subKey.strName) == nullptr)
        {
            const int32_t nError = RegScript::DeleteKeyTree(ops, hKey, subKey.strName.c_str(), nView);
            KeepFirst(nFirst, nError == RegError::kFileNotFound ? RegError::kSuccess : nError);
        }
    }
    for (const RegSavedValue& value : saved.vecValues)
    {
        const RegSavedValue* pCurrent = FindExactly(current.vecValues, value.strName);
        if (pCurrent == nullptr || !(*pCurrent == value))
            KeepFirst(nFirst, ops.SetValue(hKey, value.strName.c_str(), value.nType, value.vecData.data(),
                                           static_cast<uint32_t>(value.vecData.size())));
    }
    const RegSavedKey empty;
    for (const RegSavedKey& subKey : saved.vecSubKeys)
    {
        const RegSavedKey* pCurrent = FindExactly(current.vecSubKeys, subKey.strName);
        if (pCurrent != nullptr && *pCurrent == subKey)
            continue;
        CScopedRegKey child(ops);
        const int32_t nError = ops.CreateKey(hKey, subKey.strName.c_str(),
                                             RegAccess::kRead | RegAccess::kWrite | nView, child.Receive());
        KeepFirst(nFirst, nError);
        if (nError == RegError::kSuccess)
            KeepFirst(nFirst, MakeKeyAsSaved(ops, child.Get(), nView, subKey, pCurrent != nullptr ? *pCurrent : empty));
    }
    return nFirst;
}

bool IsEmptyKey(IRegistryOps& ops, RegKeyHandle hKey)
{
    uint32_t nSubKeys = 0;
    char16_t szName[kRegKeyNameBufferChars] = {};
    uint32_t cchName = kRegKeyNameBufferChars;
    uint32_t nType = 0;
    uint8_t bData = 0;
    uint32_t cbData = 0;
    return ops.QuerySubKeyCount(hKey, &nSubKeys) == RegError::kSuccess && nSubKeys == 0 &&
           ops.EnumValue(hKey, 0, szName, &cchName, &nType, &bData, &cbData) == RegError::kNoMoreItems;
}

} // namespace

bool operator==(const RegSavedValue& a, const RegSavedValue& b) noexcept
{
    return a.strName == b.strName && a.nType == b.nType && a.vecData == b.vecData;
}

bool operator==(const RegSavedKey& a, const RegSavedKey& b) noexcept
{
    return a.strName == b.strName && a.vecValues == b.vecValues && a.vecSubKeys == b.vecSubKeys;
}

int32_t CRegistrySnapshot::Reserve(size_t nPlaces) noexcept
{
    return CallNoThrow([&] {
        m_vecPlaces.reserve(nPlaces);
        return RegHr::kOk;
    });
}

int32_t CRegistrySnapshot::Save(RegRootKey root, uint32_t nView, std::u16string_view strPath) noexcept
{
    if (strPath.empty() || strPath.size() > kMaxPathChars || strPath.front() == u'\\' || strPath.back() == u'\\' ||
        strPath.find(u"\\\\") != std::u16string_view::npos)
        return RegHr::kInvalidArg;
    return CallNoThrow([&] {
        SavedPlace place{root, nView, std::u16string(strPath), 0, RegSavedKey()};
        const RegKeyHandle hRoot = m_ops.GetRootKey(root);
        // From the whole path back towards the root, until a key is there.
        size_t cch = place.strPath.size();
        while (cch > 0)
        {
            CScopedRegKey key(m_ops);
            const int32_t nError =
                m_ops.OpenKey(hRoot, CPathPrefix(place.strPath, cch).Get(), RegAccess::kRead | nView, key.Receive());
            if (nError == RegError::kSuccess && cch == place.strPath.size())
            {
                const int32_t nReadError = ReadKeyTree(m_ops, key.Get(), nView, place.key);
                if (nReadError != RegError::kSuccess)
                    return RegHr::FromWin32(nReadError);
            }
            if (nError == RegError::kSuccess)
                break;
            if (nError != RegError::kFileNotFound)
                return RegHr::FromWin32(nError);
            cch = ParentLength(place.strPath, cch);
        }
        place.cchThere = cch;
        m_vecPlaces.push_back(std::move(place));
        return RegHr::kOk;
    });
}

int32_t CRegistrySnapshot::Restore() noexcept
{
    int32_t hrFirst = RegHr::kOk;
    for (const SavedPlace& place : m_vecPlaces)
    {
        const int32_t hr = CallNoThrow([&] { return RegHr::FromWin32(RestorePlace(place)); });
        if (RegHr::Succeeded(hrFirst) && RegHr::Failed(hr))
            hrFirst = hr;
    }
    return hrFirst;
}

int32_t CRegistrySnapshot::RestorePlace(const SavedPlace& place)
{
    const RegKeyHandle hRoot = m_ops.GetRootKey(place.root);
    const std::u16string& strPath = place.strPath;
    if (place.cchThere < strPath.size())
    {
        const int32_t nError = RegScript::DeleteKeyTree(m_ops, hRoot, strPath.c_str(), place.nView);
        if (nError != RegError::kSuccess && nError != RegError::kFileNotFound)
            return nError;
        return RemoveMadeParents(place);
    }
    RegSavedKey current;
    CScopedRegKey key(m_ops);
    int32_t nError = m_ops.OpenKey(hRoot, strPath.c_str(), RegAccess::kRead | place.nView, key.Receive());
    if (nError == RegError::kSuccess)
        nError = ReadKeyTree(m_ops, key.Get(), place.nView, current);
    if (nError == RegError::kSuccess && current == place.key)
        return RegError::kSuccess;
    if (nError != RegError::kSuccess && nError != RegError::kFileNotFound)
        return nError;
    nError = m_ops.CreateKey(hRoot, strPath.c_str(), RegAccess::kRead | RegAccess::kWrite | place.nView,
                             key.Receive());
    if (nError != RegError::kSuccess)
        return nError;
    return MakeKeyAsSaved(m_ops, key.Get(), place.nView, place.key, current);
}

// The parents that the registration made for a key that was missing go
// again, deepest first, as long as nothing else has come to live in them.
int32_t CRegistrySnapshot::RemoveMadeParents(const SavedPlace& place)
{
    const RegKeyHandle hRoot = m_ops.GetRootKey(place.root);
    for (size_t cch = ParentLength(place.strPath, place.strPath.size()); cch > place.cchThere;
         cch = ParentLength(place.strPath, cch))
    {
        const CPathPrefix parent(place.strPath, cch);
        CScopedRegKey key(m_ops);
        int32_t nError = m_ops.OpenKey(hRoot, parent.Get(), RegAccess::kRead | place.nView, key.Receive());
        if (nError == RegError::kFileNotFound)
            continue;
        if (nError != RegError::kSuccess)
            return nError;
        if (!IsEmptyKey(m_ops, key.Get()))
            return RegError::kSuccess;
        key.Close();
        nError = m_ops.DeleteSubKey(hRoot, parent.Get(), place.nView);
        if (nError != RegError::kSuccess && nError != RegError::kFileNotFound)
            return nError;
    }
    return RegError::kSuccess;
}
