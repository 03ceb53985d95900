# Registry-script interpreter. The portable sources have no Windows headers
# and also build natively (unit tests, sanitizers, fuzzing); the Windows
# sources are the registry backend, the resource loader and the DLL's
# self-registration with its type library.
orvane_sources(REGISTRATION_PORTABLE_SOURCES RegScript.cpp RegSnapshot.cpp)
orvane_sources(REGISTRATION_WINDOWS_SOURCES WinRegistryOps.cpp ResourceScript.cpp Registration.cpp TypeLibrary.cpp)
