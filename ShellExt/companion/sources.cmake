# OrvaneShellExt.exe: one file per verb, and the table that lists them.
# "Portable" files use no Windows header and also build natively.
orvane_sources(COMPANION_PORTABLE_SOURCES RepairPlan.cpp StatusFindings.cpp)
orvane_sources(COMPANION_WINDOWS_SOURCES CompanionMain.cpp HandOffVerb.cpp RepairVerb.cpp UserRegistration.cpp StatusProbe.cpp
    StatusVerb.cpp VerbOutput.cpp)
