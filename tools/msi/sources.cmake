# The generator of the installer's registry rows. Platform-free: it runs on
# the build machine, over the DLL that goes into the package.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
set(MSI_PORTABLE_SOURCES
    ${TOOLS_COMMON_PORTABLE_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/PeResource.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TypeLibFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TypeLibKeys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WixRegistry.cpp)
