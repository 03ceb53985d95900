// The registry entries a registration can touch, as text: every key under
// the given paths of the machine's and the user's Classes, in both registry
// views, with all values. Two snapshots are equal exactly when those parts
// of the registry are.
#pragma once

#include <string>
#include <vector>

std::string SnapshotRegistry(const std::vector<std::wstring>& vecKeys);

// The first line in which two snapshots differ, for a report.
std::string FirstDifference(const std::string& strBefore, const std::string& strAfter);

// Deletes the keys' trees from the machine's and the user's Classes, both views.
void RemoveRegistryKeys(const std::vector<std::wstring>& vecKeys);
// Makes the registration under the keys an older one from another folder:
// servers there (each class named with over 4 KiB of text), and the type
// library at version 0.9 from there.
void MakeOlderRegistration(const std::vector<std::wstring>& vecKeys);
