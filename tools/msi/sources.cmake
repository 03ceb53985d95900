# The generator of the installer's registry rows. Platform-free: it runs on
# the build machine, over the DLL that goes into the package.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
orvane_sources(MSI_PORTABLE_SOURCES PeResource.cpp TypeLibFile.cpp TypeLibKeys.cpp WixRegistry.cpp)
list(APPEND MSI_PORTABLE_SOURCES ${TOOLS_COMMON_PORTABLE_SOURCES})
