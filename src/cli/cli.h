// quellin-cli: every maintenance command of the program without a window, for administrators
// who run them from scripts, with exit codes and an optional JSON document on standard output.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "audit/audit.h"

namespace quellin::cli {

// The exit codes scripts test; the README and the JSON Schema carry the same table.
enum ExitCode : int {
    kExitDone = 0,
    kExitFinding = 1,             // a finding stands (status), or the command was refused
    kExitUsage = 2,               // bad command line, including a value the command refuses
    kExitNotAdministrator = 3,    // the program's "Permission denied." gate
    kExitSystemRefused = 4,       // Windows refused, or the result was not reached
    kExitFileError = 5,           // a file could not be read or written
    kExitCannotAssess = 6,        // status: not an administrator, or the spooler cannot be asked
    kExitBusy = 7,                // another command holds the machine
    kExitRestartRequired = 3010,  // done; the servicing tool asks for a restart (its own code)
};

// The version of the JSON document's shape; it grows only when a member changes its meaning
// or type, or disappears.
inline constexpr int kJsonSchemaVersion = 1;

// Runs one command line (the arguments after the program's name, in the ANSI code page): the
// result goes to `out` as lines, or as one JSON document with --json; progress lines and
// errors go to `err`. Both are ANSI text; the program's edge writes them in the terminal's
// encoding. Returns the exit code.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// A command line with an argument the code page cannot hold (`reason` says which, in ANSI):
// refused with exit 2, as one JSON document when the raw arguments hold --json, so a fleet's
// collector still gets a document.
int RefuseCommandLine(const std::string& reason, bool json, std::ostream& out, std::ostream& err);

// The id of the run in progress (a fresh GUID, as every document's "runId" names it), for
// whatever records the run elsewhere; empty outside a run.
std::string CurrentRunId();

// A line for a terminal or log: control characters as \n, \r, \t or \xHH.
using audit::ShowControls;

}  // namespace quellin::cli
