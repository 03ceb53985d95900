#pragma once

// An in-memory registry behind IRegistryOps: the MSI tool records in it what
// registration writes, and the native tests and the fuzzer run the
// interpreter against it. It behaves like the Windows registry where the
// interpreter can tell: names compare without regard to case, subkeys
// enumerate in sorted order, a key with subkeys cannot be deleted, an empty
// subkey name means the key itself, handles need the access they are used
// for, and deleted keys leave their open handles dangling. Every handle is
// tracked so that a test can assert that each one opened was closed. Faults
// can be injected per operation.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ShellExt/registration/RegScript.h"
#include "ShellExt/registration/RegistryOps.h"

class CMemoryRegistry final : public IRegistryOps
{
public:
    struct Value
    {
        uint32_t nType = 0;
        std::vector<uint8_t> vecData;
    };

    enum class Op
    {
        Open,
        Create,
        Close,
        SetValue,
        DeleteValue,
        EnumSubKey,
        QuerySubKeyCount,
        EnumValue,
        DeleteSubKey,
    };

    CMemoryRegistry()
    {
        for (auto& pRoot : m_rgRoots)
            pRoot = std::make_shared<Node>();
    }

    // ----- IRegistryOps

    RegKeyHandle GetRootKey(RegRootKey root) const override { return kRootBase + static_cast<RegKeyHandle>(root); }

