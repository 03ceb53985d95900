# The Explorer command's identifiers for C++: a header generated from
# cmake/ProductIds.cmake, so the class identifier and the DLL's name are
# written only there. Sets ORVANE_COMMAND_GENERATED, the include directory
# that holds ShellExt/explorercommand/CommandIds.h.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/ProductIds.cmake)
if(ORVANE_TARGET_ARM64)
    set(ORVANE_EXPLORER_COMMAND_DLL_NAME ${ORVANE_EXPLORER_COMMAND_DLL_NAME_ARM64})
endif()

# "7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01" -> {0x7C1E2B46, 0x3A5D, 0x4E8F, {0x9B, 0x16, ...}}
function(orvane_guid_initializer TEXT OUT)
    string(REPLACE "-" "" hex "${TEXT}")
    string(SUBSTRING "${hex}" 0 8 data1)
    string(SUBSTRING "${hex}" 8 4 data2)
    string(SUBSTRING "${hex}" 12 4 data3)
    set(bytes "")
    foreach(offset RANGE 16 30 2)
        string(SUBSTRING "${hex}" ${offset} 2 byte)
        list(APPEND bytes "0x${byte}")
    endforeach()
    list(JOIN bytes ", " bytes)
    set(${OUT} "{0x${data1}, 0x${data2}, 0x${data3}, {${bytes}}}" PARENT_SCOPE)
endfunction()

orvane_guid_initializer(${ORVANE_EXPLORER_COMMAND_CLSID} ORVANE_EXPLORER_COMMAND_CLSID_INIT)
set(ORVANE_COMMAND_GENERATED ${CMAKE_BINARY_DIR}/generated/explorercommand)
configure_file(${PROJECT_SOURCE_DIR}/ShellExt/explorercommand/CommandIds.h.in
    ${ORVANE_COMMAND_GENERATED}/ShellExt/explorercommand/CommandIds.h @ONLY)
