# Registry-script interpreter. The portable sources have no Windows headers
# and also build natively (unit tests, sanitizers, fuzzing); the Windows
# sources are the registry backend, the resource loader and the DLL's
# self-registration with its type library.
set(REGISTRATION_PORTABLE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RegScript.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegSnapshot.cpp
)

set(REGISTRATION_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/WinRegistryOps.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResourceScript.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Registration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TypeLibrary.cpp
)
