// The program's general error class: what a handler raises and does not catch ends in the
// application's error box with the error's text.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/types.h"

namespace quellin::system {

class SystemError : public std::runtime_error {
  public:
    SystemError(win::DWORD code, const std::string& text) : std::runtime_error(text), code_(code) {}
    win::DWORD code() const { return code_; }

  private:
    win::DWORD code_;
};

// Raises the calling thread's last system error as "System Error.  Code: N.\r\n<text>".
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(win::DWORD code);

}  // namespace quellin::system
