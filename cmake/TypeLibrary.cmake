# The DLL's type library, compiled from IDL by widl for the build's own
# architecture (the system kind, win64 or win32, is part of the library).
#
#   orvane_build_type_library(<target> <idl file> <output .tlb>)
#       Defines the utility target <target> that writes <output .tlb>. The IDL
#       imports stdole2.tlb, which widl reads from Wine's system folder of the
#       same architecture, so IUnknown and IDispatch stay references into it.
include_guard(GLOBAL)

function(orvane_build_type_library TARGET IDL_FILE OUTPUT_FILE)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(triple x86_64-w64-mingw32)
        set(widl_arch --win64)
        set(stdole_dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
    else()
        set(triple i686-w64-mingw32)
        set(widl_arch --win32)
        set(stdole_dir /usr/lib/i386-linux-gnu/wine/i386-windows)
        # Where 32-bit Wine cannot be installed, scripts/setup.sh leaves the
        # file from its package in the toolchain cache.
        set(cache "$ENV{ORVANE_TOOLCHAIN_CACHE}")
        if(NOT cache)
            set(cache "$ENV{HOME}/.cache/orvane-toolchain")
        endif()
        if(NOT EXISTS ${stdole_dir}/stdole2.tlb AND EXISTS ${cache}/wine-i386/stdole2.tlb)
            set(stdole_dir ${cache}/wine-i386)
        endif()
    endif()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    find_program(ORVANE_WIDL_${triple} NAMES ${triple}-widl REQUIRED NO_CMAKE_FIND_ROOT_PATH)
    if(NOT EXISTS ${stdole_dir}/stdole2.tlb)
        message(FATAL_ERROR "${stdole_dir}/stdole2.tlb is missing: the type library imports it "
                            "(install Wine for this architecture, see scripts/setup.sh)")
    endif()

    get_filename_component(idl_dir ${IDL_FILE} DIRECTORY)
    file(GLOB idl_imports ${idl_dir}/*.idl)
    add_custom_command(
        OUTPUT ${OUTPUT_FILE}
        COMMAND ${ORVANE_WIDL_${triple}} ${widl_arch} -t -I ${idl_dir} -L ${stdole_dir}
                -o ${OUTPUT_FILE} ${IDL_FILE}
        # widl notes the time of the build in the library, as text and as a
        # number: a fixed one instead, so that every build of the same source
        # gives the same library.
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/package/release.py widl-time ${OUTPUT_FILE}
        DEPENDS ${idl_imports}
        COMMENT "Compiling the type library ${IDL_FILE}"
        VERBATIM)
    add_custom_target(${TARGET} DEPENDS ${OUTPUT_FILE})
endfunction()
