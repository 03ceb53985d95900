# Icon artwork generated at build time, and the test icon library built from it.
#
#   orvane_generate_icons(<outdir>)
#       Runs tools/icongen/gen_icons.py into <outdir> (swatch_300.ico ...
#       swatch_332.ico, logo_333.ico, testicl_00.ico ... testicl_09.ico).
#       Defines the target orvane_icons and sets ORVANE_ICON_DIR in the
#       caller's scope. Call it once, before the functions below.
#
#   orvane_use_generated_icons(<target> <rc file>...)
#       Lets the resource scripts of <target> (for the DLL: Icons.rc) find the
#       generated icons, and recompiles them when the icons change.
#
#   orvane_add_icon_library(<target> <output file>)
#       Builds the resource-only PE holding the test icons (for the tests'
#       "Main.icl") at <output file>, for the build's own architecture.
#       <target> is a utility target that is part of ALL.
include_guard(GLOBAL)

cmake_path(SET ORVANE_ICONGEN_SCRIPT NORMALIZE
           "${CMAKE_CURRENT_LIST_DIR}/../tools/icongen/gen_icons.py")
cmake_path(SET ORVANE_MAINICL_RC NORMALIZE
           "${CMAKE_CURRENT_LIST_DIR}/../tests/fixtures/mainicl/MainIcl.rc")

function(orvane_generate_icons OUTDIR)
    get_property(already GLOBAL PROPERTY ORVANE_ICON_DIR SET)
    if(already)
        message(FATAL_ERROR "orvane_generate_icons was called twice")
    endif()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    cmake_path(ABSOLUTE_PATH OUTDIR BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE)

    set(dll_icons "")
    foreach(id RANGE 300 332)
        list(APPEND dll_icons "${OUTDIR}/swatch_${id}.ico")
    endforeach()
    list(APPEND dll_icons "${OUTDIR}/logo_333.ico")
    set(test_icons "")
    foreach(index RANGE 0 9)
        list(APPEND test_icons "${OUTDIR}/testicl_0${index}.ico")
    endforeach()

    add_custom_command(
        OUTPUT ${dll_icons} ${test_icons}
        COMMAND "${Python3_EXECUTABLE}" "${ORVANE_ICONGEN_SCRIPT}" "${OUTDIR}"
        DEPENDS "${ORVANE_ICONGEN_SCRIPT}"
        COMMENT "Generating the icon artwork"
        VERBATIM)
    add_custom_target(orvane_icons DEPENDS ${dll_icons} ${test_icons})

    set_property(GLOBAL PROPERTY ORVANE_ICON_DIR "${OUTDIR}")
    set_property(GLOBAL PROPERTY ORVANE_DLL_ICONS "${dll_icons}")
    set_property(GLOBAL PROPERTY ORVANE_TEST_ICL_ICONS "${test_icons}")
    set(ORVANE_ICON_DIR "${OUTDIR}" PARENT_SCOPE)
endfunction()

function(_orvane_require_generated_icons)
    get_property(icon_dir GLOBAL PROPERTY ORVANE_ICON_DIR)
    if(NOT icon_dir)
        message(FATAL_ERROR "call orvane_generate_icons before using the generated icons")
    endif()
endfunction()

function(orvane_use_generated_icons TARGET)
    _orvane_require_generated_icons()
    get_property(icon_dir GLOBAL PROPERTY ORVANE_ICON_DIR)
    get_property(dll_icons GLOBAL PROPERTY ORVANE_DLL_ICONS)
    target_include_directories(${TARGET} PRIVATE "$<$<COMPILE_LANGUAGE:RC>:${icon_dir}>")
    if(ARGN)
        set_property(SOURCE ${ARGN} TARGET_DIRECTORY ${TARGET}
                     APPEND PROPERTY OBJECT_DEPENDS ${dll_icons})
    endif()
    add_dependencies(${TARGET} orvane_icons)
endfunction()

function(orvane_add_icon_library TARGET OUTPUT_FILE)
    _orvane_require_generated_icons()
    if(NOT CMAKE_RC_COMPILER)
        message(FATAL_ERROR "orvane_add_icon_library needs a Windows resource compiler")
    endif()
    get_property(icon_dir GLOBAL PROPERTY ORVANE_ICON_DIR)
    get_property(test_icons GLOBAL PROPERTY ORVANE_TEST_ICL_ICONS)
    cmake_path(ABSOLUTE_PATH OUTPUT_FILE BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE)
    set(resource_object "${CMAKE_CURRENT_BINARY_DIR}/${TARGET}.res.o")

    # Named explicitly so that a windres of the other architecture still
    # writes an object that this build's linker accepts.
    set(rc_flags)
    if(CMAKE_SYSROOT)
        set(rc_flags --preprocessor-arg=--sysroot=${CMAKE_SYSROOT})
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(object_format pe-i386)
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(ARM64|aarch64|arm64)$")
        # llvm-windres knows no BFD name for ARM64; it takes the triple.
        set(object_format ${CMAKE_CXX_COMPILER_TARGET})
    else()
        set(object_format pe-x86-64)
    endif()

    add_custom_command(
        OUTPUT "${resource_object}"
        COMMAND "${CMAKE_RC_COMPILER}" -F ${object_format} -O coff ${rc_flags}
                -I "${icon_dir}" -i "${ORVANE_MAINICL_RC}" -o "${resource_object}"
        DEPENDS "${ORVANE_MAINICL_RC}" ${test_icons}
        COMMENT "Compiling the test icon library's resources"
        VERBATIM)
    # A DLL image with resources only: no code, no C runtime, no entry point.
    # A fixed image base and no time stamp keep the file byte-for-byte the same
    # from build to build.
    # GNU ld takes "-e 0" as the address 0, that is no entry point; lld
    # reads a symbol name there, and takes an empty one as "no entry".
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(link_flags --target=${CMAKE_CXX_COMPILER_TARGET} -fuse-ld=lld -Wl,--entry=)
    else()
        set(link_flags -Wl,-e,0 -Wl,--disable-auto-image-base)
    endif()
    cmake_path(GET OUTPUT_FILE PARENT_PATH output_dir)
    add_custom_command(
        OUTPUT "${OUTPUT_FILE}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_dir}"
        COMMAND "${CMAKE_CXX_COMPILER}" -shared -nostdlib -s ${link_flags} -Wl,--no-insert-timestamp
                -o "${OUTPUT_FILE}" "${resource_object}"
        DEPENDS "${resource_object}"
        COMMENT "Linking the test icon library ${OUTPUT_FILE}"
        VERBATIM)
    add_custom_target(${TARGET} ALL DEPENDS "${OUTPUT_FILE}")
    add_dependencies(${TARGET} orvane_icons)
endfunction()
