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

// The same without private memory, with menus and icons as the only USER
// objects, and handles probed only as far as they are in use: cheap enough to
// take around every single call of code that creates no windows.
ResourceCounts SampleLeakCounts();

// The blocks in use in all of the process's heaps and their bytes. Unlike
// committed memory, these do not move when Wine's heap checking keeps extra
// memory of its own, so leak checks under that checking compare these.
struct HeapUsage
{
    long nBlocks = 0;
    uint64_t cbBusy = 0;
};

HeapUsage SampleHeapUsage();

// Under Wine's heap checking a freed block waits in a list of the last 1024
// before it is really freed, and counts as in use meanwhile. Freeing enough
// blocks of our own fills every heap's list once, so that later samples
// compare like with like (each new free then pushes an older one out).
void SettleHeapChecking();

// The process's kernel handles by type ("Event 12, File 3, ..."), to tell
// what grew when the handle count did.
std::string DescribeHandleTypes();

// One line per count saying how it is taken in this process.
std::string DescribeResourceMethods();

// Makes and frees a known number of each kind and checks that every count
// sees them come and go; false (with the reason) when a count is blind.
bool SelfTestResourceCounts(std::string& strReport);
