#include "platform/dates.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

void GetLocalTime(SYSTEMTIME* time) {
    ::SYSTEMTIME now;
    ::GetLocalTime(&now);
    if (time)
        *time = native::Layer(now);
}

void GetSystemTimeAsFileTime(FILETIME* time) {
    ::FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    if (time)
        *time = native::Layer(now);
}

void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

DWORD GetTickCount() {
    return ::GetTickCount();
}

}  // namespace quellin::platform
