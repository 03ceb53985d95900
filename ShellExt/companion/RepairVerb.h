// `OrvaneShellExt.exe repair [--json]`: puts right for the user who runs it
// what status finds wrong and this user may change (RepairPlan.h), names
// what only an administrator can change, then runs status and exits with
// its code. It writes nothing outside HKEY_CURRENT_USER and this user's
// package registration, and a second run changes nothing.
#pragma once

int RunRepairVerb(int nArgs, wchar_t** ppszArgs);
