// What `OrvaneShellExt.exe repair` may put right for the user who runs it,
// and what it leaves to an administrator, decided from the plain record of
// `status` (StatusRecord.h). Platform-free, so that every rule can be tried
// from a table. Repair never writes outside this user's registry hive.
#pragma once

#include <vector>

#include "ShellExt/companion/StatusFindings.h"
#include "ShellExt/companion/StatusRecord.h"

struct RepairPlan
{
    // This user's Windows 11 package is missing or points nowhere: remove it
    // and add it again, as register-user does.
    bool bRegisterPackage = false;
    // A per-user installation whose class registration in this user's hive
    // is missing or names another file: register the DLL beside this
    // program for this user again.
    bool bRegisterUserServer = false;
    // The menu-handler entry Explorer sees is missing or names another
    // class: write HKCU\Software\Classes\*\shellex\ContextMenuHandlers\Orvane.
    bool bWriteUserMenuHandler = false;
    // What only an administrator can change, each with the command to run.
    std::vector<Finding> vecLeftToAdministrator;
};

RepairPlan PlanRepair(const StatusRecord& record);

// Whether the installation is this user's own: the DLL beside this program
// is not what the machine-wide registration names.
bool IsPerUserInstallation(const StatusRecord& record);

// The note that status appends to the fix of a fault repair mends.
extern const char16_t kRepairMends[];
