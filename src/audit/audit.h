// The audit trail: what the window and quellin-cli change on a machine, written to the
// Application event log under the source "Quellin" and to the log file
// %ProgramData%\Quellin\Logs\quellin.log. Recording never fails a command: an entry that cannot
// be written is dropped, and a log file that cannot be written is noted once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quellin::audit {

// The event IDs; the message table compiled into both executables holds a text for each, and
// the README lists them. Each ID has one type: the hundreds group them.
enum EventId : std::uint32_t {
    kRunStarted = 100,      // information
    kRunDone = 101,         // information: exit code 0 or 3010
    kRunRefused = 102,      // warning: a finding, a refusal, a usage error, busy
    kRunFailed = 103,       // error: Windows refused, a file error
    kProgramRun = 200,      // information: a program started elevated
    kProgramFailed = 201,   // error
    kServiceStopped = 300,  // information
    kServiceStarted = 301,  // information
    kServiceFailed = 302,   // error: a service did not reach the state asked for
    kPrinterRemoved = 400,  // information
    kPrinterAdded = 401,    // information
    kDriverRemoved = 402,   // information
    kPortAdded = 403,       // information
    kPrinterFailed = 404,   // error: a printer, driver or port could not be changed
    kFileWritten = 500,     // information: a file in the driver or spool folder
    kFileDeleted = 501,     // information
    kFolderEmptied = 502,   // information: the spool folder's jobs
    kFileFailed = 503,      // error
    kKeyRestored = 600,     // information
    kKeyFailed = 601,       // error
    kJobPaused = 700,       // information
    kJobResumed = 701,      // information
    kJobRestarted = 702,    // information
    kJobCancelled = 703,    // information
    kJobFailed = 704,       // error: the spooler refused
};

// The event log type of an ID (EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE or _ERROR_TYPE).
std::uint16_t EventType(EventId id);

// A line for a terminal or log: control characters as \n, \r, \t or \xHH.
std::string ShowControls(std::string_view text);

// A name as entries show it: in quotes, its control characters shown as ShowControls shows them.
std::string Quoted(std::string_view name);

// One run of the window or of a quellin-cli command, from its start to its end. Entries are
// recorded only while a run is open; its start and end are entries too. The log file is written
// only for an administrator: a standard user could otherwise be the first to make its folder.
class Run {
  public:
    // `program` "quellin" or "quellin-cli"; `runId` may be empty.
    Run(const std::string& program, const std::string& command, const std::string& version,
        const std::string& runId, bool administrator);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The run's end, with its exit code and outcome ("done", "refused", ...).
    void End(int exitCode, const std::string& outcome);

  private:
    bool ended_ = false;
};

// Records a change (or a failed one) of the open run; `text` says what, names through Quoted.
void Record(EventId id, const std::string& text);

// Where a log file that cannot be written is noted, once a run: quellin-cli's standard error.
// Without a sink it is ignored.
void SetNoteSink(std::function<void(const std::string&)> sink);

// The log file's name, the old files' names ("quellin.1.log" the newest), how many old files
// are kept, and the size at which the file is rotated.
inline constexpr const char* kLogFileName = "quellin.log";
inline constexpr int kOldLogFiles = 3;
inline constexpr std::int64_t kRotationBytes = 1024 * 1024;
inline constexpr const char* kEventSource = "Quellin";

}  // namespace quellin::audit
