# Byte-identical output from any checkout folder and at any time: no build
# path reaches a binary (file names in debug information and in __FILE__ are
# relative to the checkout), and the linker writes no time of its own into
# the PE headers and the export directory. GNU ld leaves those time stamps
# 0; lld's /Brepro writes a hash of the output there instead, as MSVC does.
# The PE checksum is computed over the file, so it follows.
add_compile_options(
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/="
    "-ffile-prefix-map=${CMAKE_BINARY_DIR}/=")
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_link_options("LINKER:--Xlink=-Brepro")
else()
    add_link_options("LINKER:--no-insert-timestamp")
endif()
