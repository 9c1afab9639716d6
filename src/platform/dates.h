// The local date and time.
#pragma once

#include "platform/types.h"

namespace quellin::platform {

void GetLocalTime(SYSTEMTIME* time);
void GetSystemTimeAsFileTime(FILETIME* time);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

}  // namespace quellin::platform
