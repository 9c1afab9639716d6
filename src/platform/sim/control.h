// Test controls of the simulated Windows that have no Windows counterpart: how tests, the sandbox
// tool and the benchmarks set up and look at a sandbox. Everything here acts on the sandbox this
// process has open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

// ---- Files -------------------------------------------------------------------------------

// Files of this process whose name matches `nameMask` ("*.gpd") and that are opened after this
// call accept only `afterBytes` bytes in all; the write that goes past fails with
// ERROR_DISK_FULL, as a full disk would.
void InjectWriteFailure(const std::string& nameMask, std::uint64_t afterBytes);
void ClearInjectedFailures();

// Called with the path of each file-system call of this process that opens, lists or removes
// something by path, before the call looks at it: a test swaps a folder for a link there, as
// another process could between two calls. An empty function removes the hook.
void SetBeforePathHook(std::function<void(const std::string& windowsPath)> hook);

// The program runs from `windowsPath` ("C:\\Users\\User\\Downloads\\quellin.exe", or an 8.3
// alias or another letter case of its path) while this sandbox is open: GetModuleFileNameA names
// it, as Windows names the path the process was started through, and the shell looks in its
// folder first.
void SetProgramPath(const std::string& windowsPath);

// ---- Printers ----------------------------------------------------------------------------

// Installs a printer: the spooler's record, its port (a local one when missing) and its key
// under Print\Printers. A printer with PRINTER_ATTRIBUTE_SHARED is shared under its own name.
// False, and nothing changed, when a printer of that name exists.
bool AddPrinter(const std::string& name, const std::string& port = "nul:",
                const std::string& driver = "Microsoft Software Printer Driver",
                std::uint32_t attributes = 0x240 /* local, complete first */);

struct PrinterRecord {
    std::string name, port, driver;
    std::uint32_t attributes = 0;
    std::string share;
};
// The spooler's printers in installation order.
std::vector<PrinterRecord> Printers();

// Removes a printer the way the spooler does: its jobs and their files, its registry key, its
// Devices value and its V4Dirs queue folder. False when there is no such printer.
bool RemovePrinter(const std::string& name);

// The spooler loses its record of a printer while its registry key, files and jobs stay: damage
// that no Windows call leaves, for the repair to meet. False when there is no such printer.
bool ForgetPrinter(const std::string& name);

// Changes the attributes in the spooler's record only (PRINTER_ATTRIBUTE_*).
void SetPrinterAttributes(const std::string& name, std::uint32_t attributes);

// ---- Ports and drivers -------------------------------------------------------------------

// Adds a port unless one of that name (in any letter case) exists.
void AddPort(const std::string& name, const std::string& monitor = "Local Port");
// False when there is no such port.
bool RemovePort(const std::string& name);
// The monitor of a port, or nothing when there is no such port.
std::optional<std::string> PortMonitor(const std::string& name);

// Installed versions of a driver, in one environment ("Windows x64") or (empty) in all.
int DriverCount(const std::string& name, const std::string& environment = {});

// ---- Jobs --------------------------------------------------------------------------------

struct JobSpec {
    std::string printer;
    std::string document;
    std::string owner = "User";
    std::uint32_t size = 0;
    std::uint32_t pages = 1;
    std::uint32_t status = 0;
    std::string machine;  // empty: this computer
    // UTC milliseconds since 1970; none: now.
    std::optional<std::int64_t> submittedMs;
};

// Queues a job as the spooler does: a shadow file with its record and a spool file with `size`
// bytes in the job folder. While the spooler runs the job is listed at once; while it is
// stopped the files wait for its next start. Returns the job's id. Throws std::runtime_error
// for an unknown printer.
std::uint32_t AddJob(const JobSpec& spec);

// Puts jobs straight into the running spooler's list, in one transaction and without the files
// AddJob writes, so that a benchmark can have thousands; the spooler's next start forgets them.
// Each keeps its given `id`; its machine is named as AddJob names it; without a submission time
// it was submitted at 1970-01-01.
struct ListedJob {
    std::uint32_t id = 0;
    JobSpec spec;
    std::uint32_t pagesPrinted = 0;
};
void ListJobsDirectly(const std::vector<ListedJob>& jobs);

// ---- Services and optional features ------------------------------------------------------

// A hung service stays in its next pending state with a constant check point.
void SetServiceHung(const std::string& name, bool hung);
// Sets a service's state (SERVICE_STOPPED, ...) at once, as if it had always been so.
void SetServiceState(const std::string& name, std::uint32_t state);
// The wait hint the service reports until its state next changes.
void SetServiceWaitHint(const std::string& name, std::uint32_t waitHintMs);
// Installs a service in `state` that depends on `dependsOn` (none when empty), as the Fax
// service depends on the spooler. False when one of that name exists.
bool AddService(const std::string& name, std::uint32_t state, const std::string& dependsOn = {});
// The service is not installed at all. False when there is no such service.
bool RemoveService(const std::string& name);

// The state of an optional feature ("Enabled", "Disabled", "DisabledWithPayloadRemoved", or
// "EnablePending"/"DisablePending" while a change waits for a restart).
std::optional<std::string> FeatureState(const std::string& name);
void SetFeatureState(const std::string& name, const std::string& state);

// ---- The launch log ----------------------------------------------------------------------

// Each program started and address opened through the shell, oldest first; `result` is what
// became of a program start (none for an address or a start refused before it looked).
struct LaunchResult {
    std::string image;  // the program file the shell found, as the system folder really is
    bool elevated = false;
    std::int64_t error = 0;                // 0 when it started
    std::optional<std::int64_t> exitCode;  // none while it runs
};
struct LaunchEntry {
    std::string time, verb, file, parameters, directory;
    int show = 0;
    std::optional<LaunchResult> result;
};
std::vector<LaunchEntry> LaunchLog();

// ---- The event log -----------------------------------------------------------------------

// Each entry ReportEventA wrote, oldest first.
struct EventRecord {
    std::string time, source;
    std::uint16_t type = 0;
    std::uint32_t eventId = 0;
    std::vector<std::string> strings;
};
std::vector<EventRecord> EventLog();

// ---- Other processes' objects and starts -------------------------------------------------

// Who made an object that another process holds: the sandbox's user without elevation, the
// same user elevated, or another user of the machine.
enum class Maker { SameUser, SameUserElevated, OtherUser };

struct PlantedObject {
    // As the layer's calls take it. A name "P\N" lies in the private namespace P whose boundary
    // (named P) requires Administrators; the maker creates or opens it first.
    std::string name;
    Maker maker = Maker::SameUser;
    std::string securityDescriptor;  // "" for the maker's default access list
    // Empty: a mutex, owned by its maker when `owned`; else a mapping holding these bytes.
    std::vector<std::uint8_t> bytes;
    bool owned = true;
};

// Makes and holds the object as a process of its maker would, with that maker's rights, until
// the result is dropped. Null when the sandbox refused the maker (the last error says why).
std::shared_ptr<void> PlantObject(const PlantedObject& object);

// Gives the last part of an existing path an 8.3 alias ("QUELLI~1"), as the file system would.
void AddShortName(const std::string& longPath, const std::string& alias);

// ---- The whole machine -------------------------------------------------------------------

// Every record of the sandbox but its logs as text, one line a record in a fixed order, for
// comparing the machine before and after something that must not change it.
std::string RecordsSnapshot();

}  // namespace quellin::platform::sim
