// The type library SimpleExtLib that the DLL carries as "TYPELIB" resource 1:
// loading it from the module's file and registering it machine-wide or for
// the current user.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <string>
#include <vector>

// Index of the extension's '.' in pszPath, or of its terminator when the file
// name has no extension (a '.' in a folder name does not count).
size_t FindPathExtension(const wchar_t* pszPath) noexcept;

// Loads the type library from the file of hInstTypeLib, or from the ".tlb"
// file of the same name beside it. On success the caller owns *ppTypeLib
// and *pbstrPath (the path that worked).
HRESULT LoadModuleTypeLib(HINSTANCE hInstTypeLib, BSTR* pbstrPath, ITypeLib** ppTypeLib) noexcept;

// bPerUser uses the per-user functions of OLEAUT32 where the system has them.
HRESULT RegisterModuleTypeLib(HINSTANCE hInstTypeLib, bool bPerUser) noexcept;
// A library version that is not registered counts as removed.
HRESULT UnRegisterModuleTypeLib(HINSTANCE hInstTypeLib, bool bPerUser) noexcept;

// The keys below a Classes root that registering the library and the classes
// it describes can write: TypeLib\{libid}, Interface\{iid} for each of its
// interfaces and CLSID\{clsid} for each of its classes (the registry scripts
// register exactly the classes the library describes).
HRESULT ListModuleTypeLibKeys(HINSTANCE hInstTypeLib, std::vector<std::u16string>& vecKeys) noexcept;
