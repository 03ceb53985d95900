# The reference main application. "Portable" files use no Windows header and
# are also tested natively.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
orvane_sources(REFAPP_PORTABLE_SOURCES IconFile.cpp RefAppCommand.cpp SelectionFileReader.cpp)
list(APPEND REFAPP_PORTABLE_SOURCES ${TOOLS_COMMON_PORTABLE_SOURCES})
orvane_sources(REFAPP_WINDOWS_SOURCES LibraryIcon.cpp RefAppLog.cpp RefAppMain.cpp)
