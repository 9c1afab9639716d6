// The printer's description and capabilities document as a fresh installation writes them.
#pragma once

#include <string>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

std::string SeedMergedDescription();
std::string SeedCapabilities();

}  // namespace quellin::platform::sim
