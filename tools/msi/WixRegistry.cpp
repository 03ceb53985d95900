#include "tools/msi/WixRegistry.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "tools/common/Utf8.h"

namespace {

std::string Hex4(char16_t ch)
{
    char szHex[8];
    std::snprintf(szHex, sizeof(szHex), "%04X", static_cast<unsigned>(ch));
    return szHex;
}

// What an attribute value must write as a reference: the markup characters,
// and tab, line feed and carriage return, which a parser would otherwise
// turn into spaces when it normalises the attribute.
const char16_t* XmlReference(char16_t ch)
{
    switch (ch)
    {
    case u'&': return u"&amp;";
    case u'<': return u"&lt;";
    case u'>': return u"&gt;";
    case u'"': return u"&quot;";
    case u'\t': return u"&#9;";
    case u'\n': return u"&#10;";
    case u'\r': return u"&#13;";
    default: return nullptr;
    }
}

// XML 1.0 has no way at all, not even a reference, to carry the other
// control characters below U+0020, U+FFFE, U+FFFF or an unpaired surrogate.
std::string XmlAttribute(const std::u16string& strText)
{
    std::u16string strOut;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        const char16_t ch = strText[i];
        if (const char16_t* pszReference = XmlReference(ch))
            strOut += pszReference;
        else if (IsHighSurrogate(ch) && i + 1 < strText.size() && IsLowSurrogate(strText[i + 1]))
            strOut.append(strText, i++, 2);
        else if (ch >= 0x20 && !IsHighSurrogate(ch) && !IsLowSurrogate(ch) && ch < 0xFFFE)
            strOut += ch;
        else
            throw std::runtime_error("XML cannot carry the character U+" + Hex4(ch) + " of " + Utf16ToUtf8(strText));
    }
    return Utf16ToUtf8(strOut);
}

std::u16string StringData(const CMemoryRegistry::Value& value)
{
    std::optional<std::u16string> strText = CMemoryRegistry::TextOf(value);
    if (!strText)
        throw std::runtime_error("a string value of an odd number of bytes");
    if (strText->empty() || strText->back() != u'\0')
        throw std::runtime_error("a string value without its terminator");
    strText->pop_back();
    return *strText;
}

// Type and Value attributes of one value. Registration writes strings only.
std::string TypedValue(const CMemoryRegistry::Value& value, const std::vector<MsiReference>& vecReferences)
{
    if (value.nType == RegValueType::kString)
    {
        std::u16string strText = StringData(value);
        // An empty Value in the table means "the key only", a leading '#' a number.
        if (strText.empty())
            throw std::runtime_error("an empty string value cannot be written through the Registry table");
        strText = ToMsiFormatted(strText, vecReferences);
        if (strText.front() == u'#')
            strText.insert(strText.begin(), u'#');
        return "Type=\"string\" Value=\"" + XmlAttribute(strText) + "\"";
    }
    throw std::runtime_error("a registry value of a type the package does not write");
}

} // namespace

std::u16string ToMsiFormatted(const std::u16string& strText, const std::vector<MsiReference>& vecReferences)
{
    std::vector<MsiReference> vecLongestFirst = vecReferences;
    std::stable_sort(vecLongestFirst.begin(), vecLongestFirst.end(),
                     [](const MsiReference& a, const MsiReference& b) { return a.strText.size() > b.strText.size(); });
    std::u16string strOut;
    for (size_t i = 0; i < strText.size();)
    {
        const auto it = std::find_if(vecLongestFirst.begin(), vecLongestFirst.end(), [&](const MsiReference& ref) {
            return !ref.strText.empty() && strText.compare(i, ref.strText.size(), ref.strText) == 0;
        });
        if (it != vecLongestFirst.end())
        {
            strOut += it->strFormatted;
            i += it->strText.size();
            continue;
        }
        // Brackets open property references; "[\x]" stands for x itself.
        if (strText[i] == u'[' || strText[i] == u']')
            strOut += std::u16string(u"[\\") + strText[i] + u']';
        else
            strOut += strText[i];
        ++i;
    }
    return strOut;
}

std::string WixRegistryValues(const CMemoryRegistry& registry, const std::vector<MsiReference>& vecReferences)
{
    std::string strOut;
    registry.ForEachKey(RegRootKey::ClassesRoot, [&](const std::u16string& strPath, const auto& vecValues) {
        if (vecValues.empty() && registry.SubKeyCount(RegRootKey::ClassesRoot, strPath) == 0)
            throw std::runtime_error("an empty key cannot be written through the Registry table: " +
                                     Utf16ToUtf8(strPath));
        const std::string strKey = XmlAttribute(ToMsiFormatted(strPath, vecReferences));
        for (const auto& [strName, value] : vecValues)
        {
            strOut += "<RegistryValue Root=\"HKCR\" Key=\"" + strKey + "\"";
            if (!strName.empty())
                strOut += " Name=\"" + XmlAttribute(ToMsiFormatted(strName, vecReferences)) + "\"";
            strOut += " " + TypedValue(value, vecReferences) + "/>\n";
        }
    });
    return strOut;
}
