# OrvaneShellExt.exe: one file per verb, and the table that lists them.
# "Portable" files use no Windows header and also build natively.
set(COMPANION_PORTABLE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/StatusFindings.cpp)
set(COMPANION_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CompanionMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HandOffVerb.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UserRegistration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatusProbe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatusVerb.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VerbOutput.cpp)
