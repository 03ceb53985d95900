# orvane_sources(<variable> <file>...): sets <variable> to the files, named
# relative to the folder of the list file that calls it (a part's
# sources.cmake), so that any CMakeLists.txt can include that file.
function(orvane_sources variable)
    set(files ${ARGN})
    list(TRANSFORM files PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
    set(${variable} ${files} PARENT_SCOPE)
endfunction()
