#pragma once

// Finds a resource in a Windows DLL's bytes without loading the DLL, so that
// a Linux build can read the registry scripts and the type library that the
// shipped DLL itself carries.

#include <cstdint>
#include <string>
#include <vector>

// A resource type or name: a number, or a string compared without regard to
// case (resource compilers store named types in upper case).
struct PeResourceKey
{
    uint16_t nId = 0;
    std::u16string strName; // used when not empty
};

// The bytes of the first language of resource (type, name); throws when the
// file is no PE image or has no such resource.
std::vector<uint8_t> ReadPeResource(const std::vector<uint8_t>& vecImage, const PeResourceKey& type,
                                    const PeResourceKey& name);
