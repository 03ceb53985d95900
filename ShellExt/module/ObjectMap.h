// The object map: one record per COM class that this module serves, with the
// functions that create, register and describe it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

// Makes one instance of a class (outer unknown for aggregation, IID, out-pointer).
using PfnCreateInstance = HRESULT (*)(IUnknown* pOuter, REFIID riid, void** ppv);
// Makes the class object that hands out instances through pfnCreateInstance.
using PfnCreateClassObject = HRESULT (*)(PfnCreateInstance pfnCreateInstance, REFIID riid, void** ppv);

// A component category that a class implements or requires.
struct ComponentCategoryEntry
{
    int nType;
    const GUID* pcatid;
};

struct ObjectMapEntry
{
    const CLSID* pclsid;
    // Runs the class's registry script, to register (true) or unregister.
    HRESULT (*pfnUpdateRegistry)(bool bRegister);
    // Null for a class that cannot be created from outside.
    PfnCreateClassObject pfnCreateClassObject;
    PfnCreateInstance pfnCreateInstance;
    // The cached class object's IUnknown, in EncodePointer form; null until
    // the first request for it succeeds.
    void* pCachedClassObject;
    const wchar_t* (*pfnGetDescription)();
    // The class's categories, ended by an entry with a null pcatid; or null.
    const ComponentCategoryEntry* (*pfnGetCategories)();
    // Called with true once the module is built and with false when it is torn down.
    void (*pfnOnModuleEvent)(bool bLoaded);
};

// The entry parts of a class with no description, no component categories
// and no interest in the module's events.
inline const wchar_t* NoClassDescription()
{
    return nullptr;
}

inline const ComponentCategoryEntry* NoClassCategories()
{
    return nullptr;
}

inline void IgnoreModuleEvent(bool /*bLoaded*/)
{
}

// The map, an array whose null entries are skipped, and its length. Defined
// (constant-initialised) by the front end the module is linked into, beside
// the class it serves.
extern ObjectMapEntry* const g_rgObjectMap[];
extern const size_t g_nObjectMapEntries;
