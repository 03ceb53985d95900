#include "tools/msi/TypeLibKeys.h"

namespace {

// Automation's proxies: one for interfaces with a vtable part, one for pure
// dispinterfaces.
const char16_t kProxyOleAutomation[] = u"{00020424-0000-0000-C000-000000000046}";
const char16_t kProxyDispatch[] = u"{00020420-0000-0000-C000-000000000046}";

// Registration reports the library as loaded from a file.
const uint16_t kLibFlagHasDiskImage = 0x8;

std::u16string Decimal(uint32_t nValue)
{
    std::u16string str;
    do
    {
        str.insert(str.begin(), static_cast<char16_t>(u'0' + nValue % 10));
        nValue /= 10;
    } while (nValue != 0);
    return str;
}

int32_t SetString(IRegistryOps& ops, const std::u16string& strKey, const char16_t* pszName, const std::u16string& strText)
{
    CScopedRegKey key(ops);
    int32_t nError = ops.CreateKey(ops.GetRootKey(RegRootKey::ClassesRoot), strKey.c_str(), RegAccess::kWrite,
                                   key.Receive());
    if (nError != RegError::kSuccess)
        return nError;
    const std::u16string strData = strText + u'\0';
    return ops.SetValue(key.Get(), pszName, RegValueType::kString, reinterpret_cast<const uint8_t*>(strData.data()),
                        static_cast<uint32_t>(strData.size() * sizeof(char16_t)));
}

struct StringValue
{
    std::u16string strKey;
    const char16_t* pszName; // null: the key's default value
    std::u16string strText;
};

template <size_t N>
int32_t SetStrings(IRegistryOps& ops, const StringValue (&rgValues)[N])
{
    for (const StringValue& value : rgValues)
    {
        if (int32_t nError = SetString(ops, value.strKey, value.pszName, value.strText))
            return nError;
    }
    return RegError::kSuccess;
}

} // namespace

int32_t WriteTypeLibKeys(IRegistryOps& ops, const TypeLibFacts& facts, const std::u16string& strPath)
{
    const std::u16string strVersion = HexText(facts.nMajor, 1, false) + u'.' + HexText(facts.nMinor, 1, false);
    const std::u16string strLibKey = u"TypeLib\\" + facts.strLibId + u'\\' + strVersion;
    const size_t nSlash = strPath.rfind(u'\\');
    const std::u16string strHelpDir = nSlash == std::u16string::npos ? std::u16string() : strPath.substr(0, nSlash);
    const StringValue rgLibValues[] = {
        {strLibKey, nullptr, facts.strDocString.empty() ? facts.strName : facts.strDocString},
        {strLibKey + u"\\FLAGS", nullptr, Decimal(facts.nFlags | kLibFlagHasDiskImage)},
        {strLibKey + u"\\HELPDIR", nullptr, strHelpDir},
        {strLibKey + u'\\' + HexText(facts.nLcid, 1, false) + (facts.b64Bit ? u"\\win64" : u"\\win32"), nullptr, strPath},
    };
    if (int32_t nError = SetStrings(ops, rgLibValues))
        return nError;
    for (const TypeLibInterface& itf : facts.vecInterfaces)
    {
        const std::u16string strKey = u"Interface\\" + itf.strIid;
        const std::u16string strProxy = itf.bDispatchOnly ? kProxyDispatch : kProxyOleAutomation;
        const StringValue rgInterfaceValues[] = {
            {strKey, nullptr, itf.strName},
            {strKey + u"\\ProxyStubClsid", nullptr, strProxy},
            {strKey + u"\\ProxyStubClsid32", nullptr, strProxy},
            {strKey + u"\\TypeLib", nullptr, facts.strLibId},
            {strKey + u"\\TypeLib", u"Version", strVersion},
        };
        if (int32_t nError = SetStrings(ops, rgInterfaceValues))
            return nError;
    }
    return RegError::kSuccess;
}
