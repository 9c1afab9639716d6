// The health report of "quellin-cli status": what the machine has of "Microsoft Print to PDF"
// (optional feature, printer, port, spooler, registry values, driver files, the paper size and
// resolution features in both driver files, the jobs), read without changing anything, and
// the findings that say what is wrong and which command mends it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/json.h"
#include "cli/remedy.h"
#include "platform/types.h"

namespace quellin::cli {

struct Finding {
    std::string code;              // stable, for scripts: "printer-missing"
    std::string sentence;          // what is wrong, for people
    std::optional<Remedy> remedy;  // the command that mends it, none when no command does
};

// The state the administrator wants: the printer in working order, or removed on purpose.
enum class Expect { Present, Absent };

// Findings that mean the report could not be made, not that the machine is wrong.
inline constexpr const char* kNotAdministratorFinding = "not-administrator";
inline constexpr const char* kSpoolerUnavailableFinding = "spooler-unavailable";
inline constexpr const char* kFeatureUnknownFinding = "feature-unknown";
// The feature waits for a restart to finish enabling or disabling: no command mends that, and
// running the servicing tool again would only ask for the restart again.
inline constexpr const char* kRestartPendingFinding = "restart-pending";

// A value the report could not read carries the reason instead.
struct Unreadable {
    win::DWORD code = 0;  // Windows error or HRESULT; 0 when none applies
    std::string text;
};

struct FileFact {
    std::string path;
    bool exists = false;
};

// One option as a driver file offers it.
struct OfferedOption {
    std::string name;                 // description: option name; capabilities: element name
    std::string keyword;              // paper sizes: print-schema keyword; resolutions: empty
    std::optional<std::int64_t> dpi;  // resolutions
};

struct FeatureFacts {
    bool descriptionFound = false;   // the feature could be cut from the description
    bool capabilitiesFound = false;  // the element could be cut from the capabilities document
    std::vector<OfferedOption> description;
    std::string descriptionDefault;  // option name
    std::vector<OfferedOption> capabilities;
    std::string capabilitiesDefault;  // element name
    // Set when both sides could be read. Paper sizes: whether the editor, saving what it read,
    // would leave the capabilities document as it is.
    std::optional<bool> agree;
    // Paper sizes: the custom size in millimetres as the description holds it, when it can be
    // read from its own lines.
    std::optional<std::pair<std::int32_t, std::int32_t>> customSizeMm;
};

struct JobFact {
    win::DWORD id = 0;
    std::string machine, printer, document, owner, status;
    win::DWORD statusBits = 0, size = 0, pagesPrinted = 0;
    win::SYSTEMTIME submitted;
};

struct PrinterJobs {
    std::string printer;
    std::vector<JobFact> jobs;
};

// A job waiting longer than this, unless it is printing and has printed pages, is stuck.
inline constexpr unsigned kDefaultStuckAfterMinutes = 60;

struct HealthReport {
    Expect expect = Expect::Present;
    unsigned stuckAfterMinutes = kDefaultStuckAfterMinutes;
    win::FILETIME now;  // the clock when the jobs were read, UTC
    bool administrator = false;
    bool wow64 = false;

    std::string featureState;  // "Enabled", "Disabled", "DisabledWithPayloadRemoved", ...
    std::optional<Unreadable> featureError;

    std::string spoolerState;  // "running", "stopped", "start-pending", ...
    std::optional<Unreadable> spoolerError;

    std::optional<bool> printerPresent;  // unknown while the spooler does not answer
    std::string printerDriver, printerPort;
    std::optional<bool> portPresent;

    std::string queueFolderName, mergedConfigName, deviceCapabilitiesName;
    bool namesPlain = true;  // false: a name is a path, and the files are not looked at
    FileFact queueFolder, description, capabilities, cache;
    std::optional<Unreadable> descriptionError, capabilitiesError;

    FeatureFacts paperSizes, resolutions;
    std::vector<PrinterJobs> jobs;

    std::vector<Finding> findings;
    // Troubles outside "Microsoft Print to PDF" (another printer's job in error): information.
    std::vector<Finding> notes;

    bool Healthy() const { return findings.empty(); }
    bool CannotAssess() const;
    bool RestartPending() const;
    // 6 when it cannot assess, 3010 while a restart is pending, 1 for a finding, else 0.
    int ExitCode() const;
};

struct StateReading {
    std::string state;
    std::optional<Unreadable> error;  // set when the state could not be read
};
// The optional feature's state through the DISM API: "Enabled", "Disabled",
// "DisabledWithPayloadRemoved", ...
StateReading ReadFeatureState();
// The Spooler service's state: "running", "stopped", "start-pending", ...
StateReading ReadSpoolerState();

// The jobs of each printer, in the spooler's order; a printer that cannot be read has none.
std::vector<PrinterJobs> ReadJobs(const std::vector<std::string>& printers);
// The local printers and connections, as the job monitor watches them.
std::vector<std::string> AllPrinterNames();

// The paper size and resolution facts of the description's and the capabilities document's
// working texts (`capabilities` nullopt when there is none).
void ReadFeatureFacts(HealthReport& report, const std::string& description,
                      const std::optional<std::string>& capabilities);

// Gathers the report and its findings. Changes nothing; the message boxes the program's own
// functions would show go to the installed user interface.
HealthReport GatherHealthReport(Expect expect = Expect::Present,
                                unsigned stuckAfterMinutes = kDefaultStuckAfterMinutes);

// The findings the facts call for, in the order a reader should act on them, and the notes.
std::vector<Finding> DiagnoseFindings(const HealthReport& report);
std::vector<Finding> DiagnoseNotes(const HealthReport& report);

Json HealthReportJson(const HealthReport& report);
Json FindingsJson(const std::vector<Finding>& findings);
std::vector<std::string> HealthReportLines(const HealthReport& report);

// A job as the JSON documents show it.
Json JobJson(const JobFact& job);

// "2026-03-05T14:07:09Z": job times are the spooler's UTC.
std::string IsoTime(const win::SYSTEMTIME& time);

}  // namespace quellin::cli
