# Collects the source lists of every part of the extension. "Portable" files
# use no Windows header and also build natively (sanitizers, fuzzers).
#
# The core parts make the static library that every front end links; the
# classic parts are the context-menu DLL's own: its COM class and its
# self-registration.
set(ORVANE_CORE_PARTS core settings icons menu diagnostics module)
set(ORVANE_CLASSIC_PARTS registration contextmenu)
foreach(group CORE CLASSIC)
    set(ORVANE_${group}_PORTABLE_SOURCES)
    set(ORVANE_${group}_WINDOWS_SOURCES)
    foreach(part ${ORVANE_${group}_PARTS})
        if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${part}/sources.cmake)
            include(${CMAKE_CURRENT_LIST_DIR}/${part}/sources.cmake)
            string(TOUPPER ${part} PART)
            list(APPEND ORVANE_${group}_PORTABLE_SOURCES ${${PART}_PORTABLE_SOURCES})
            list(APPEND ORVANE_${group}_WINDOWS_SOURCES ${${PART}_WINDOWS_SOURCES})
        endif()
    endforeach()
endforeach()
set(ORVANE_PORTABLE_SOURCES ${ORVANE_CORE_PORTABLE_SOURCES} ${ORVANE_CLASSIC_PORTABLE_SOURCES})
