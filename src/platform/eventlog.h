// The event log: entries an application writes under its own source, which the installers
// register under HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<source> with the
// message file that holds the entries' texts.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace quellin::platform {

inline constexpr WORD EVENTLOG_SUCCESS = 0x0;
inline constexpr WORD EVENTLOG_ERROR_TYPE = 0x1;
inline constexpr WORD EVENTLOG_WARNING_TYPE = 0x2;
inline constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x4;
inline constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x8;
inline constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x10;

// The longest insertion string ReportEventA takes (Windows Vista and later).
inline constexpr std::size_t kEventStringLimit = 31839;

// A handle for writing to the log of `sourceName` on the server `serverName` (empty: this
// computer). A source that is not registered writes to the Application log, without texts.
// Null with ERROR_ACCESS_DENIED for the Security log, which only the system writes.
HANDLE RegisterEventSourceA(const std::string& serverName, const std::string& sourceName);

// Writes an entry at the end of the log: `type` one of the EVENTLOG_* types, `eventId` the
// message in the source's message file, `strings` its insertion strings (%1, %2, ...).
// The sandbox refuses a string longer than kEventStringLimit characters with
// ERROR_INVALID_PARAMETER, and a handle that is no event source with ERROR_INVALID_HANDLE.
BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId,
                  const std::vector<std::string>& strings);

BOOL DeregisterEventSource(HANDLE eventLog);

}  // namespace quellin::platform
