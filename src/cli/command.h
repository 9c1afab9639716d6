// What every command of quellin-cli shares: its parsed command line, the failure it may end
// with, and the reporter that collects its result for either form of output.
#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/health.h"
#include "cli/json.h"
#include "cli/remedy.h"
#include "platform/types.h"

namespace quellin::cli {

struct Invocation {
    std::string command;                        // "status", "paper set", "job pause"
    std::map<std::string, std::string> values;  // --name value
    std::set<std::string> flags;                // --name
    std::vector<std::string> positionals;
    bool json = false;
    bool check = false;  // --check: say what would be done, change nothing

    bool Has(const std::string& flag) const { return flags.count(flag) > 0; }
    std::optional<std::string> Value(const std::string& name) const;
};

// Ends a command with an exit code other than 0, a message and, where Windows or the program
// gave one, the error code and the command that mends it.
class CommandFailure : public std::runtime_error {
  public:
    CommandFailure(int exitCode, const std::string& message,
                   std::optional<win::DWORD> windowsError = std::nullopt,
                   std::optional<Remedy> remedy = std::nullopt)
        : std::runtime_error(message),
          exitCode(exitCode),
          windowsError(windowsError),
          remedy(std::move(remedy)) {}
    int exitCode;
    std::optional<win::DWORD> windowsError;
    std::optional<Remedy> remedy;
};

// A bad command line, or a value the command refuses (exit 2).
inline CommandFailure UsageError(const std::string& message) {
    return CommandFailure(kExitUsage, message);
}

// {"code", "hex", "text"} of a Windows error code or HRESULT; one that wraps a Windows error
// (0x8007xxxx) reads as that error.
Json WindowsErrorJson(win::DWORD code);
std::string WindowsErrorText(win::DWORD code);

class Reporter {
  public:
    Reporter(std::ostream& err, bool json, bool quiet = false)
        : err_(err), json_(json), quiet_(quiet) {}

    // A progress line on standard error, in both forms of output, unless --quiet.
    void Progress(const std::string& line);
    // A line of the human-readable result on standard output (unused with --json).
    void Line(const std::string& line) { lines_.push_back(line); }

    // The command's result members of the JSON document.
    Json data = Json::Object();
    // The exit code of a command that ends normally: 0, 1 for a finding, 6, or 3010.
    int exitCode = kExitDone;
    // True once something on the machine changed.
    bool changed = false;
    // --check: the command reports its plan instead of acting.
    bool check = false;

    const std::vector<std::string>& Lines() const { return lines_; }
    bool json() const { return json_; }
    bool quiet() const { return quiet_; }
    std::ostream& errorStream() const { return err_; }

  private:
    std::ostream& err_;
    bool json_;
    bool quiet_;
    std::vector<std::string> lines_;
};

using Handler = void (*)(const Invocation&, Reporter&);

// Shared steps of the commands.
// Raises the "Permission denied." failure (exit 3) unless the process is an administrator.
// A command that changes the machine then takes the machine's command lock (not under
// --check), waiting as long as --wait allows, else it ends with exit 7.
void RequireAdministrator();
// The lock step alone, for a changing command that needs no administrator.
void HoldMachine();
// A path the command line gives, as the logic names it: a Windows path as given, anything else
// a path of the machine the command runs on, made absolute.
std::string CommandLinePath(const std::string& argument);
inline constexpr const char* kMachineBusyText =
    "another Quellin command is changing this machine; try again when it has finished";
// For a command that reads the machine to judge it: true when another command holds the lock
// for longer than --wait. Otherwise the lock is held until the command ends, so no change
// begins while it reads; a lock that cannot be made, or a caller not allowed in it, is no
// reason to stop reading.
bool MachineBusy();

// Runs a remedy's command line in this process as one step of the running command, under its
// lock; its progress goes to the same stream and its human lines into `parent`'s.
struct RemedyRun {
    int exitCode = kExitDone;
    bool changed = false;
    std::optional<CommandFailure> failure;
};
RemedyRun RunRemedy(const Remedy& remedy, Reporter& parent);

// The options status and repair share.
Expect ExpectOption(const Invocation& invocation);
unsigned StuckAfterOption(const Invocation& invocation);
// 256 under 64-bit Windows, else 0: the main window's Wow64KeyFlag.
win::DWORD Wow64KeyFlag();

// The commands, one handler each.
void StatusCommand(const Invocation&, Reporter&);
void RepairCommand(const Invocation&, Reporter&);
void JobsCommand(const Invocation&, Reporter&);
void JobControlCommand(const Invocation&, Reporter&);
void InstallCommand(const Invocation&, Reporter&);
void ReinstallCommand(const Invocation&, Reporter&);
void UninstallCommand(const Invocation&, Reporter&);
void ClearQueueCommand(const Invocation&, Reporter&);
void SpoolerCommand(const Invocation&, Reporter&);
void PaperListCommand(const Invocation&, Reporter&);
void PaperSetCommand(const Invocation&, Reporter&);
void PaperRestoreDefaultCommand(const Invocation&, Reporter&);
void ResolutionListCommand(const Invocation&, Reporter&);
void ResolutionSetCommand(const Invocation&, Reporter&);
void BackupCommand(const Invocation&, Reporter&);
void RestoreCommand(const Invocation&, Reporter&);

}  // namespace quellin::cli
