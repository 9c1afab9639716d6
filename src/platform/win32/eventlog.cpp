#include "platform/eventlog.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace quellin::platform {

HANDLE RegisterEventSourceA(const std::string& serverName, const std::string& sourceName) {
    return native::Layer(::RegisterEventSourceA(native::OrNull(serverName), sourceName.c_str()));
}

BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId,
                  const std::vector<std::string>& strings) {
    if (strings.size() > 0xFFFF) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::vector<const char*> pointers;
    for (const std::string& s : strings)
        pointers.push_back(s.c_str());
    return ::ReportEventA(native::Native(eventLog), type, category, eventId, nullptr,
                          static_cast<::WORD>(pointers.size()), 0,
                          pointers.empty() ? nullptr : pointers.data(), nullptr) != FALSE;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    return ::DeregisterEventSource(native::Native(eventLog)) != FALSE;
}

}  // namespace quellin::platform
