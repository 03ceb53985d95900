#include "RegScript.h"

#include <algorithm>
#include <cstring>

#include "ShellExt/core/AsciiCase.h"
#include "ShellExt/core/ExceptionHr.h"

namespace {

constexpr size_t kMaxTokenChars = 4094;
constexpr size_t kMaxSubstitutionNameChars = 31;

// The registry itself stops at 512 levels; a script nested deeper could never
// be registered, and bounding the recursion keeps a hostile text (which in
// skip mode reaches no registry call at all) from exhausting the stack.
constexpr int kMaxBlockDepth = 512;

// Per-user registration moves a root written "HKCR" into this frame: the root
// line becomes the prefix and the suffix goes in front of the block's closing
// brace, so the block's own entries land under HKCU\Software\Classes.
constexpr std::u16string_view kPerUserRootPrefix = u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
constexpr std::u16string_view kPerUserRootSuffix = u"\r\n\t}\r\n}\r\n";
constexpr std::u16string_view kRedirectedRoot = u"HKCR";

constexpr std::u16string_view kProtectedKeyNames[] = {
    u"AppID", u"CLSID", u"Component Categories", u"FileType", u"Interface", u"Hardware",
    u"Mime",  u"SAM",   u"SECURITY",             u"SYSTEM",   u"Software",  u"TypeLib",
};

struct RootKeyName
{
    std::u16string_view strShort;
    std::u16string_view strLong;
    RegRootKey root;
};

constexpr RootKeyName kRootKeyNames[] = {
    {u"HKCR", u"HKEY_CLASSES_ROOT", RegRootKey::ClassesRoot},
    {u"HKCU", u"HKEY_CURRENT_USER", RegRootKey::CurrentUser},
    {u"HKLM", u"HKEY_LOCAL_MACHINE", RegRootKey::LocalMachine},
    {u"HKU", u"HKEY_USERS", RegRootKey::Users},
    {u"HKPD", u"HKEY_PERFORMANCE_DATA", RegRootKey::PerformanceData},
    {u"HKDD", u"HKEY_DYN_DATA", RegRootKey::DynData},
    {u"HKCC", u"HKEY_CURRENT_CONFIG", RegRootKey::CurrentConfig},
};

bool IsWhiteSpace(char16_t ch) noexcept
{
    return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n';
}

bool BeginsWith(const std::u16string& str, char16_t ch) noexcept
{
    return !str.empty() && str[0] == ch;
}

char16_t FoldCase(char16_t ch) noexcept
{
    if ((ch >= u'A' && ch <= u'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7))
        return static_cast<char16_t>(ch + 0x20);
    // The registry upper-cases these two to 'S' and 'I', so "ſoftware" names the
    // same key as "Software" and must be protected like it.
    if (ch == 0x017F)
        return u's';
    if (ch == 0x0131)
        return u'i';
    return ch;
}

bool FindRootKey(const std::u16string& strName, RegRootKey& root) noexcept
{
    for (const RootKeyName& entry : kRootKeyNames)
    {
        if (RegScript::EqualsNoCase(strName, entry.strShort) || RegScript::EqualsNoCase(strName, entry.strLong))
        {
            root = entry.root;
            return true;
        }
    }
    return false;
}

// A key name must name one direct subkey. An empty name would make the
// registry act on the parent itself (open it, or delete it with its whole tree
// under ForceRemove), so it is rejected like a path. A lone "{" where a name
// is expected is a block after a value or a Delete entry, which has no
// meaning; taking it for a key named "{" would run the block's entries one
// level too high.
bool IsValidKeyName(const std::u16string& strName) noexcept
{
    return !strName.empty() && strName != u"{" && strName.find(u'\\') == std::u16string::npos;
}

void ReserveOneMore(std::vector<std::u16string>& vecStrings)
{
    if (vecStrings.size() == vecStrings.capacity())
        vecStrings.reserve(vecStrings.empty() ? 8 : vecStrings.size() * 2);
}

// ---------------------------------------------------------------------------
// Values

int32_t SetValueHr(IRegistryOps& ops, RegKeyHandle hKey, const char16_t* pszName, uint32_t nType,
                   const void* pData, size_t cbData)
{
    const int32_t nError = ops.SetValue(hKey, pszName, nType, static_cast<const uint8_t*>(pData),
                                        static_cast<uint32_t>(cbData));
    return RegHr::FromWin32(nError);
}

int32_t WriteStringValue(IRegistryOps& ops, RegKeyHandle hKey, const char16_t* pszName, const std::u16string& strValue)
{
    return SetValueHr(ops, hKey, pszName, RegValueType::kString, strValue.c_str(),
                      (strValue.size() + 1) * sizeof(char16_t));
}

// Size of a multi-string: every string up to and including the first empty
// one, each with its terminator. The registry stops reading there anyway.
size_t MultiStringBytes(const std::u16string& strBuffer) noexcept
{
    size_t nStart = 0;
    while (nStart < strBuffer.size() && strBuffer[nStart] != 0)
    {
        const size_t nEnd = strBuffer.find(u'\0', nStart);
        nStart = (nEnd == std::u16string::npos) ? strBuffer.size() : nEnd + 1;
    }
    return (nStart + 1) * sizeof(char16_t);
}

int32_t WriteMultiStringValue(IRegistryOps& ops, RegKeyHandle hKey, const char16_t* pszName,
                              const std::u16string& strValue)
{
    std::u16string strBuffer;
    try
    {
        strBuffer.reserve(strValue.size() + 2);
        for (size_t i = 0; i < strValue.size(); ++i)
        {
            // "\0" separates two strings; any other backslash is kept.
            if (strValue[i] == u'\\' && i + 1 < strValue.size() && strValue[i + 1] == u'0')
            {
                strBuffer.push_back(u'\0');
                ++i;
            }
            else
            {
                strBuffer.push_back(strValue[i]);
            }
        }
        strBuffer.append(2, u'\0');
    }
    catch (const std::bad_alloc&)
    {
        return RegHr::FromWin32(RegError::kOutOfMemory);
    }
    return SetValueHr(ops, hKey, pszName, RegValueType::kMultiString, strBuffer.data(), MultiStringBytes(strBuffer));
}

int32_t WriteDwordValue(IRegistryOps& ops, RegKeyHandle hKey, const char16_t* pszName, const std::u16string& strValue)
{
    uint32_t nValue = 0;
    const int32_t hr = ops.ParseUI4(strValue.c_str(), &nValue);
    if (RegHr::Failed(hr))
        return hr;
    uint8_t rgBytes[sizeof(nValue)];
    std::memcpy(rgBytes, &nValue, sizeof(nValue));
    return SetValueHr(ops, hKey, pszName, RegValueType::kDword, rgBytes, sizeof(rgBytes));
}

int32_t WriteBinaryValue(IRegistryOps& ops, RegKeyHandle hKey, const char16_t* pszName, const std::u16string& strValue)
{
    if (strValue.size() % 2 != 0)
        return RegHr::kFail;
    std::vector<uint8_t> vecBytes;
    try
    {
        vecBytes.assign(strValue.size() / 2, 0);
    }
    catch (const std::bad_alloc&)
    {
        return RegHr::kFail;
    }
    for (size_t i = 0; i < strValue.size(); ++i)
    {
        const int nShift = (i % 2 == 0) ? 4 : 0;
        // A character that is not a digit counts as 0.
        const int nDigit = std::max(RegScript::HexDigitValue(strValue[i]), 0);
        vecBytes[i / 2] = static_cast<uint8_t>(vecBytes[i / 2] | (nDigit << nShift));
    }
    return SetValueHr(ops, hKey, pszName, RegValueType::kBinary, vecBytes.data(), vecBytes.size());
}

// ---------------------------------------------------------------------------
// Expansion

class CScriptExpander
{
public:
    CScriptExpander(const CRegObject& registrar, std::u16string_view strText, bool bPerUser,
                    std::u16string& strOut) noexcept
        : m_registrar(registrar), m_strText(strText), m_bPerUser(bPerUser), m_strOut(strOut)
    {
    }

    int32_t Run()
    {
        m_strOut.clear();
        m_strOut.reserve(InitialCapacity());
        while (m_nPos < m_strText.size())
        {
            if (m_bPerUser && TrackPerUserStructure())
                continue;
            if (m_strText[m_nPos] == u'%')
            {
                const int32_t hr = ExpandReference();
                if (RegHr::Failed(hr))
                    return hr;
                continue;
            }
            m_strOut.push_back(m_strText[m_nPos++]);
        }
        return RegHr::kOk;
    }

private:
    size_t InitialCapacity() const noexcept
    {
        const size_t nLength = m_strText.size();
        if (nLength > m_strOut.max_size() / 2)
            return nLength;
        return nLength * 2 < 100 ? 1000 : nLength * 2;
    }

    // Handles the per-user rewrite and keeps the quote and brace state it
    // needs. Returns true when it consumed text itself.
    bool TrackPerUserStructure()
    {
        if (m_nDepth == 0 && AtRedirectedRoot())
        {
            m_strOut.append(kPerUserRootPrefix);
            m_nPos += kRedirectedRoot.size();
            m_bRedirected = true;
            return true;
        }
        const char16_t ch = m_strText[m_nPos];
        if (ch == u'\'')
            return TrackQuote();
        if (m_bInQuote)
            return false;
        if (ch == u'{')
        {
            ++m_nDepth;
        }
        else if (ch == u'}')
        {
            if (m_nDepth == 1 && m_bRedirected)
            {
                m_strOut.append(kPerUserRootSuffix);
                m_bRedirected = false;
            }
            --m_nDepth;
        }
        return false;
    }

    bool TrackQuote()
    {
        if (!m_bInQuote)
        {
            m_bInQuote = true;
            return false;
        }
        if (m_nPos + 1 < m_strText.size() && m_strText[m_nPos + 1] == u'\'')
        {
            // A doubled quote inside quotes is text; both stay for the tokenizer.
            m_strOut.append(u"''");
            m_nPos += 2;
            return true;
        }
        m_bInQuote = false;
        return false;
    }

    // "HKCR" written as a whole word, in upper case. Only this spelling is
    // redirected; a longer word that merely starts or ends with it is not.
    bool AtRedirectedRoot() const noexcept
    {
        if (m_strText.compare(m_nPos, kRedirectedRoot.size(), kRedirectedRoot) != 0)
            return false;
        const size_t nAfter = m_nPos + kRedirectedRoot.size();
        const bool bStartsWord = m_nPos == 0 || IsWordBoundary(m_strText[m_nPos - 1]);
        const bool bEndsWord = nAfter == m_strText.size() || IsWordBoundary(m_strText[nAfter]);
        return bStartsWord && bEndsWord;
    }

    static bool IsWordBoundary(char16_t ch) noexcept { return IsWhiteSpace(ch) || ch == u'\''; }

    int32_t ExpandReference()
    {
        if (m_nPos + 1 < m_strText.size() && m_strText[m_nPos + 1] == u'%')
        {
            m_strOut.push_back(u'%');
            m_nPos += 2;
            return RegHr::kOk;
        }
        const size_t nEnd = m_strText.find(u'%', m_nPos + 1);
        if (nEnd == std::u16string_view::npos)
            return RegHr::kDispException;
        const std::u16string_view strName = m_strText.substr(m_nPos + 1, nEnd - m_nPos - 1);
        if (strName.size() > kMaxSubstitutionNameChars)
            return RegHr::kFail;
        const std::u16string* pValue = m_registrar.FindSubstitution(strName);
        if (pValue == nullptr)
            return RegHr::kDispException;
        m_strOut.append(*pValue);
        m_nPos = nEnd + 1;
        return RegHr::kOk;
    }

    const CRegObject& m_registrar;
    std::u16string_view m_strText;
    bool m_bPerUser;
    std::u16string& m_strOut;
    size_t m_nPos = 0;
    std::ptrdiff_t m_nDepth = 0;
    bool m_bInQuote = false;
    bool m_bRedirected = false;
};

// ---------------------------------------------------------------------------
// Parsing and running

struct BlockContext
{
    RegKeyHandle hParent;
    bool bRegister;
    bool bSkip; // unregistering below a key that does not exist
    int nDepth;
};

class CScriptParser
{
public:
    CScriptParser(IRegistryOps& ops, std::u16string_view strText) noexcept : m_ops(ops), m_strText(strText) {}

    int32_t Run(bool bRegister)
    {
        if (m_strText.empty())
            return RegHr::kOk;
        // Read the whole text once without touching the registry. A syntax
        // error met half-way through a real pass would stop the undo of a
        // failed registration at the same place and leave keys behind, and
        // would leave an unregistration half done.
        int32_t hr = RunRootBlocks(Pass::CheckSyntax);
        if (RegHr::Failed(hr))
            return hr;
        m_nPos = 0;
        return RunRootBlocks(bRegister ? Pass::Register : Pass::Unregister);
    }

private:
    enum class Pass
    {
        CheckSyntax,
        Register,
        Unregister,
    };

    int32_t RunRootBlocks(Pass pass)
    {
        std::u16string strToken;
        while (m_nPos < m_strText.size())
        {
            RegRootKey root = RegRootKey::ClassesRoot;
            int32_t hr = NextToken(strToken);
            if (RegHr::Failed(hr))
                return hr;
            if (!FindRootKey(strToken, root))
                return RegHr::kDispException;
            hr = NextToken(strToken);
            if (RegHr::Failed(hr))
                return hr;
            if (!BeginsWith(strToken, u'{'))
                return RegHr::kDispException;
            if (pass == Pass::CheckSyntax)
                hr = ProcessBlockNoThrow({kNullRegKey, false, true, 1}); // skip mode reaches no registry call
            else
                hr = RunRootBlock(m_ops.GetRootKey(root), pass == Pass::Register);
            if (RegHr::Failed(hr))
                return hr;
            SkipWhiteSpace();
        }
        return RegHr::kOk;
    }

    int32_t RunRootBlock(RegKeyHandle hRoot, bool bRegister)
    {
        const size_t nBlockStart = m_nPos;
        const int32_t hr = ProcessBlockNoThrow({hRoot, bRegister, false, 1});
        if (RegHr::Failed(hr) && bRegister)
        {
            // Undo what this block wrote by running it again as an
            // unregistration; earlier root blocks stay registered.
            m_nPos = nBlockStart;
            ProcessBlockNoThrow({hRoot, false, false, 1});
        }
        return hr;
    }

    // Running out of memory part-way must still reach the undo step.
    int32_t ProcessBlockNoThrow(const BlockContext& ctx) noexcept
    {
        return CallNoThrow([&] { return ProcessBlock(ctx); });
    }

    // Handles entries up to and including the token that closes the block.
    int32_t ProcessBlock(const BlockContext& ctx)
    {
        if (ctx.nDepth > kMaxBlockDepth)
            return RegHr::kDispException;
        std::u16string strToken;
        int32_t hr = NextToken(strToken);
        while (RegHr::Succeeded(hr) && !BeginsWith(strToken, u'}'))
            hr = ProcessEntry(ctx, strToken);
        return hr;
    }

    // On entry strToken is the entry's first token; on return it is the token
    // after the entry.
    int32_t ProcessEntry(const BlockContext& ctx, std::u16string& strToken)
    {
        bool bNoRemove = false;
        bool bDone = false;
        int32_t hr = ProcessRemovalPrefix(ctx, strToken, bNoRemove, bDone);
        if (RegHr::Failed(hr) || bDone)
            return hr;
        if (!bNoRemove && RegScript::EqualsNoCase(strToken, u"NoRemove"))
        {
            bNoRemove = true;
            hr = NextToken(strToken);
            if (RegHr::Failed(hr))
                return hr;
        }
        if (RegScript::EqualsNoCase(strToken, u"val"))
            return ProcessValueEntry(ctx, bNoRemove, strToken);
        if (!IsValidKeyName(strToken))
            return RegHr::kDispException;
        return ctx.bRegister ? RegisterKeyEntry(ctx, strToken) : UnregisterKeyEntry(ctx, bNoRemove, strToken);
    }

    // ForceRemove and Delete clear the named key's tree before registration;
    // Delete then ends the entry without creating the key. Unregistration reads
    // the prefix and treats the entry as a plain key.
    int32_t ProcessRemovalPrefix(const BlockContext& ctx, std::u16string& strToken, bool& bNoRemove, bool& bDone)
    {
        const bool bForceRemove = RegScript::EqualsNoCase(strToken, u"ForceRemove");
        const bool bDelete = RegScript::EqualsNoCase(strToken, u"Delete");
        if (!bForceRemove && !bDelete)
            return RegHr::kOk;
        int32_t hr = NextToken(strToken);
        // "ForceRemove NoRemove Name" acts on Name: NoRemove is a prefix here,
        // never the name of the key to clear.
        if (RegHr::Succeeded(hr) && RegScript::EqualsNoCase(strToken, u"NoRemove"))
        {
            bNoRemove = true;
            hr = NextToken(strToken);
        }
        if (RegHr::Failed(hr) || !ctx.bRegister)
            return hr;
        if (!IsValidKeyName(strToken))
            return RegHr::kDispException;
        if (!RegScript::IsProtectedKeyName(strToken))
            RegScript::DeleteKeyTree(m_ops, ctx.hParent, strToken.c_str()); // absent or stuck: carry on
        if (!bDelete)
            return RegHr::kOk;
        bDone = true;
        hr = NextToken(strToken);
        return RegHr::Failed(hr) ? hr : SkipAssignment(strToken);
    }

    int32_t ProcessValueEntry(const BlockContext& ctx, bool bNoRemove, std::u16string& strToken)
    {
        std::u16string strName;
        int32_t hr = NextToken(strName);
        if (RegHr::Succeeded(hr))
            hr = NextToken(strToken);
        if (RegHr::Failed(hr))
            return hr;
        if (!BeginsWith(strToken, u'='))
            return RegHr::kDispException;
        if (ctx.bRegister)
            return WriteValue(ctx.hParent, strName.c_str(), strToken);
        if (!ctx.bSkip && !bNoRemove)
        {
            hr = DeleteNamedValue(ctx.hParent, strName);
            if (RegHr::Failed(hr))
                return hr;
        }
        return SkipAssignment(strToken);
    }

    int32_t DeleteNamedValue(RegKeyHandle hParent, const std::u16string& strName)
    {
        // The parent may be held read-only; a handle of its own with write
        // access is needed to delete a value.
        CScopedRegKey key(m_ops);
        int32_t nError = m_ops.OpenKey(hParent, nullptr, RegAccess::kWrite, key.Receive());
        if (nError != RegError::kSuccess)
            return RegHr::FromWin32(nError);
        nError = m_ops.DeleteValue(key.Get(), strName.c_str());
        if (nError != RegError::kSuccess && nError != RegError::kFileNotFound)
            return RegHr::FromWin32(nError);
        return RegHr::kOk;
    }

    int32_t OpenOrCreateKey(RegKeyHandle hParent, const std::u16string& strName, CScopedRegKey& key)
    {
        const char16_t* pszName = strName.c_str();
        if (m_ops.OpenKey(hParent, pszName, RegAccess::kRead | RegAccess::kWrite, key.Receive()) == 0)
            return RegHr::kOk;
        if (m_ops.OpenKey(hParent, pszName, RegAccess::kRead, key.Receive()) == 0)
            return RegHr::kOk;
        return RegHr::FromWin32(m_ops.CreateKey(hParent, pszName, RegAccess::kRead | RegAccess::kWrite, key.Receive()));
    }

    int32_t RegisterKeyEntry(const BlockContext& ctx, std::u16string& strToken)
    {
        CScopedRegKey key(m_ops);
        int32_t hr = OpenOrCreateKey(ctx.hParent, strToken, key);
        if (RegHr::Succeeded(hr))
            hr = NextToken(strToken);
        if (RegHr::Succeeded(hr) && BeginsWith(strToken, u'='))
            hr = WriteValue(key.Get(), nullptr, strToken);
        if (RegHr::Failed(hr) || strToken != u"{")
            return hr;
        hr = ProcessBlock({key.Get(), true, false, ctx.nDepth + 1});
        return RegHr::Failed(hr) ? hr : NextToken(strToken);
    }

    int32_t UnregisterKeyEntry(const BlockContext& ctx, bool bNoRemove, std::u16string& strToken)
    {
        const std::u16string strName = strToken;
        CScopedRegKey key(m_ops);
        const int32_t nOpenError =
            ctx.bSkip ? RegError::kFileNotFound : m_ops.OpenKey(ctx.hParent, strName.c_str(), RegAccess::kRead, key.Receive());
        int32_t hr = NextToken(strToken);
        if (RegHr::Succeeded(hr))
            hr = SkipAssignment(strToken);
        if (RegHr::Succeeded(hr) && strToken == u"{")
        {
            // Every failure of the nested block is returned, also from a block
            // that is only being skipped: there it can only be a syntax error,
            // and reading on would take the rest of the text out of step (a
            // value could be read as the name of a key to delete).
            hr = ProcessBlock({key.Get(), false, nOpenError != RegError::kSuccess, ctx.nDepth + 1});
            if (RegHr::Succeeded(hr))
                hr = NextToken(strToken);
        }
        if (RegHr::Failed(hr) || nOpenError == RegError::kFileNotFound)
            return hr;
        if (nOpenError != RegError::kSuccess)
            return RegHr::FromWin32(nOpenError);
        return RemoveKeyIfUnused(ctx.hParent, strName, bNoRemove, key);
    }

    // A key that still has subkeys belongs to someone else as well; extra
    // values alone do not keep it.
    int32_t RemoveKeyIfUnused(RegKeyHandle hParent, const std::u16string& strName, bool bNoRemove, CScopedRegKey& key)
    {
        uint32_t nSubKeys = 0;
        const bool bHasSubKeys = m_ops.QuerySubKeyCount(key.Get(), &nSubKeys) == RegError::kSuccess && nSubKeys > 0;
        int32_t nError = key.Close();
        if (nError != RegError::kSuccess)
            return RegHr::FromWin32(nError);
        if (bNoRemove || bHasSubKeys)
            return RegHr::kOk;
        nError = m_ops.DeleteSubKey(hParent, strName.c_str(), 0);
        return RegHr::FromWin32(nError);
    }

    // strToken is the "=" token; on success it becomes the token after the value.
    int32_t WriteValue(RegKeyHandle hKey, const char16_t* pszName, std::u16string& strToken)
    {
        std::u16string strType;
        int32_t hr = NextToken(strType);
        if (RegHr::Failed(hr))
            return hr;
        const char16_t chType = strType.size() == 1 ? AsciiLower(strType[0]) : u'\0';
        if (chType != u's' && chType != u'm' && chType != u'd' && chType != u'b')
            return RegHr::kDispException;
        std::u16string strValue;
        hr = NextToken(strValue);
        if (RegHr::Failed(hr))
            return hr;
        switch (chType)
        {
        case u's':
            hr = WriteStringValue(m_ops, hKey, pszName, strValue);
            break;
        case u'm':
            hr = WriteMultiStringValue(m_ops, hKey, pszName, strValue);
            break;
        case u'd':
            hr = WriteDwordValue(m_ops, hKey, pszName, strValue);
            break;
        default:
            hr = WriteBinaryValue(m_ops, hKey, pszName, strValue);
            break;
        }
        return RegHr::Failed(hr) ? hr : NextToken(strToken);
    }

    int32_t SkipAssignment(std::u16string& strToken)
    {
        if (!BeginsWith(strToken, u'='))
            return RegHr::kOk;
        int32_t hr = NextToken(strToken); // type
        if (RegHr::Succeeded(hr))
            hr = NextToken(strToken); // value
        return RegHr::Failed(hr) ? hr : NextToken(strToken);
    }

    void SkipWhiteSpace() noexcept
    {
        while (m_nPos < m_strText.size() && IsWhiteSpace(m_strText[m_nPos]))
            ++m_nPos;
    }

    int32_t NextToken(std::u16string& strToken)
    {
        SkipWhiteSpace();
        if (m_nPos >= m_strText.size())
            return RegHr::kDispException;
        strToken.clear();
        return m_strText[m_nPos] == u'\'' ? ReadQuotedToken(strToken) : ReadPlainToken(strToken);
    }

    int32_t ReadPlainToken(std::u16string& strToken)
    {
        while (m_nPos < m_strText.size() && !IsWhiteSpace(m_strText[m_nPos]))
        {
            if (strToken.size() == kMaxTokenChars)
                return RegHr::kDispException;
            strToken.push_back(m_strText[m_nPos++]);
        }
        return RegHr::kOk;
    }

    // 'text' with '' standing for one quote; white space, braces and '=' are
    // ordinary characters inside.
    int32_t ReadQuotedToken(std::u16string& strToken)
    {
        ++m_nPos;
        for (;;)
        {
            if (m_nPos >= m_strText.size())
                return RegHr::kDispException;
            const char16_t ch = m_strText[m_nPos++];
            if (ch == u'\'')
            {
                if (m_nPos >= m_strText.size() || m_strText[m_nPos] != u'\'')
                    return RegHr::kOk;
                ++m_nPos;
            }
            if (strToken.size() == kMaxTokenChars)
                return RegHr::kDispException;
            strToken.push_back(ch);
        }
    }

    IRegistryOps& m_ops;
    std::u16string_view m_strText;
    size_t m_nPos = 0;
};

} // namespace

// ---------------------------------------------------------------------------

namespace RegScript {

int HexDigitValue(char16_t ch) noexcept
{
    if (ch >= u'0' && ch <= u'9')
        return ch - u'0';
    if (ch >= u'A' && ch <= u'F')
        return ch - u'A' + 10;
    if (ch >= u'a' && ch <= u'f')
        return ch - u'a' + 10;
    return -1;
}

bool EqualsNoCase(std::u16string_view strA, std::u16string_view strB) noexcept
{
    return EqualsFolded(strA, strB, FoldCase);
}

bool IsProtectedKeyName(std::u16string_view strName) noexcept
{
    for (std::u16string_view strProtected : kProtectedKeyNames)
    {
        if (EqualsNoCase(strName, strProtected))
            return true;
    }
    return false;
}

int32_t DeleteKeyTree(IRegistryOps& ops, RegKeyHandle hParent, const char16_t* pszName, uint32_t nView) noexcept
{
    CScopedRegKey key(ops);
    int32_t nError = ops.OpenKey(hParent, pszName, RegAccess::kRead | RegAccess::kWrite | nView, key.Receive());
    if (nError != RegError::kSuccess)
        return nError;
    // Always take the first subkey: deleting shifts the others down.
    for (;;)
    {
        char16_t szSubKey[kRegKeyNameBufferChars] = {};
        uint32_t cchSubKey = kRegKeyNameBufferChars;
        if (ops.EnumSubKey(key.Get(), 0, szSubKey, &cchSubKey) != RegError::kSuccess)
            break;
        szSubKey[cchSubKey < kRegKeyNameBufferChars ? cchSubKey : kRegKeyNameBufferChars - 1] = u'\0';
        nError = DeleteKeyTree(ops, key.Get(), szSubKey, nView);
        if (nError != RegError::kSuccess)
            return nError; // the key is closed on the way out and stays
    }
    key.Close();
    return ops.DeleteSubKey(hParent, pszName, nView);
}

} // namespace RegScript

// ---------------------------------------------------------------------------

CRegObject::CRegObject(IRegistryOps& ops) noexcept : m_ops(ops) {}

CRegObject::~CRegObject()
{
    ClearSubstitutions();
}

int32_t CRegObject::QueryInterface(const RegGuid& /*riid*/, void** ppvObject)
{
    if (ppvObject != nullptr)
        *ppvObject = nullptr;
    return RegHr::kNotImpl;
}

uint32_t CRegObject::AddRef()
{
    return 1;
}

uint32_t CRegObject::Release()
{
    return 0;
}

int32_t CRegObject::AddSubstitution(const char16_t* pszName, const char16_t* pszValue)
{
    if (pszName == nullptr || pszValue == nullptr)
        return RegHr::kInvalidArg;
    return CallNoThrow([&] {
        std::u16string strName(pszName);
        std::u16string strValue(pszValue);
        // Make room in both arrays first, so that the appends below cannot
        // fail half-way and leave the arrays out of step.
        ReserveOneMore(m_vecNames);
        ReserveOneMore(m_vecValues);
        m_vecNames.push_back(std::move(strName));
        m_vecValues.push_back(std::move(strValue));
        return RegHr::kOk;
    });
}

int32_t CRegObject::ClearSubstitutions()
{
    std::vector<std::u16string>().swap(m_vecNames);
    std::vector<std::u16string>().swap(m_vecValues);
    return RegHr::kOk;
}

const std::u16string* CRegObject::FindSubstitution(std::u16string_view strName) const noexcept
{
    for (size_t i = 0; i < m_vecNames.size(); ++i)
    {
        if (RegScript::EqualsNoCase(m_vecNames[i], strName))
            return &m_vecValues[i];
    }
    return nullptr;
}

int32_t CRegObject::ExpandScript(const char16_t* pszText, bool bPerUser, std::u16string& strExpanded) const noexcept
{
    if (pszText == nullptr)
        return RegHr::kInvalidArg;
    return CallNoThrow([&] { return CScriptExpander(*this, pszText, bPerUser, strExpanded).Run(); });
}

int32_t CRegObject::RunScript(const char16_t* pszText, bool bRegister, bool bPerUser) noexcept
{
    return CallNoThrow([&] {
        std::u16string strExpanded;
        const int32_t hr = ExpandScript(pszText, bPerUser, strExpanded);
        if (RegHr::Failed(hr))
            return hr;
        return CScriptParser(m_ops, strExpanded).Run(bRegister);
    });
}
