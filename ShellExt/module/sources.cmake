set(MODULE_PORTABLE_SOURCES)
set(MODULE_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ClassFactory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ComObject.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Guids.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Module.cpp)
# The in-process server exports every DLL of the product answers with.
set(MODULE_EXPORT_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Exports.cpp)
# The entry point lives only in the DLL: test programs link the rest.
set(MODULE_DLL_ONLY_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DllMain.cpp)
