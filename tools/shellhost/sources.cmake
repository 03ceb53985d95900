# The shell host. "Portable" files use no Windows header and are also tested
# natively.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
set(SHELLHOST_PORTABLE_SOURCES
    ${TOOLS_COMMON_PORTABLE_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/CommandManifest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostOptions.cpp)
set(SHELLHOST_WINDOWS_SOURCES
    ${TOOLS_COMMON_WINDOWS_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/CommandSite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandTree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HandlerLookup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MenuShow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MenuTree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellHostMain.cpp)
