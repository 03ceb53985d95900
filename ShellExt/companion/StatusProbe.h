// Fills the record of `OrvaneShellExt.exe status` from the machine: registry
// (both views, both scopes), files, signatures and the Windows version. Only
// reads; every value is read into a bounded buffer, and whatever cannot be
// read becomes a state in the record, never a failure.
#pragma once

#include "ShellExt/companion/StatusRecord.h"

// May throw std::bad_alloc.
StatusRecord ProbeStatus();