    int32_t OpenKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess, RegKeyHandle* phKey) override
    {
        return OpenNewHandle(Op::Open, hParent, pszSubKey, nAccess, phKey);
    }

    int32_t CreateKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess, RegKeyHandle* phKey) override
    {
        return OpenNewHandle(Op::Create, hParent, pszSubKey, nAccess, phKey);
    }

    int32_t CloseKey(RegKeyHandle hKey) override
    {
        if (IsRoot(hKey))
            return RegError::kSuccess;
        const auto it = m_mapHandles.find(hKey);
        if (it == m_mapHandles.end())
            return RegError::kInvalidHandle;
        const int32_t nError = Fault(Op::Close, it->second.pNode->strName, 0);
        m_mapHandles.erase(it); // the handle is gone even when the close reports an error
        return nError;
    }

    int32_t SetValue(RegKeyHandle hKey, const char16_t* pszName, uint32_t nType, const uint8_t* pbData,
                     uint32_t cbData) override
    {
        std::shared_ptr<Node> pNode;
        const std::u16string strName = pszName ? pszName : u"";
        if (const int32_t nError = Enter(Op::SetValue, hKey, RegAccess::kSetValue, &strName, pNode))
            return nError;
        StoreValue(*pNode, strName, {nType, std::vector<uint8_t>(pbData, pbData + cbData)});
        return RegError::kSuccess;
    }

    int32_t DeleteValue(RegKeyHandle hKey, const char16_t* pszName) override
    {
        std::shared_ptr<Node> pNode;
        const std::u16string strName = pszName ? pszName : u"";
        if (const int32_t nError = Enter(Op::DeleteValue, hKey, RegAccess::kSetValue, &strName, pNode))
            return nError;
        auto& vecValues = pNode->vecValues;
        for (auto it = vecValues.begin(); it != vecValues.end(); ++it)
        {
            if (RegScript::EqualsNoCase(it->first, strName))
            {
                vecValues.erase(it);
                return RegError::kSuccess;
            }
        }
        return RegError::kFileNotFound;
    }

    int32_t EnumSubKey(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName) override
    {
        std::shared_ptr<Node> pNode;
        if (const int32_t nError = Enter(Op::EnumSubKey, hKey, RegAccess::kEnumerateSubKeys, nullptr, pNode))
            return nError;
        if (nIndex >= pNode->vecChildren.size())
            return RegError::kNoMoreItems;
        const std::u16string& strChild = pNode->vecChildren[nIndex]->strName;
        if (strChild.size() + 1 > *pcchName)
            return RegError::kMoreData;
        strChild.copy(pszName, strChild.size());
        pszName[strChild.size()] = u'\0';
        *pcchName = static_cast<uint32_t>(strChild.size());
        return RegError::kSuccess;
    }

    int32_t QuerySubKeyCount(RegKeyHandle hKey, uint32_t* pnSubKeys) override
    {
        std::shared_ptr<Node> pNode;
        const int32_t nError = Enter(Op::QuerySubKeyCount, hKey, RegAccess::kQueryValue, nullptr, pNode);
        if (nError == RegError::kSuccess)
            *pnSubKeys = static_cast<uint32_t>(pNode->vecChildren.size());
        return nError;
    }

    // Values enumerate in the order they were first set.
    int32_t EnumValue(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName, uint32_t* pnType,
                      uint8_t* pbData, uint32_t* pcbData) override
    {
        std::shared_ptr<Node> pNode;
        if (const int32_t nError = Enter(Op::EnumValue, hKey, RegAccess::kQueryValue, nullptr, pNode))
            return nError;
        if (nIndex >= pNode->vecValues.size())
            return RegError::kNoMoreItems;
        const auto& entry = pNode->vecValues[nIndex];
        const uint32_t cbData = static_cast<uint32_t>(entry.second.vecData.size());
        if (entry.first.size() + 1 > *pcchName || cbData > *pcbData)
        {
            *pcbData = cbData;
            return RegError::kMoreData;
        }
        entry.first.copy(pszName, entry.first.size());
        pszName[entry.first.size()] = u'\0';
        *pcchName = static_cast<uint32_t>(entry.first.size());
        *pnType = entry.second.nType;
        std::copy(entry.second.vecData.begin(), entry.second.vecData.end(), pbData);
        *pcbData = cbData;
        return RegError::kSuccess;
    }

    // One registry for both views.
    int32_t DeleteSubKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t /*nView*/) override
    {
        std::shared_ptr<Node> pNode;
        if (const int32_t nError = EnterPath(Op::DeleteSubKey, hParent, pszSubKey, 0, pNode))
            return nError;
        Node* pParent = pNode->pParent;
        if (pParent == nullptr || !pNode->vecChildren.empty())
            return RegError::kAccessDenied; // roots, and keys that still have subkeys
        auto& vecSiblings = pParent->vecChildren;
        for (auto it = vecSiblings.begin(); it != vecSiblings.end(); ++it)
        {
            if (it->get() == pNode.get())
            {
                vecSiblings.erase(it);
                break;
            }
        }
        pNode->bDeleted = true;
        pNode->pParent = nullptr;
        return RegError::kSuccess;
    }

    // A small stand-in for the OLE Automation conversion: optional spaces and
    // '+', then decimal digits, or "&H" hex / "&O" octal digits.
    int32_t ParseUI4(const char16_t* pszText, uint32_t* pnValue) override
    {
        std::u16string_view strText(pszText);
        while (!strText.empty() && strText.front() == u' ')
            strText.remove_prefix(1);
        while (!strText.empty() && strText.back() == u' ')
            strText.remove_suffix(1);
        unsigned nBase = 10;
        if (strText.size() > 2 && strText[0] == u'&' && (strText[1] == u'H' || strText[1] == u'h'))
            nBase = 16;
        else if (strText.size() > 2 && strText[0] == u'&' && (strText[1] == u'O' || strText[1] == u'o'))
            nBase = 8;
        if (nBase != 10)
            strText.remove_prefix(2);
        else if (!strText.empty() && strText[0] == u'+')
            strText.remove_prefix(1);
        if (strText.empty())
            return RegHr::kDispTypeMismatch;
        uint64_t nValue = 0;
        for (char16_t ch : strText)
        {
            const int nDigit = RegScript::HexDigitValue(ch);
            if (nDigit < 0 || static_cast<unsigned>(nDigit) >= nBase)
                return RegHr::kDispTypeMismatch;
            nValue = nValue * nBase + nDigit;
            if (nValue > 0xFFFFFFFFu)
                return RegHr::kDispOverflow;
        }
        *pnValue = static_cast<uint32_t>(nValue);
        return RegHr::kOk;
    }

    // ----- Test helpers; paths separate their keys with '\'.

    void PutKey(RegRootKey root, std::u16string_view strPath)
    {
        std::shared_ptr<Node> pNode;
        Walk(Root(root), std::u16string(strPath).c_str(), true, pNode);
    }

    void PutValue(RegRootKey root, std::u16string_view strPath, std::u16string_view strName, Value value)
    {
        std::shared_ptr<Node> pNode;
        Walk(Root(root), std::u16string(strPath).c_str(), true, pNode);
        StoreValue(*pNode, std::u16string(strName), std::move(value));
    }

    void PutString(RegRootKey root, std::u16string_view strPath, std::u16string_view strName, std::u16string_view strText)
    {
        PutValue(root, strPath, strName, StringValue(strText));
    }

    bool HasKey(RegRootKey root, std::u16string_view strPath) const { return FindNode(root, strPath) != nullptr; }

    std::optional<Value> GetValue(RegRootKey root, std::u16string_view strPath, std::u16string_view strName) const
    {
        const std::shared_ptr<Node> pNode = FindNode(root, strPath);
        if (!pNode)
            return std::nullopt;
        const Value* pValue = FindValue(*pNode, std::u16string(strName));
        return pValue ? std::optional<Value>(*pValue) : std::nullopt;
    }

    // The text of a REG_SZ value, without its terminator.
    std::optional<std::u16string> GetString(RegRootKey root, std::u16string_view strPath,
                                            std::u16string_view strName) const
    {
        const std::optional<Value> value = GetValue(root, strPath, strName);
        if (!value || value->nType != RegValueType::kString)
            return std::nullopt;
        std::optional<std::u16string> strText = TextOf(*value);
        if (strText && !strText->empty() && strText->back() == u'\0')
            strText->pop_back();
        return strText;
    }

    // The data as little-endian UTF-16, terminators and all; nothing for an
    // odd number of bytes, which no text has.
    static std::optional<std::u16string> TextOf(const Value& value)
    {
        if (value.vecData.size() % 2 != 0)
            return std::nullopt;
        std::u16string strText(value.vecData.size() / 2, u'\0');
        for (size_t i = 0; i < strText.size(); ++i)
            strText[i] = static_cast<char16_t>(value.vecData[2 * i] | (value.vecData[2 * i + 1] << 8));
        return strText;
    }

    size_t SubKeyCount(RegRootKey root, std::u16string_view strPath) const
    {
        const std::shared_ptr<Node> pNode = FindNode(root, strPath);
        return pNode ? pNode->vecChildren.size() : 0;
    }

    size_t ValueCount(RegRootKey root, std::u16string_view strPath) const
    {
        const std::shared_ptr<Node> pNode = FindNode(root, strPath);
        return pNode ? pNode->vecValues.size() : 0;
    }

    size_t KeyCount(RegRootKey root) const { return CountKeys(*m_rgRoots[static_cast<size_t>(root)]); }

    // Calls fn(path, values) for every key under root, parents before their
    // subkeys, in the order the registry enumerates them; values are
    // (name, Value) pairs, the default value under the empty name.
    template <class Fn>
    void ForEachKey(RegRootKey root, Fn&& fn) const
    {
        VisitKeys(*Root(root), std::u16string(), fn);
    }

    // Makes every later call of op on a key or value of that name (any name
    // when empty) fail with nError. For Open and Create the fault can be
    // limited to requests that ask for any of the bits in nAccessMask.
    void InjectFault(Op op, std::u16string_view strName, int32_t nError, uint32_t nAccessMask = 0)
    {
        m_vecFaults.push_back({op, std::u16string(strName), nError, nAccessMask});
    }

    void ClearFaults() { m_vecFaults.clear(); }

    size_t OpenHandleCount() const { return m_mapHandles.size(); }
    size_t HandlesOpenedInTotal() const { return m_nHandlesOpened; }

    static Value StringValue(std::u16string_view strText)
    {
        Value value{RegValueType::kString, {}};
        for (char16_t ch : strText)
        {
            value.vecData.push_back(static_cast<uint8_t>(ch & 0xFF));
            value.vecData.push_back(static_cast<uint8_t>(ch >> 8));
        }
        value.vecData.push_back(0);
        value.vecData.push_back(0);
        return value;
    }

