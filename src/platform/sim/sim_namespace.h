// The simulated backend's namespace, and the short name that tests and tools call it by.
#pragma once

namespace quellin::platform::sim {}

namespace quellin {
namespace sim = platform::sim;
}  // namespace quellin
