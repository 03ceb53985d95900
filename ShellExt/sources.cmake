# Collects the source lists of every part of the extension. "Portable" files
# use no Windows header and also build natively (sanitizers, fuzzers).
set(ORVANE_PORTABLE_SOURCES)
set(ORVANE_WINDOWS_SOURCES)
foreach(part module settings contextmenu icons registration)
    if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${part}/sources.cmake)
        include(${CMAKE_CURRENT_LIST_DIR}/${part}/sources.cmake)
        string(TOUPPER ${part} PART)
        list(APPEND ORVANE_PORTABLE_SOURCES ${${PART}_PORTABLE_SOURCES})
        list(APPEND ORVANE_WINDOWS_SOURCES ${${PART}_WINDOWS_SOURCES})
    endif()
endforeach()
