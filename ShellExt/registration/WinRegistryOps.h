#pragma once

// The Windows registry behind IRegistryOps. Stateless: construct one where a
// registrar needs it, e.g.
//     CWinRegistryOps ops;
//     CRegObject registrar(ops);

#include "RegistryOps.h"

class CWinRegistryOps final : public IRegistryOps
{
public:
    RegKeyHandle GetRootKey(RegRootKey root) const override;
    int32_t OpenKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess, RegKeyHandle* phKey) override;
    int32_t CreateKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nAccess, RegKeyHandle* phKey) override;
    int32_t CloseKey(RegKeyHandle hKey) override;
    int32_t SetValue(RegKeyHandle hKey, const char16_t* pszName, uint32_t nType, const uint8_t* pbData,
                     uint32_t cbData) override;
    int32_t DeleteValue(RegKeyHandle hKey, const char16_t* pszName) override;
    int32_t EnumSubKey(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName) override;
    int32_t QuerySubKeyCount(RegKeyHandle hKey, uint32_t* pnSubKeys) override;
    int32_t EnumValue(RegKeyHandle hKey, uint32_t nIndex, char16_t* pszName, uint32_t* pcchName, uint32_t* pnType,
                      uint8_t* pbData, uint32_t* pcbData) override;
    int32_t DeleteSubKey(RegKeyHandle hParent, const char16_t* pszSubKey, uint32_t nView) override;
    int32_t ParseUI4(const char16_t* pszText, uint32_t* pnValue) override;
};
