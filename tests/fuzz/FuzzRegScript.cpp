// Fuzzes the registry-script interpreter: arbitrary bytes as script text,
// registered and unregistered against an in-memory registry, with and without
// per-user redirection. Any crash, sanitizer report or leaked key handle is a
// finding.
//
// The first byte selects the mode: bit 0 reads the rest as UTF-16LE (else each
// byte is widened), bit 1 turns per-user mode on, bit 2 registers twice.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ShellExt/registration/RegScript.h"
#include "tests/fuzz/FuzzText.h"
#include "tools/msi/MemoryRegistry.h"

namespace {

void SeedRegistry(CMemoryRegistry& registry)
{
    registry.PutKey(RegRootKey::ClassesRoot, u"CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32");
    registry.PutString(RegRootKey::ClassesRoot, u"*\\shellex\\ContextMenuHandlers\\Other", u"", u"x");
    registry.PutKey(RegRootKey::CurrentUser, u"Software\\Classes\\.txt");
    registry.PutString(RegRootKey::LocalMachine, u"Software\\Keep", u"v", u"1");
}

void AddSubstitutions(CRegObject& registrar)
{
    registrar.AddSubstitution(u"APPID", u"{6D3A5E10-2B7C-4F41-9A8E-0C51D2F7B3FF}");
    registrar.AddSubstitution(u"Module", u"C:\\Program Files\\O''Brien\\Ext.dll");
    registrar.AddSubstitution(u"Module_Raw", u"C:\\Program Files\\O'Brien\\Ext.dll");
    registrar.AddSubstitution(u"Empty", u"");
    registrar.AddSubstitution(u"Nested", u"%Module% } { HKCR '");
}

void RunChecked(CRegObject& registrar, CMemoryRegistry& registry, const std::u16string& strText, bool bRegister,
                bool bPerUser)
{
    registrar.RunScript(strText.c_str(), bRegister, bPerUser);
    if (registry.OpenHandleCount() != 0)
        std::abort(); // a key handle was not closed
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    if (cbData == 0)
        return 0;
    const uint8_t nMode = pData[0];
    const std::u16string strText = DecodeFuzzText(pData + 1, cbData - 1, (nMode & 1) != 0);
    const bool bPerUser = (nMode & 2) != 0;

    CMemoryRegistry registry;
    SeedRegistry(registry);
    CRegObject registrar(registry);
    AddSubstitutions(registrar);

    RunChecked(registrar, registry, strText, true, bPerUser);
    if (nMode & 4)
        RunChecked(registrar, registry, strText, true, bPerUser);
    RunChecked(registrar, registry, strText, false, bPerUser);
    return 0;
}