private:
    struct Node
    {
        std::u16string strName;
        Node* pParent = nullptr;
        std::vector<std::shared_ptr<Node>> vecChildren; // sorted without regard to case
        std::vector<std::pair<std::u16string, Value>> vecValues;
        bool bDeleted = false;
    };

    struct HandleEntry
    {
        std::shared_ptr<Node> pNode;
        uint32_t nAccess;
    };

    struct FaultEntry
    {
        Op op;
        std::u16string strName;
        int32_t nError;
        uint32_t nAccessMask;
    };

    static constexpr RegKeyHandle kRootBase = 0x80000000u;
    static constexpr size_t kRootCount = 7;

    static bool IsRoot(RegKeyHandle hKey) { return hKey >= kRootBase && hKey < kRootBase + kRootCount; }

    static std::u16string LastComponent(const char16_t* pszPath)
    {
        const std::u16string strPath = pszPath ? pszPath : u"";
        const size_t nSlash = strPath.rfind(u'\\');
        return nSlash == std::u16string::npos ? strPath : strPath.substr(nSlash + 1);
    }

    static bool LessNoCase(const std::u16string& strA, const std::u16string& strB)
    {
        const size_t nCommon = strA.size() < strB.size() ? strA.size() : strB.size();
        for (size_t i = 0; i < nCommon; ++i)
        {
            const char16_t chA = Lower(strA[i]);
            const char16_t chB = Lower(strB[i]);
            if (chA != chB)
                return chA < chB;
        }
        return strA.size() < strB.size();
    }

    static char16_t Lower(char16_t ch) { return (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch + 0x20) : ch; }

    const std::shared_ptr<Node>& Root(RegRootKey root) const { return m_rgRoots[static_cast<size_t>(root)]; }

    int32_t Resolve(RegKeyHandle hKey, uint32_t nNeededAccess, std::shared_ptr<Node>& pNode) const
    {
        if (IsRoot(hKey))
        {
            pNode = m_rgRoots[hKey - kRootBase];
            return RegError::kSuccess;
        }
        const auto it = m_mapHandles.find(hKey);
        if (it == m_mapHandles.end())
            return RegError::kInvalidHandle;
        if ((it->second.nAccess & nNeededAccess) != nNeededAccess)
            return RegError::kAccessDenied;
        pNode = it->second.pNode;
        return pNode->bDeleted ? RegError::kKeyDeleted : RegError::kSuccess;
    }

    // The key hKey, once it has the access the call needs and no fault is
    // injected for op on the value strName (on the key's own name when null).
    int32_t Enter(Op op, RegKeyHandle hKey, uint32_t nNeededAccess, const std::u16string* pstrName,
                  std::shared_ptr<Node>& pNode) const
    {
        const int32_t nError = Resolve(hKey, nNeededAccess, pNode);
        if (nError != RegError::kSuccess)
            return nError;
        return Fault(op, pstrName != nullptr ? *pstrName : pNode->strName, 0);
    }

    // The key at pszSubKey below hParent, once no fault is injected for op on
    // its last name; Create makes the missing keys and needs the access to.
    int32_t EnterPath(Op op, RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess,
                      std::shared_ptr<Node>& pNode)
    {
        const bool bCreate = op == Op::Create;
        int32_t nError = Resolve(hParent, bCreate ? RegAccess::kCreateSubKey : 0, pNode);
        if (nError == RegError::kSuccess)
            nError = Fault(op, LastComponent(pszSubKey), nAccess);
        return nError == RegError::kSuccess ? Walk(pNode, pszSubKey, bCreate, pNode) : nError;
    }

    int32_t OpenNewHandle(Op op, RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess,
                          RegKeyHandle* phKey)
    {
        *phKey = kNullRegKey;
        std::shared_ptr<Node> pNode;
        const int32_t nError = EnterPath(op, hParent, pszSubKey, nAccess, pNode);
        if (nError == RegError::kSuccess)
            *phKey = NewHandle(pNode, nAccess);
        return nError;
    }

    int32_t Fault(Op op, const std::u16string& strName, uint32_t nAccess) const
    {
        for (const FaultEntry& fault : m_vecFaults)
        {
            const bool bNameMatches = fault.strName.empty() || RegScript::EqualsNoCase(fault.strName, strName);
            const bool bAccessMatches = fault.nAccessMask == 0 || (fault.nAccessMask & nAccess) != 0;
            if (fault.op == op && bNameMatches && bAccessMatches)
                return fault.nError;
        }
        return RegError::kSuccess;
    }

    // Follows a '\'-separated path from pStart; a null or empty path is
    // pStart itself. With bCreate, missing keys are made.
    int32_t Walk(std::shared_ptr<Node> pStart, const char16_t* pszPath, bool bCreate, std::shared_ptr<Node>& pResult)
    {
        std::u16string_view strRest = pszPath ? pszPath : u"";
        std::shared_ptr<Node> pNode = std::move(pStart);
        while (!strRest.empty())
        {
            const size_t nSlash = strRest.find(u'\\');
            const std::u16string strPart(strRest.substr(0, nSlash));
            strRest = nSlash == std::u16string_view::npos ? std::u16string_view() : strRest.substr(nSlash + 1);
            if (strPart.empty())
                continue;
            if (strPart.size() > kRegMaxKeyNameChars)
                return RegError::kInvalidParameter;
            std::shared_ptr<Node> pChild = FindChild(*pNode, strPart);
            if (!pChild && !bCreate)
                return RegError::kFileNotFound;
            if (!pChild)
                pChild = AddChild(pNode, strPart);
            pNode = std::move(pChild);
        }
        pResult = std::move(pNode);
        return RegError::kSuccess;
    }

    static std::shared_ptr<Node> FindChild(const Node& node, const std::u16string& strName)
    {
        for (const auto& pChild : node.vecChildren)
        {
            if (RegScript::EqualsNoCase(pChild->strName, strName))
                return pChild;
        }
        return nullptr;
    }

    static std::shared_ptr<Node> AddChild(const std::shared_ptr<Node>& pParent, const std::u16string& strName)
    {
        auto pChild = std::make_shared<Node>();
        pChild->strName = strName;
        pChild->pParent = pParent.get();
        auto& vecChildren = pParent->vecChildren;
        auto it = vecChildren.begin();
        while (it != vecChildren.end() && LessNoCase((*it)->strName, strName))
            ++it;
        vecChildren.insert(it, pChild);
        return pChild;
    }

    static Value* FindValue(Node& node, const std::u16string& strName)
    {
        for (auto& entry : node.vecValues)
        {
            if (RegScript::EqualsNoCase(entry.first, strName))
                return &entry.second;
        }
        return nullptr;
    }

    static const Value* FindValue(const Node& node, const std::u16string& strName)
    {
        return FindValue(const_cast<Node&>(node), strName);
    }

    static void StoreValue(Node& node, const std::u16string& strName, Value value)
    {
        if (Value* pExisting = FindValue(node, strName))
            *pExisting = std::move(value);
        else
            node.vecValues.emplace_back(strName, std::move(value));
    }

    std::shared_ptr<Node> FindNode(RegRootKey root, std::u16string_view strPath) const
    {
        std::shared_ptr<Node> pNode;
        const std::u16string strCopy(strPath);
        if (const_cast<CMemoryRegistry*>(this)->Walk(Root(root), strCopy.c_str(), false, pNode) != RegError::kSuccess)
            return nullptr;
        return pNode;
    }

    template <class Fn>
    static void VisitKeys(const Node& node, const std::u16string& strPath, Fn& fn)
    {
        for (const auto& pChild : node.vecChildren)
        {
            const std::u16string strChildPath = strPath.empty() ? pChild->strName : strPath + u'\\' + pChild->strName;
            fn(strChildPath, pChild->vecValues);
            VisitKeys(*pChild, strChildPath, fn);
        }
    }

    static size_t CountKeys(const Node& node)
    {
        size_t nCount = node.vecChildren.size();
        for (const auto& pChild : node.vecChildren)
            nCount += CountKeys(*pChild);
        return nCount;
    }

    RegKeyHandle NewHandle(const std::shared_ptr<Node>& pNode, uint32_t nAccess)
    {
        const RegKeyHandle hKey = m_hNext;
        m_hNext += 4;
        m_mapHandles[hKey] = {pNode, nAccess};
        ++m_nHandlesOpened;
        return hKey;
    }

    std::shared_ptr<Node> m_rgRoots[kRootCount];
    std::map<RegKeyHandle, HandleEntry> m_mapHandles;
    RegKeyHandle m_hNext = 0x1000;
    size_t m_nHandlesOpened = 0;
    std::vector<FaultEntry> m_vecFaults;
};
