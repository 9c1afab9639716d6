// The single-instance guard: an 8-byte named shared record, shared by every instance started
// from the same executable file, holding the window of the instance that holds the slot
// (offset 0) and the number of instances holding one (offset 4).
#pragma once

#include <string>

#include "platform/handle.h"
#include "platform/shared_memory.h"
#include "platform/types.h"

namespace quellin::system {

// This process's view of the record; the slot it took goes back when the guard ends, however
// the program ended, or earlier through Release.
class InstanceGuard {
  public:
    InstanceGuard() = default;
    ~InstanceGuard() { Release(); }
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // True when another instance holds the slot; it has then been restored and brought to the
    // front, and the caller must end at once. Raises SystemError when the record cannot be
    // made.
    bool Activate(win::HWND window, int maxInstances);

    // Gives the slot back, once; later calls do nothing.
    void Release();

  private:
    win::UniqueHandle mapping_;
    win::UniqueMappedView view_;
    bool counted_ = false;
};

// The record's name for an executable path: the path without its backslashes.
std::string InstanceMappingName(const std::string& executablePath);

}  // namespace quellin::system
