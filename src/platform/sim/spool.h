// The simulated service control manager and print spooler as the sandbox itself drives them:
// the sandbox tool, the emulated system tools and tests use these; the program only sees the
// win:: functions. All state lives in the sandbox database, so every process of a sandbox sees
// the same services, printers and jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/control.h"
#include "platform/sim/sim_namespace.h"
#include "platform/spooler.h"
#include "platform/types.h"

namespace quellin::platform::sim {

// ---- Services ----------------------------------------------------------------------------

struct ServiceStatus {
    std::string name;  // as installed ("Spooler")
    win::DWORD state = 0;
    win::DWORD checkPoint = 0;
    win::DWORD waitHint = 0;
};

// The service's status now. A pending state ends lazily, on the first look after its time is
// up; a spooler that reaches "running" re-reads its spool folder at that moment.
std::optional<ServiceStatus> QueryService(const std::string& name);

// Asks a service to start or stop. Returns ERROR_SUCCESS, ERROR_SERVICE_DOES_NOT_EXIST,
// ERROR_SERVICE_ALREADY_RUNNING (start while not stopped), ERROR_SERVICE_NOT_ACTIVE (stop while
// stopped) or ERROR_SERVICE_CANNOT_ACCEPT_CTRL (stop while a change is pending).
win::DWORD StartService(const std::string& name);
win::DWORD StopService(const std::string& name);
// The services that depend on `name`, directly or not, deepest first.
std::vector<std::string> DependentServices(const std::string& name);

// How long each change stays pending and the wait hint reported meanwhile, per the sandbox's
// service timing.
struct ServiceTiming {
    std::uint32_t stopPendingMs, stopHintMs, startPendingMs, startHintMs;
};
ServiceTiming CurrentServiceTiming();

// True when the Spooler service is running; otherwise sets RPC_S_SERVER_UNAVAILABLE.
bool SpoolerAvailable();
// Counts the spooler's starts; handles opened before the last start are stale.
std::int64_t SpoolerGeneration();

// ---- Spooler -----------------------------------------------------------------------------

inline constexpr const char* kSpoolJobFolder = "C:\\Windows\\System32\\spool\\PRINTERS";

void EnsureJobTable();

// The installed printer's name as the spooler spells it (names compare without regard to case).
std::optional<std::string> FindPrinter(const std::string& name);

// The spooler's jobs, of one printer or (empty name) of all, in queue order. Only meaningful
// while the spooler runs.
std::vector<win::JOB_INFO_2A> ListJobs(const std::string& printer);

// The user's default printer as Windows keeps it: the name before the first comma of HKCU
// "Software\Microsoft\Windows NT\CurrentVersion\Windows" "Device" ("name,winspool,port").
std::optional<std::string> DefaultPrinter();

// SetJobA's commands on a job of `printer`; sets the last error as SetJobA does.
win::BOOL ControlJob(const std::string& printer, win::DWORD jobId, win::DWORD command);

// Removes every version of a driver in every environment; false when none was installed.
bool RemoveDriver(const std::string& name);

// ---- Shell ---------------------------------------------------------------------------------

// Records what an emulated tool did that has no other trace (a dialog it opened).
void LogShellEvent(const std::string& source, const std::string& event, const std::string& detail);
// The shell's error box: shown through the user interface, or, with no interactive desktop,
// logged as a "hang" event (source "shell"); false then, and the caller gives up.
bool ShellErrorBox(HWND owner, const std::string& text, const std::string& caption);

struct ShellEvent {
    std::string time, source, event, detail;
};
std::vector<ShellEvent> ShellEvents();

// A 32-bit program on 64-bit Windows whose thread has redirection off loads the libraries that
// a shell call or the message pump needs for the first time from the native system folder,
// and the call fails with ERROR_BAD_EXE_FORMAT. True, with that last error and a shell event
// (source "loader", detail `call`), when the calling thread is in that state.
bool LoaderRefuses(const std::string& call);

}  // namespace quellin::platform::sim
