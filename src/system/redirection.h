// Switching off a 32-bit program's file-system redirection on 64-bit Windows, so that the
// system folder names the native 64-bit one (its servicing tool, its spool folder).
#pragma once

#include <functional>

namespace quellin::system {

// The kernel's switches, looked up once through the library table; false when missing.
bool DisableFsRedirection(void** oldValue);
bool RevertFsRedirection(void* oldValue);

// Redirection off for the life of the span when `active` (callers pass Wow64KeyFlag != 0),
// and back on at its end, whichever way the scope is left. Never hold one across a launch, a
// wait, a message pump or a shell operation.
class FsRedirectionSpan {
  public:
    explicit FsRedirectionSpan(bool active);
    FsRedirectionSpan(const FsRedirectionSpan&) = delete;
    FsRedirectionSpan& operator=(const FsRedirectionSpan&) = delete;
    ~FsRedirectionSpan();

    // Runs `work` with redirection back on, then off again: a window pump, a box or a shell
    // call inside the span loads libraries, which must come from the program's own system
    // folder. Only file-system calls belong inside a span.
    void WithRedirectionOn(const std::function<void()>& work);

  private:
    bool active_ = false;
    void* oldValue_ = nullptr;
};

}  // namespace quellin::system
