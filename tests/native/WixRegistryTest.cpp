#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tools/msi/WixRegistry.h"

namespace {

// A value as the Registry table must receive it: brackets would open
// property references, a leading '#' would make a number, XML needs its
// entities, and the references stand where their text was.
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

// What the table cannot hold as the registry had it stops the build.
TEST(WixRegistry, RefusesWhatTheTableCannotHold)
{
    CMemoryRegistry emptyString;
    emptyString.PutString(RegRootKey::ClassesRoot, u"K", u"", u"");
    CMemoryRegistry emptyKey;
    emptyKey.PutKey(RegRootKey::ClassesRoot, u"K\\Empty");
    CMemoryRegistry multiString;
    multiString.PutValue(RegRootKey::ClassesRoot, u"K", u"", {RegValueType::kMultiString, {0, 0, 0, 0}});
    for (const CMemoryRegistry* pRegistry : {&emptyString, &emptyKey, &multiString})
        EXPECT_THROW(WixRegistryValues(*pRegistry, {}), std::runtime_error);
}

} // namespace
