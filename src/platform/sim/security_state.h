// The sandbox user's token as the rest of the simulated Windows consults it.
#pragma once

#include <string>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

// An administrator whose Administrators group is enabled (not deny-only).
bool TokenIsElevated();
// Whether the calling thread acts with an elevated administrator's rights: those of the token
// it impersonates, else the process's (SYSTEM's included).
bool ThreadIsElevated();
// Whether this process has enabled the privilege with AdjustTokenPrivileges.
bool PrivilegeEnabled(const std::string& name);
void DisableAllPrivileges();
// Whether someone can see and answer a box: not so for SYSTEM, whose session 0 has no user.
bool HasInteractiveDesktop();

}  // namespace quellin::platform::sim
