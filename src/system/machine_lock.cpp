#include "system/machine_lock.h"

#include "platform/processes.h"
#include "platform/shared_memory.h"

namespace quellin::system {

MachineLock::MachineLock(win::DWORD milliseconds) : mutex_(win::CreateMutexA(kMachineLockName)) {
    // A process that may not create or open the lock (a standard user lacks the right to make
    // global objects) goes on without it: the lock keeps administrators' commands apart, and
    // such a process is refused by the administrator gate anyway.
    if (!mutex_) {
        held_ = true;
        return;
    }
    const win::DWORD waited = win::WaitForMutex(mutex_.get(), milliseconds);
    // An owner that ended without releasing leaves the machine to the next command.
    owned_ = waited == win::WAIT_OBJECT_0 || waited == win::WAIT_ABANDONED;
    held_ = owned_;
}

MachineLock::~MachineLock() {
    if (owned_)
        win::ReleaseMutex(mutex_.get());
}

}  // namespace quellin::system
