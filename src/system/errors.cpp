#include "system/errors.h"

namespace quellin::system {

void RaiseOSError(platform::DWORD code) {
    throw SystemError(code, "System Error.  Code: " + std::to_string(code) + ".\r\n" +
                                platform::FormatSystemMessage(code));
}

void RaiseLastOSError() {
    RaiseOSError(platform::GetLastError());
}

}  // namespace quellin::system
