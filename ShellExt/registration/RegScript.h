#pragma once

// The registrar: expands a registry script's substitutions and writes the tree
// of keys and values it describes (register) or removes it again (unregister).
// Platform-free: the registry is reached only through IRegistryOps, and text
// is UTF-16 in char16_t (the Windows glue reinterprets its wchar_t strings).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "RegHResults.h"
#include "RegistryOps.h"

// Same layout as a Windows GUID.
struct RegGuid
{
    uint32_t nData1;
    uint16_t nData2;
    uint16_t nData3;
    uint8_t rgData4[8];
};

// Internal interface of the registrar. It looks like a COM interface but is
// never handed to COM: the registrar lives on the stack of one registration
// step and does no reference counting.
class IRegistrarBase
{
public:
    virtual int32_t QueryInterface(const RegGuid& riid, void** ppvObject) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    virtual int32_t AddSubstitution(const char16_t* pszName, const char16_t* pszValue) = 0;
    virtual int32_t ClearSubstitutions() = 0;
    virtual ~IRegistrarBase() = default;
};

class CRegObject final : public IRegistrarBase
{
public:
    explicit CRegObject(IRegistryOps& ops) noexcept;

    CRegObject(const CRegObject&) = delete;
    CRegObject& operator=(const CRegObject&) = delete;

    int32_t QueryInterface(const RegGuid& riid, void** ppvObject) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

    // Appends a copy of both strings; E_INVALIDARG for a null one,
    // E_OUTOFMEMORY (map unchanged) when the copies cannot be made.
    int32_t AddSubstitution(const char16_t* pszName, const char16_t* pszValue) override;
    int32_t ClearSubstitutions() override;
    ~CRegObject() override;

    // Value of the first substitution whose name matches without regard to
    // case, or null.
    const std::u16string* FindSubstitution(std::u16string_view strName) const noexcept;

    // Replaces %name% and %% in pszText; in per-user mode also moves every
    // root written "HKCR" under HKEY_CURRENT_USER\Software\Classes.
    int32_t ExpandScript(const char16_t* pszText, bool bPerUser, std::u16string& strExpanded) const noexcept;

    // Expands pszText and writes (bRegister) or removes the tree it describes.
    // A registration that fails undoes the root block it failed in.
    int32_t RunScript(const char16_t* pszText, bool bRegister, bool bPerUser) noexcept;

private:
    IRegistryOps& m_ops;
    // Parallel arrays: m_vecValues[i] belongs to m_vecNames[i].
    std::vector<std::u16string> m_vecNames;
    std::vector<std::u16string> m_vecValues;
};

namespace RegScript {

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char16_t ch) noexcept;

// Case-insensitive comparison in the way the registry compares key names, for
// the characters that scripts use (ASCII and Latin-1 letters, plus the few
// non-ASCII letters whose upper case is an ASCII letter).
bool EqualsNoCase(std::u16string_view strA, std::u16string_view strB) noexcept;

// Names that ForceRemove and Delete never remove, in any letter case.
bool IsProtectedKeyName(std::u16string_view strName) noexcept;

// Deletes the named subkey of hParent with its whole subtree, in the view
// nView (RegAccess::kView64 or kView32; 0 for the process's own). Returns a
// Win32 error code; a subtree that cannot be deleted stops the walk.
int32_t DeleteKeyTree(IRegistryOps& ops, RegKeyHandle hParent, const char16_t* pszName, uint32_t nView = 0) noexcept;

} // namespace RegScript
