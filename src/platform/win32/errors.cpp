#include "platform/types.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

DWORD GetLastError() {
    return ::GetLastError();
}

void SetLastError(DWORD code) {
    ::SetLastError(code);
}

std::string FormatSystemMessage(DWORD code) {
    char* text = nullptr;
    ::DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : std::string();
    if (text)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

BOOL CloseHandle(HANDLE handle) {
    return ::CloseHandle(native::Native(handle)) != FALSE;
}

}  // namespace quellin::platform
