# The shell host. "Portable" files use no Windows header and are also tested
# natively. They and the "shared" ones, the Explorer command's host side, are
# part of tools/common's orvane_host, which the benchmark, the fault sweep and
# the Windows tests link too.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
orvane_sources(SHELLHOST_PORTABLE_SOURCES CommandManifest.cpp HostOptions.cpp)
list(APPEND SHELLHOST_PORTABLE_SOURCES ${TOOLS_COMMON_PORTABLE_SOURCES})
orvane_sources(SHELLHOST_SHARED_SOURCES CommandSite.cpp CommandTree.cpp)
orvane_sources(SHELLHOST_WINDOWS_SOURCES HandlerLookup.cpp MenuShow.cpp MenuTree.cpp ShellHostMain.cpp)
