// Prints the Windows Installer registry rows of one DLL: what registering it
// with regsvr32 writes, found by running the DLL's own registry scripts and
// the type-library registration against a recording registry, with the
// DLL's install path left as a reference that the installer resolves.
//
//   OrvaneMsiRows DLL FILE_REF FOLDER_REF
//
// FILE_REF stands for the DLL's full path ("[#OrvaneShlExt64F.dll]"),
// FOLDER_REF for its folder without the closing backslash. The rows go to
// standard output as WiX RegistryValue elements.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ShellExt/registration/RegScript.h"
#include "ShellExt/resources/RegistrationIds.h"
#include "tools/msi/MemoryRegistry.h"
#include "tools/msi/PeResource.h"
#include "tools/msi/TypeLibKeys.h"
#include "tools/msi/WixRegistry.h"

namespace {

// Stand-ins for the install folder and the DLL's file name: private-use
// characters that no script or library text contains.
const std::u16string kFolderText = u"\uE000";
const std::u16string kModuleText = kFolderText + u"\\\uE001";

std::vector<uint8_t> ReadFile(const char* pszPath)
{
    std::ifstream file(pszPath, std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("cannot read ") + pszPath);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::u16string FromUtf8(const std::string& str)
{
    std::u16string strOut;
    for (unsigned char ch : str)
    {
        if (ch >= 0x80)
            throw std::runtime_error("references must be ASCII: " + str);
        strOut += static_cast<char16_t>(ch);
    }
    return strOut;
}

// The scripts are 8-bit text read in the system's code page; they hold ASCII
// only, which every code page reads alike.
std::u16string ScriptText(const std::vector<uint8_t>& vecBytes)
{
    std::u16string strText;
    for (uint8_t nByte : vecBytes)
    {
        if (nByte >= 0x80)
            throw std::runtime_error("a registry script holds a non-ASCII byte");
        strText += static_cast<char16_t>(nByte);
    }
    return strText;
}

void RegisterScript(IRegistryOps& ops, const std::vector<uint8_t>& vecImage, uint16_t nResourceId)
{
    const std::u16string strText = ScriptText(ReadPeResource(vecImage, {0, u"REGISTRY"}, {nResourceId, {}}));
    CRegObject registrar(ops);
    // The path of the module has no single quote to double.
    if (RegHr::Failed(registrar.AddSubstitution(u"Module", kModuleText.c_str())) ||
        RegHr::Failed(registrar.AddSubstitution(u"Module_Raw", kModuleText.c_str())))
        throw std::runtime_error("out of memory");
    const int32_t hr = registrar.RunScript(strText.c_str(), true, false);
    if (RegHr::Failed(hr))
        throw std::runtime_error("registry script " + std::to_string(nResourceId) + " failed: HRESULT " +
                                 std::to_string(static_cast<uint32_t>(hr)));
}

void CheckOnlyClassesRoot(const CMemoryRegistry& registry)
{
    for (RegRootKey root : {RegRootKey::CurrentUser, RegRootKey::LocalMachine, RegRootKey::Users,
                            RegRootKey::PerformanceData, RegRootKey::DynData, RegRootKey::CurrentConfig})
    {
        if (registry.KeyCount(root) != 0)
            throw std::runtime_error("registration writes outside HKEY_CLASSES_ROOT, which the rows do not cover");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: %s DLL FILE_REF FOLDER_REF\n", argv[0]);
        return 2;
    }
    try
    {
        const std::vector<uint8_t> vecImage = ReadFile(argv[1]);
        CMemoryRegistry registry;
        // In the order DllRegisterServer runs them.
        RegisterScript(registry, vecImage, IDR_MODULE_SCRIPT);
        RegisterScript(registry, vecImage, IDR_SIMPLESHLEXT_SCRIPT);
        const TypeLibFacts facts = ReadTypeLib(ReadPeResource(vecImage, {0, u"TYPELIB"}, {IDR_TYPELIB, {}}));
        if (int32_t nError = WriteTypeLibKeys(registry, facts, kModuleText))
            throw std::runtime_error("type library keys: error " + std::to_string(nError));
        CheckOnlyClassesRoot(registry);
        const std::vector<MsiReference> vecReferences = {{kModuleText, FromUtf8(argv[2])},
                                                         {kFolderText, FromUtf8(argv[3])}};
        std::fputs(WixRegistryValues(registry, vecReferences).c_str(), stdout);
        return 0;
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "OrvaneMsiRows: %s\n", e.what());
        return 1;
    }
}
