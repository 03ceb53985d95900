# Identifiers of the product that more than one build step needs. Kept here
# once: the code gets them through generated headers, the packaging scripts
# read them from this file.

# The Windows 11 top-level menu command (an Explorer command). It is declared
# in the sparse package's manifest and never written to the registry; it
# follows the product's class numbering (7C1E2B40 ... 7C1E2B45 are taken).
set(ORVANE_EXPLORER_COMMAND_CLSID "7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01")
set(ORVANE_EXPLORER_COMMAND_DLL_NAME "OrvaneShlExtCmd64F")
# The same command built for Windows on ARM64, where Explorer loads only
# ARM64 code.
set(ORVANE_EXPLORER_COMMAND_DLL_NAME_ARM64 "OrvaneShlExtCmdA64F")

# The classic handler's DLL, one per processor.
set(ORVANE_CLASSIC_DLL_NAME_X64 "OrvaneShlExt64F")
set(ORVANE_CLASSIC_DLL_NAME_X86 "OrvaneShlExt32F")
set(ORVANE_CLASSIC_DLL_NAME_ARM64 "OrvaneShlExtA64F")

# The sparse package's identity name (its manifest and every registration
# and removal of it name the package so).
set(ORVANE_PACKAGE_NAME "Kelvoss.Orvane.ShellExt")

# The Active Setup component through which a per-machine installation
# registers the sparse package for each user at that user's next logon, and
# after the uninstallation removes it again.
set(ORVANE_ACTIVE_SETUP_GUID "8A68A37C-FD28-4047-BF38-ACD1A1BFD8E9")
