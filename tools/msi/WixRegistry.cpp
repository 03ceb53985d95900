#include "tools/msi/WixRegistry.h"

#include <algorithm>
#include <stdexcept>

#include "tools/common/Utf8.h"

namespace {

std::string XmlAttribute(const std::u16string& strText)
{
    std::string strOut;
    for (char ch : Utf16ToUtf8(strText))
    {
        switch (ch)
        {
        case '&': strOut += "&amp;"; break;
        case '<': strOut += "&lt;"; break;
        case '>': strOut += "&gt;"; break;
        case '"': strOut += "&quot;"; break;
        default: strOut += ch; break;
        }
    }
    return strOut;
}

std::u16string StringData(const CMemoryRegistry::Value& value)
{
    std::u16string strText;
    for (size_t i = 0; i + 1 < value.vecData.size(); i += 2)
        strText += static_cast<char16_t>(value.vecData[i] | (value.vecData[i + 1] << 8));
    if (strText.empty() || strText.back() != u'\0')
        throw std::runtime_error("a string value without its terminator");
    strText.pop_back();
    return strText;
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
