// 8.3 aliases of the sandbox's files, as a test gave them (control.h AddShortName).
#pragma once

#include <string>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

// The path with every part that is a known alias replaced by its long name; parts without
// one, and paths that name no drive, stay as they are.
std::string ExpandShortNames(const std::string& windowsPath);

}  // namespace quellin::platform::sim
