orvane_sources(MENU_PORTABLE_SOURCES CommandPlacement.cpp DropList.cpp HandOffFormat.cpp MenuRows.cpp SelectionKey.cpp)
orvane_sources(MENU_WINDOWS_SOURCES ChosenItem.cpp CompanionStart.cpp DropSelection.cpp ExplorerStart.cpp HandOff.cpp
    HandOffTimer.cpp MenuItemRecord.cpp PendingHandOff.cpp SelectionFile.cpp)
