# The Windows 11 top-level menu command, a DLL of its own (64-bit only).
set(EXPLORERCOMMAND_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ClassEntry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandHandOff.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IconLocations.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MarkFileCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellItemPaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SiteWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SubCommands.cpp)
