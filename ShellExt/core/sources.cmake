orvane_sources(CORE_PORTABLE_SOURCES BoundedText.cpp TraceLine.cpp)
# The load configuration that Control Flow Guard needs, in the builds that use it.
set(core_guard_sources)
if(ORVANE_CONTROL_FLOW_GUARD)
    set(core_guard_sources LoadConfig.c)
endif()
orvane_sources(CORE_WINDOWS_SOURCES ModulePath.cpp ${core_guard_sources})
