#pragma once

// The registry operations that the registry-script interpreter needs, behind a
// small interface without Windows headers. The Windows backend maps each one to
// the Reg* function of the same purpose; tests and the fuzzer use an in-memory
// registry. Every number below is the real Windows value (access masks, value
// types, Win32 error codes), so the Windows backend passes them straight through.

#include <cstdint>

#include "RegHResults.h"

// An open registry key. Opaque: the Windows backend stores an HKEY in it.
using RegKeyHandle = std::uintptr_t;
constexpr RegKeyHandle kNullRegKey = 0;

enum class RegRootKey
{
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users,
    PerformanceData,
    DynData,
    CurrentConfig,
};

namespace RegAccess {
constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;
constexpr uint32_t kCreateSubKey = 0x0004;
constexpr uint32_t kEnumerateSubKeys = 0x0008;
constexpr uint32_t kRead = 0x00020019;  // KEY_READ
constexpr uint32_t kWrite = 0x00020006; // KEY_WRITE
// A 64-bit system keeps two views of parts of the registry, one for each
// bitness of program. Either bit names the view outright; without one a key
// is reached in the calling process's own view.
constexpr uint32_t kView64 = 0x0100; // KEY_WOW64_64KEY
constexpr uint32_t kView32 = 0x0200; // KEY_WOW64_32KEY
} // namespace RegAccess

namespace RegValueType {
constexpr uint32_t kString = 1;      // REG_SZ
constexpr uint32_t kBinary = 3;      // REG_BINARY
constexpr uint32_t kDword = 4;       // REG_DWORD
constexpr uint32_t kMultiString = 7; // REG_MULTI_SZ
} // namespace RegValueType

namespace RegError {
constexpr int32_t kSuccess = 0;
constexpr int32_t kFileNotFound = 2;
constexpr int32_t kAccessDenied = 5;
constexpr int32_t kInvalidHandle = 6;
constexpr int32_t kOutOfMemory = 14;
constexpr int32_t kInvalidParameter = 87;
constexpr int32_t kMoreData = 234;
constexpr int32_t kNoMoreItems = 259;
constexpr int32_t kKeyDeleted = 1018;
} // namespace RegError

// Longest key name the registry stores, and the size of a buffer that holds
// one with its terminator.
constexpr uint32_t kRegMaxKeyNameChars = 255;
constexpr uint32_t kRegKeyNameBufferChars = kRegMaxKeyNameChars + 1;
// The same for value names.
constexpr uint32_t kRegValueNameBufferChars = 16384;

class IRegistryOps
{
public:
    virtual ~IRegistryOps() = default;

    // The predefined key; it is never closed.
    virtual RegKeyHandle GetRootKey(RegRootKey root) const = 0;

    // All operations below return a Win32 error code (0 on success). Out
    // handles are set to kNullRegKey on failure.

    // A null or empty pszSubKey opens a new handle to hParent itself.
    virtual int32_t OpenKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess,
                            RegKeyHandle* phKey) = 0;
    // Opens the key if it exists, creates it (non-volatile) otherwise.
    virtual int32_t CreateKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess,
                              RegKeyHandle* phKey) = 0;
    virtual int32_t CloseKey(RegKeyHandle hKey) = 0;

    // A null pszName is the key's default value.
    virtual int32_t SetValue(RegKeyHandle hKey, const char16_t* pszName, uint32_t nType,
                             const uint8_t* pbData, uint32_t cbData) = 0;
    virtual int32_t DeleteValue(RegKeyHandle hKey, const char16_t* pszName) = 0;

    // Name of the subkey at nIndex. *pcchName holds the buffer's size in
    // characters on entry and the name's length (without terminator) on return.
    virtual int32_t EnumSubKey(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName,
                               uint32_t* pcchName) = 0;
    virtual int32_t QuerySubKeyCount(RegKeyHandle hKey, uint32_t* pnSubKeys) = 0;

    // The value at nIndex: its name (as for EnumSubKey; the default value has
    // the empty name), type and data. *pcbData holds the buffer's size in
    // bytes on entry and the data's size on return, also with kMoreData when
    // the buffer is too small.
    virtual int32_t EnumValue(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName,
                              uint32_t* pnType, uint8_t* pbData, uint32_t* pcbData) = 0;

    // Deletes a subkey that has no subkeys of its own, in the view nView
    // (RegAccess::kView64 or kView32; 0 for the process's own).
    virtual int32_t DeleteSubKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nView) = 0;

    // Text to a 32-bit unsigned number as the OLE Automation conversion does it
    // (VarUI4FromStr with locale 0 and no flags). Returns an HRESULT.
    virtual int32_t ParseUI4(const char16_t* pszText, uint32_t* pnValue) = 0;
};

// Owns one open key of an IRegistryOps and closes it on every path.
class CScopedRegKey
{
public:
    explicit CScopedRegKey(IRegistryOps& ops) noexcept : m_pOps(&ops) {}
    ~CScopedRegKey() { Close(); }

    CScopedRegKey(const CScopedRegKey&) = delete;
    CScopedRegKey& operator=(const CScopedRegKey&) = delete;

    RegKeyHandle Get() const noexcept { return m_hKey; }
    bool IsOpen() const noexcept { return m_hKey != kNullRegKey; }

    // Closes what is held and hands out the slot for an Open/Create call.
    RegKeyHandle* Receive() noexcept
    {
        Close();
        return &m_hKey;
    }

    // Returns the Win32 error of the close; closing nothing succeeds.
    int32_t Close() noexcept
    {
        if (m_hKey == kNullRegKey)
            return RegError::kSuccess;
        const RegKeyHandle hKey = m_hKey;
        m_hKey = kNullRegKey;
        return m_pOps->CloseKey(hKey);
    }

private:
    IRegistryOps* m_pOps;
    RegKeyHandle m_hKey = kNullRegKey;
};
