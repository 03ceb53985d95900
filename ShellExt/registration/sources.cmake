# Registry-script interpreter. The portable sources have no Windows headers
# and also build natively (unit tests, sanitizers, fuzzing); the Windows
# sources are the registry backend and the resource loader.
set(REGISTRATION_PORTABLE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RegScript.cpp
)

set(REGISTRATION_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/WinRegistryOps.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResourceScript.cpp
)
