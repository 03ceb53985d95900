#include "tools/shellhost/CommandManifest.h"

#include <cctype>

#include "tools/shellhost/HostOptions.h"

namespace {

bool IsHex(char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; }

// 8-4-4-4-12 hexadecimal digits, with or without braces.
bool GuidShaped(const std::string& strText, std::string& strBare)
{
    strBare = strText;
    if (strBare.size() == 38 && strBare.front() == '{' && strBare.back() == '}')
        strBare = strBare.substr(1, 36);
    if (strBare.size() != 36)
        return false;
    for (size_t i = 0; i < strBare.size(); ++i)
    {
        const bool bDash = i == 8 || i == 13 || i == 18 || i == 23;
        if (bDash ? strBare[i] != '-' : !IsHex(strBare[i]))
            return false;
    }
    return true;
}

bool IsSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

// The value of attribute strName inside one start tag.
bool FindAttribute(const std::string& strTag, const std::string& strName, std::string& strValue)
{
    for (size_t nAt = strTag.find(strName); nAt != std::string::npos; nAt = strTag.find(strName, nAt + 1))
    {
        if (nAt == 0 || !IsSpace(strTag[nAt - 1]))
            continue;
        size_t i = nAt + strName.size();
        while (i < strTag.size() && IsSpace(strTag[i]))
            ++i;
        if (i >= strTag.size() || strTag[i] != '=')
            continue;
        ++i;
        while (i < strTag.size() && IsSpace(strTag[i]))
            ++i;
        if (i >= strTag.size() || (strTag[i] != '"' && strTag[i] != '\''))
            return false;
        const size_t nEnd = strTag.find(strTag[i], i + 1);
        if (nEnd == std::string::npos)
            return false;
        strValue = strTag.substr(i + 1, nEnd - i - 1);
        return true;
    }
    return false;
}

}  // namespace

bool FindCommandClassId(const std::string& strManifest, std::u16string& strClsid)
{
    const std::string strElement = "<com:Class";
    for (size_t nAt = strManifest.find(strElement); nAt != std::string::npos;
         nAt = strManifest.find(strElement, nAt + 1))
    {
        const size_t nNameEnd = nAt + strElement.size();
        if (nNameEnd >= strManifest.size() || !IsSpace(strManifest[nNameEnd]))
            continue;  // com:ClassFoo, or the end of the text
        const size_t nTagEnd = strManifest.find('>', nNameEnd);
        if (nTagEnd == std::string::npos)
            return false;
        std::string strValue;
        std::string strBare;
        if (!FindAttribute(strManifest.substr(nNameEnd, nTagEnd - nNameEnd), "Id", strValue) ||
            !GuidShaped(strValue, strBare))
            return false;
        strClsid = u"{" + std::u16string(strBare.begin(), strBare.end()) + u"}";
        return true;
    }
    return false;
}

bool SplitIconLocation(const std::u16string& strLocation, std::u16string& strFile, int32_t& nIndex)
{
    const size_t nComma = strLocation.rfind(u',');
    if (nComma == std::u16string::npos || nComma == 0)
        return false;
    const bool bNegative = nComma + 1 < strLocation.size() && strLocation[nComma + 1] == u'-';
    int32_t nValue = 0;
    if (!ParseDecimal(strLocation.substr(nComma + (bNegative ? 2 : 1)), 0, 999999999, nValue))
        return false;
    strFile = strLocation.substr(0, nComma);
    nIndex = bNegative ? -nValue : nValue;
    return true;
}
