#include "system/machine_lock.h"

#include "platform/processes.h"
#include "platform/security.h"

namespace quellin::system {

AdministratorsNamespace::AdministratorsNamespace() {
    win::HANDLE descriptor = win::CreateBoundaryDescriptorA(kNamespaceName, 0);
    if (!descriptor) {
        error_ = win::GetLastError();
        return;
    }
    const bool added = win::AddSIDToBoundaryDescriptor(
        &descriptor, win::SID{win::SECURITY_NT_AUTHORITY,
                              {win::SECURITY_BUILTIN_DOMAIN_RID, win::DOMAIN_ALIAS_RID_ADMINS}});
    error_ = added ? 0 : win::GetLastError();
    win::UniqueBoundaryDescriptor boundary(descriptor);
    if (!added)
        return;
    const win::SECURITY_ATTRIBUTES attributes{kAdministratorsOnly};
    // Another process may make the namespace, or give up the last handle to it, between the
    // two calls; a few rounds settle it.
    for (int round = 0; round < 5 && !handle_; ++round) {
        handle_.reset(win::CreatePrivateNamespaceA(&attributes, boundary.get(), kNamespaceName));
        error_ = handle_ ? 0 : win::GetLastError();
        if (error_ != win::ERROR_ALREADY_EXISTS)
            break;
        handle_.reset(win::OpenPrivateNamespaceA(boundary.get(), kNamespaceName));
        error_ = handle_ ? 0 : win::GetLastError();
        if (error_ != win::ERROR_FILE_NOT_FOUND && error_ != win::ERROR_PATH_NOT_FOUND)
            break;
    }
}

std::string AdministratorsNamespace::ObjectName(const std::string& name) {
    return std::string(kNamespaceName) + "\\" + name;
}

MachineLock::MachineLock(win::DWORD milliseconds) {
    const win::SECURITY_ATTRIBUTES attributes{kAdministratorsOnly};
    if (namespace_.Valid()) {
        mutex_.reset(
            win::CreateMutexA(&attributes, AdministratorsNamespace::ObjectName(kMachineLockName)));
    } else if (namespace_.Error() == win::ERROR_CALL_NOT_IMPLEMENTED) {
        mutex_.reset(win::CreateMutexA(&attributes, kFallbackMachineLockName));
    } else {
        error_ = namespace_.Error();
        return;
    }
    if (!mutex_) {
        error_ = win::GetLastError();
        return;
    }
    const win::DWORD waited = win::WaitForMutex(mutex_.get(), milliseconds);
    // An owner that ended without releasing leaves the machine to the next command.
    owned_ = waited == win::WAIT_OBJECT_0 || waited == win::WAIT_ABANDONED;
    if (waited == win::WAIT_FAILED)
        error_ = win::GetLastError();
}

MachineLock::~MachineLock() {
    if (owned_)
        win::ReleaseMutex(mutex_.get());
}

}  // namespace quellin::system
