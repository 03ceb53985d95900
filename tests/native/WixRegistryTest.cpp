#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tools/msi/WixRegistry.h"

namespace {

// A value as the Registry table must receive it: brackets would open
// property references, a leading '#' would make a number, XML needs its
// entities and references for the white space it would turn into spaces, and
// the references stand where their text was.
TEST(WixRegistry, ValuesBecomeEscapedRows)
{
    const std::vector<MsiReference> vecReferences = {{u"\uE000", u"[DIR]"}, {u"\uE000\\m.dll", u"[#m.dll]"}};
    const struct
    {
        const char16_t* pszName; // empty: the default value
        const char16_t* pszText;
        const char* pszRow;
    } rgCases[] = {
        {u"", u"Orvane Shell Extension", R"(Type="string" Value="Orvane Shell Extension")"},
        {u"", u"\uE000\\m.dll", R"(Type="string" Value="[#m.dll]")"},
        {u"", u"\uE000", R"(Type="string" Value="[DIR]")"},
        {u"", u"\"\uE000\\m.dll\",1", R"(Type="string" Value="&quot;[#m.dll]&quot;,1")"},
        {u"", u"[a] & <b>", R"(Type="string" Value="[\[]a[\]] &amp; &lt;b&gt;")"},
        {u"", u"#5", R"(Type="string" Value="##5")"},
        {u"", u"a\tb\r\nc d", R"(Type="string" Value="a&#9;b&#13;&#10;c d")"},
        {u"", u"\U0001F600\u00E9\uFFFD", "Type=\"string\" Value=\"\xF0\x9F\x98\x80\xC3\xA9\xEF\xBF\xBD\""},
        {u"ThreadingModel", u"Apartment", R"(Name="ThreadingModel" Type="string" Value="Apartment")"},
    };
    for (const auto& testCase : rgCases)
    {
        CMemoryRegistry registry;
        registry.PutString(RegRootKey::ClassesRoot, u"CLSID\\{X}\\[k]", testCase.pszName, testCase.pszText);
        EXPECT_EQ(WixRegistryValues(registry, vecReferences),
                  std::string(R"(<RegistryValue Root="HKCR" Key="CLSID\{X}\[\[]k[\]]" )") + testCase.pszRow + "/>\n");
    }
}

// What the table or XML cannot hold as the registry had it stops the build.
TEST(WixRegistry, RefusesWhatTheTableCannotHold)
{
    CMemoryRegistry emptyKey;
    emptyKey.PutKey(RegRootKey::ClassesRoot, u"K\\Empty");
    EXPECT_THROW(WixRegistryValues(emptyKey, {}), std::runtime_error);

    using Value = CMemoryRegistry::Value;
    const Value rgValues[] = {
        CMemoryRegistry::StringValue(u""),
        {RegValueType::kMultiString, {0, 0, 0, 0}},
        {RegValueType::kString, {'a', 0, 0, 0, 0}}, // an odd number of bytes
        CMemoryRegistry::StringValue(std::u16string_view(u"a\0b", 3)),
        CMemoryRegistry::StringValue(u"\x08"),
        CMemoryRegistry::StringValue(u"\x0B"),
        CMemoryRegistry::StringValue(u"\x0C"),
        CMemoryRegistry::StringValue(u"\x0E"),
        CMemoryRegistry::StringValue(u"\x1F"),
        CMemoryRegistry::StringValue(u"a\xD83D"),
        CMemoryRegistry::StringValue(u"\xDE00" u"a"),
        CMemoryRegistry::StringValue(u"\xFFFE"),
        CMemoryRegistry::StringValue(u"\xFFFF"),
    };
    for (const Value& value : rgValues)
    {
        CMemoryRegistry registry;
        registry.PutValue(RegRootKey::ClassesRoot, u"K", u"", value);
        EXPECT_THROW(WixRegistryValues(registry, {}), std::runtime_error) << value.vecData.size();
    }
    CMemoryRegistry controlInName;
    controlInName.PutString(RegRootKey::ClassesRoot, u"K", u"a\x01", u"x");
    EXPECT_THROW(WixRegistryValues(controlInName, {}), std::runtime_error);
}

} // namespace
