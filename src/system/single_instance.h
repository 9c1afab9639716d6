// The single-instance guard: an 8-byte shared record, shared by every instance started from the
// same executable file, holding the main window of the instance that holds the slot (offset 0)
// and the number of instances holding one (offset 4). The record lives in the administrators'
// private namespace, so no other user, and no process of the same user without elevation, can
// make it or write it.
#pragma once

#include <memory>
#include <string>

#include "platform/handle.h"
#include "platform/shared_memory.h"
#include "platform/types.h"
#include "system/machine_lock.h"

namespace quellin::system {

// This process's view of the record; the slot it took goes back when the guard ends, however
// the program ended, or earlier through Release.
class InstanceGuard {
  public:
    InstanceGuard() = default;
    ~InstanceGuard() { Release(); }
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // True when another instance holds the slot; its window has then been restored and brought
    // to the front if it is a window of this same program, and the caller must end at once.
    // Raises SystemError when the record cannot be made. A process without the Administrators
    // group enabled takes no slot and starts (to be refused by the administrator gate).
    bool Activate(win::HWND window, int maxInstances);

    // Names the window that a later start restores and raises, once the main window exists.
    void Publish(win::HWND window);

    // Gives the slot back, once; later calls do nothing.
    void Release();

  private:
    std::unique_ptr<AdministratorsNamespace> namespace_;
    win::UniqueHandle mapping_;
    win::UniqueMappedView view_;
    bool counted_ = false;
};

// A path without its backslashes.
std::string InstanceMappingName(const std::string& executablePath);

// The record's name for an executable: its long path (8.3 aliases expanded), case-folded, without
// its backslashes, so a start through an alias or in another letter case finds the first one.
std::string InstanceRecordName(const std::string& executablePath);

// Whether `window` belongs to a process running the executable at `executablePath`.
bool WindowOfProgram(win::HWND window, const std::string& executablePath);

}  // namespace quellin::system
