#include "system/errors.h"

namespace quellin::system {

void RaiseOSError(win::DWORD code) {
    throw SystemError(code, "System Error.  Code: " + std::to_string(code) + ".\r\n" +
                                win::FormatSystemMessage(code));
}

void RaiseLastOSError() {
    RaiseOSError(win::GetLastError());
}

}  // namespace quellin::system
