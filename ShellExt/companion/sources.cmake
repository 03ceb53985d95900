# OrvaneShellExt.exe: one file per verb, and the table that lists them.
set(COMPANION_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CompanionMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HandOffVerb.cpp)
