// The one named lock that every command changing the machine holds while it runs, in the
// window and in quellin-cli alike, so that two of them never interleave their steps.
#pragma once

#include "platform/handle.h"
#include "platform/types.h"

namespace quellin::system {

inline constexpr const char* kMachineLockName = "Global\\Quellin.SystemChange";

class MachineLock {
  public:
    // Waits up to `milliseconds` for the lock; Held() is false only when another holder kept
    // it that long.
    explicit MachineLock(win::DWORD milliseconds);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    bool Held() const { return held_; }

  private:
    win::UniqueHandle mutex_;
    bool owned_ = false;
    bool held_ = false;
};

}  // namespace quellin::system
