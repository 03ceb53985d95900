// `OrvaneShellExt.exe status [--json]`: what the machine has for the
// extension and what is wrong with it, one finding per line with its fix.
#pragma once

#include <vector>

#include "ShellExt/companion/StatusFindings.h"

// Exit code when at least one finding is a fault; none gives kCompanionDone.
const int kStatusFoundFaults = 1;
// Exit code when the status could not be gathered or written (out of memory,
// anything thrown on the way): one line says so.
const int kStatusFailed = 3;

int RunStatusVerb(int nArgs, wchar_t** ppszArgs);

// The one option of status and repair: --json. False for anything else.
bool ReadJsonOption(int nArgs, wchar_t** ppszArgs, bool& bJson) noexcept;

// Probes and judges the machine now and writes vecFindings followed by the
// findings, as text or JSON; the exit code is status's, whatever
// vecFindings holds.
int ReportStatus(bool bJson, std::vector<Finding> vecFindings) noexcept;
