orvane_sources(SETTINGS_PORTABLE_SOURCES SwitchPolicy.cpp)
orvane_sources(SETTINGS_WINDOWS_SOURCES Captions.cpp ProductPaths.cpp SharedValues.cpp Settings.cpp Switches.cpp)
