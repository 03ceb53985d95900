// What a leak would make grow: the process's GDI and USER objects, its kernel
// handles and its private memory. Windows reports each directly; Wine 8
// implements neither GetGuiResources nor the handle count nor PrivateUsage,
// so there the counts are taken by probing (see ResourceCounts.cpp).
#pragma once

#include <cstdint>
#include <string>

struct ResourceCounts
{
    long nGdiObjects = 0;
    long nUserObjects = 0;
    long nHandles = 0;
    uint64_t cbPrivate = 0;  // committed private memory, bytes
};

ResourceCounts SampleResources();

// The process's kernel handles by type ("Event 12, File 3, ..."), to tell
// what grew when the handle count did.
std::string DescribeHandleTypes();

// One line per count saying how it is taken in this process.
std::string DescribeResourceMethods();

// Makes and frees a known number of each kind and checks that every count
// sees them come and go; false (with the reason) when a count is blind.
bool SelfTestResourceCounts(std::string& strReport);
