set(MODULE_PORTABLE_SOURCES)
set(MODULE_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ClassFactory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ComObject.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Exports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Guids.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Module.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ObjectMap.cpp)
# The entry point lives only in the DLL: test programs link the rest.
set(MODULE_DLL_ONLY_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DllMain.cpp)
