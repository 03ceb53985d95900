#pragma once

// The registry keys a registration is about to touch, saved beforehand so
// that a registration that fails can put every one of them back exactly:
// values with their types, subkeys, and keys that were missing missing again
// (with the parents that were made for them). Names below a saved key are
// compared exactly, so one that came back in another letter case is made
// again; a saved key itself that had to be made again takes the letter case
// of its path (the registry, COM and the shell ignore the case of names).
// Platform-free: the registry is reached only through IRegistryOps.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryOps.h"

struct RegSavedValue
{
    std::u16string strName; // empty: the key's default value
    uint32_t nType = 0;
    std::vector<uint8_t> vecData;
};

struct RegSavedKey
{
    std::u16string strName;
    std::vector<RegSavedValue> vecValues;
    std::vector<RegSavedKey> vecSubKeys;
};

bool operator==(const RegSavedValue& a, const RegSavedValue& b) noexcept;
bool operator==(const RegSavedKey& a, const RegSavedKey& b) noexcept;

class CRegistrySnapshot
{
public:
    explicit CRegistrySnapshot(IRegistryOps& ops) noexcept : m_ops(ops) {}

    CRegistrySnapshot(const CRegistrySnapshot&) = delete;
    CRegistrySnapshot& operator=(const CRegistrySnapshot&) = delete;

    // Room for nPlaces calls of Save without allocating again.
    int32_t Reserve(size_t nPlaces) noexcept;

    // Saves the key at strPath ('\'-separated, below root, at most
    // kMaxPathChars long) in the view nView (RegAccess::kView64, kView32 or 0)
    // with everything under it, or that it is missing and from which part of
    // its path on. Returns an HRESULT; a key that cannot be read fails,
    // because it could not be put back.
    int32_t Save(RegRootKey root, uint32_t nView, std::u16string_view strPath) noexcept;

    static constexpr size_t kMaxPathChars = 511;

    // Puts every saved key back as it was. Keys that are as they were are
    // only read, so places the registration did not touch need no write
    // access. Goes on past a failure and returns the first one (HRESULT).
    int32_t Restore() noexcept;

private:
    struct SavedPlace
    {
        RegRootKey root;
        uint32_t nView;
        std::u16string strPath;
        size_t cchThere; // how much of the path existed, up to a separator or the whole
        RegSavedKey key; // when all of it did
    };

    int32_t RestorePlace(const SavedPlace& place);
    int32_t RemoveMadeParents(const SavedPlace& place);

    IRegistryOps& m_ops;
    std::vector<SavedPlace> m_vecPlaces;
};
