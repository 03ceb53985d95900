# Identifiers of the product that more than one build step needs. Kept here
# once: the code gets them through generated headers, the packaging scripts
# read them from this file.

# The Windows 11 top-level menu command (an Explorer command). It is declared
# in the sparse package's manifest and never written to the registry; it
# follows the product's class numbering (7C1E2B40 ... 7C1E2B45 are taken).
set(ORVANE_EXPLORER_COMMAND_CLSID "7C1E2B46-3A5D-4E8F-9B16-2D4F60A81C01")
set(ORVANE_EXPLORER_COMMAND_DLL_NAME "OrvaneShlExtCmd64F")

# The sparse package's identity name (the Publisher comes from the signing
# certificate). Windows lists the package for a user under this name.
set(ORVANE_PACKAGE_NAME "Kelvoss.Orvane.ShellExt")
