// Test controls of the simulated Windows that have no Windows counterpart.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quellin::platform::sim {

// Files of this process whose name matches `nameMask` ("*.gpd") and that are opened after this
// call accept only `afterBytes` bytes in all; the write that goes past fails with
// ERROR_DISK_FULL, as a full disk would.
void InjectWriteFailure(const std::string& nameMask, std::uint64_t afterBytes);
void ClearInjectedFailures();

// Called with the path of each file-system call of this process that opens, lists or removes
// something by path, before the call looks at it: a test swaps a folder for a link there, as
// another process could between two calls. An empty function removes the hook.
void SetBeforePathHook(std::function<void(const std::string& windowsPath)> hook);

}  // namespace quellin::platform::sim
