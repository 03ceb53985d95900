# The reference main application. "Portable" files use no Windows header and
# are also tested natively.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
set(REFAPP_PORTABLE_SOURCES
    ${TOOLS_COMMON_PORTABLE_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/IconFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RefAppCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SelectionFileReader.cpp)
set(REFAPP_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/LibraryIcon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RefAppLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RefAppMain.cpp)
