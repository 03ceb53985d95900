// Resource identifiers of the registration data, shared by Scripts.rc and the
// code that loads it.
#pragma once

// "REGISTRY" scripts.
#define IDR_MODULE_SCRIPT 101        // the module's own entries ("CompReg Class")
#define IDR_SIMPLESHLEXT_SCRIPT 106  // the extension class and its menu handler

// "TYPELIB": LoadTypeLib on the DLL's path finds the library under id 1.
#define IDR_TYPELIB 1
