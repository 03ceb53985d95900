orvane_sources(SETTINGS_PORTABLE_SOURCES ProductValueChoice.cpp SwitchPolicy.cpp)
orvane_sources(SETTINGS_WINDOWS_SOURCES Captions.cpp Elevation.cpp ProductPaths.cpp SharedValues.cpp Settings.cpp Switches.cpp)
