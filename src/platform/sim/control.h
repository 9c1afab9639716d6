// Test controls of the simulated Windows that have no Windows counterpart.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// Files of this process whose name matches `nameMask` ("*.gpd") and that are opened after this
// call accept only `afterBytes` bytes in all; the write that goes past fails with
// ERROR_DISK_FULL, as a full disk would.
void InjectWriteFailure(const std::string& nameMask, std::uint64_t afterBytes);
void ClearInjectedFailures();

}  // namespace sim
