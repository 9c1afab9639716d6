#include "system/machine_lock.h"

#include "platform/processes.h"
#include "platform/sharedmemory.h"

namespace quellin::system {

MachineLock::MachineLock(win::DWORD milliseconds) : mutex_(win::CreateMutexA(kMachineLockName)) {
    if (!mutex_)
        return;
    const win::DWORD waited = win::WaitForMutex(mutex_, milliseconds);
    // An owner that ended without releasing leaves the machine to the next command.
    held_ = waited == win::WAIT_OBJECT_0 || waited == win::WAIT_ABANDONED;
}

MachineLock::~MachineLock() {
    if (held_)
        win::ReleaseMutex(mutex_);
    if (mutex_)
        win::CloseHandle(mutex_);
}

}  // namespace quellin::system
