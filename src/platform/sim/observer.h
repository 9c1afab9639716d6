// Lets a scripted run see each launch as it happens, beside the launch log.
#pragma once

#include <functional>
#include <string>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

using LaunchObserver =
    std::function<void(const std::string& verb, const std::string& file,
                       const std::string& parameters, const std::string& directory, int show)>;

// Called on every program start and address opened through the shell; an empty one clears it.
void SetLaunchObserver(LaunchObserver observer);

}  // namespace quellin::platform::sim
