# The shell host. "Portable" files use no Windows header and are also tested
# natively. They and the "shared" ones, the Explorer command's host side, are
# part of tools/common's orvane_host, which the benchmark, the fault sweep and
# the Windows tests link too.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
set(SHELLHOST_PORTABLE_SOURCES
    ${TOOLS_COMMON_PORTABLE_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/CommandManifest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostOptions.cpp)
set(SHELLHOST_SHARED_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CommandSite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandTree.cpp)
set(SHELLHOST_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/HandlerLookup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MenuShow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MenuTree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellHostMain.cpp)
