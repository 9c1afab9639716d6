// Switching off a 32-bit program's file-system redirection on 64-bit Windows, so that the
// system folder names the native 64-bit one (its servicing tool, its spool folder).
#pragma once

namespace quellin::system {

// The kernel's switches, looked up once through the library table; false when missing.
bool DisableFsRedirection(void** oldValue);
bool RevertFsRedirection(void* oldValue);

// Redirection off for the life of the span when `active` (callers pass Wow64KeyFlag != 0),
// and back on at its end, whichever way the scope is left.
class FsRedirectionSpan {
  public:
    explicit FsRedirectionSpan(bool active);
    FsRedirectionSpan(const FsRedirectionSpan&) = delete;
    FsRedirectionSpan& operator=(const FsRedirectionSpan&) = delete;
    ~FsRedirectionSpan();

  private:
    bool active_ = false;
    void* oldValue_ = nullptr;
};

}  // namespace quellin::system
