set(MODULE_PORTABLE_SOURCES)
orvane_sources(MODULE_WINDOWS_SOURCES ClassFactory.cpp ComObject.cpp Guids.cpp Module.cpp)
# The in-process server exports every DLL of the product answers with.
orvane_sources(MODULE_EXPORT_SOURCES Exports.cpp)
# The entry point lives only in the DLL: test programs link the rest.
orvane_sources(MODULE_DLL_ONLY_SOURCES DllMain.cpp)
