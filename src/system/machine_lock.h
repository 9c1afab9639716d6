// The one named lock that every command changing the machine holds while it runs, in the
// window and in quellin-cli alike, so that two of them never interleave their steps, and the
// private namespace that keeps it and the single-instance record out of other users' reach.
#pragma once

#include <string>

#include "platform/handle.h"
#include "platform/shared_memory.h"
#include "platform/types.h"

namespace quellin::system {

// The namespace's alias and boundary name. Only a token with the Administrators group enabled
// can create it, and its access list opens it to Administrators and SYSTEM only, so nobody
// else can make, hold or plant an object in it.
inline constexpr const char* kNamespaceName = "Quellin";
// Full access for Administrators and SYSTEM, nobody else; no inherited entries.
inline constexpr const char* kAdministratorsOnly = "D:P(A;;GA;;;BA)(A;;GA;;;SY)";
inline constexpr const char* kMachineLockName = "SystemChange";
// Where the system has no private namespaces (Wine), the lock is this global mutex, made with
// the same access list: a squatter can then keep commands waiting, but never let one run
// unlocked.
inline constexpr const char* kFallbackMachineLockName = "Global\\Quellin.SystemChange";

// This process's handle to the namespace, made or opened.
class AdministratorsNamespace {
  public:
    AdministratorsNamespace();
    // False when it could be neither made nor opened; Error() then says why: ERROR_ACCESS_DENIED
    // for a caller without the Administrators group enabled, ERROR_CALL_NOT_IMPLEMENTED on a
    // system without private namespaces.
    bool Valid() const { return handle_.valid(); }
    win::DWORD Error() const { return error_; }
    // "Quellin\<name>", the name of an object in the namespace.
    static std::string ObjectName(const std::string& name);

  private:
    win::UniqueNamespace handle_;
    win::DWORD error_ = 0;
};

class MachineLock {
  public:
    // Waits up to `milliseconds` for the lock. Held() is false when another holder kept it that
    // long, or when it could not be made or opened: Error() is then Windows' code, never 0.
    explicit MachineLock(win::DWORD milliseconds);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    bool Held() const { return owned_; }
    win::DWORD Error() const { return error_; }

  private:
    AdministratorsNamespace namespace_;
    win::UniqueHandle mutex_;
    bool owned_ = false;
    win::DWORD error_ = 0;
};

// The sentence that ends a command whose lock could not be made; the caller adds Windows' code.
inline constexpr const char* kMachineLockFailure =
    "the lock that keeps Quellin's commands apart could not be made, so nothing was changed";

}  // namespace quellin::system
