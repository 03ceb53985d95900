// `OrvaneShellExt.exe status [--json]`: what the machine has for the
// extension and what is wrong with it, one finding per line with its fix.
#pragma once

// Exit code when at least one finding is a fault; none gives kCompanionDone.
const int kStatusFoundFaults = 1;
// Exit code when the status could not be gathered or written (out of memory,
// anything thrown on the way): one line says so.
const int kStatusFailed = 3;

int RunStatusVerb(int nArgs, wchar_t** ppszArgs);
