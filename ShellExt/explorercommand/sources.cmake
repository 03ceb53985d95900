# The Windows 11 top-level menu command, a DLL of its own (64-bit only).
orvane_sources(EXPLORERCOMMAND_WINDOWS_SOURCES ClassEntry.cpp CommandHandOff.cpp IconLocations.cpp
    MarkFileCommand.cpp ShellItemPaths.cpp SiteWindow.cpp SubCommands.cpp)
