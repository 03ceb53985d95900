orvane_sources(CORE_PORTABLE_SOURCES BoundedText.cpp TraceLine.cpp)
orvane_sources(CORE_WINDOWS_SOURCES ModulePath.cpp PlainPathFile.cpp)
