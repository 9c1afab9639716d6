// What the repair sequences would do, read without doing it: the plan --check reports, and the
// lists from which a real run reports what it removed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/health.h"
#include "repair/sequences.h"

namespace quellin::cli {

struct Plan {
    std::vector<std::string> steps;    // in the order they would run
    std::vector<std::string> writes;   // files that would be written
    std::vector<std::string> deletes;  // files and folders that would be deleted
    std::vector<JobFact> jobs;         // jobs that would be removed
};

// The plan of sequence `mode`, with the files that exist now.
Plan PlanSequence(int mode, const repair::RepairSettings& settings);

// Every file and folder below `folder` (contents before their folder), skipping names that
// begin with "." when `skipDotNames` (the temp clean-up leaves them). Empty when the folder
// is missing.
std::vector<std::string> ListTree(const std::string& folder, bool skipDotNames,
                                  win::DWORD wow64KeyFlag);

// Every printer's jobs, in one list.
std::vector<JobFact> AllJobs();

// The plan of removing the printer: its queue folder with its files, and its jobs.
Plan PlanPrinterRemoval(const std::string& printer, win::DWORD wow64KeyFlag);

// What a run removed of what it planned to, and what it left.
struct Removal {
    std::size_t deleted = 0, jobsRemoved = 0;
    std::vector<std::string> left;  // paths still there
    std::vector<JobFact> jobsLeft;  // jobs still queued
};
// After a run: the paths of `before` that are gone (result "deleted") and the jobs of `jobs`
// no longer queued (result "jobsRemoved").
Removal ReportRemoved(const std::vector<std::string>& before, const std::vector<JobFact>& jobs,
                      Reporter& reporter);

// Why a path a run meant to delete is still there: the refusal an open for deletion meets,
// through no link, with the user's own rights outside the job folder; none when it opens.
std::optional<win::DWORD> WhyNotDeleted(const std::string& path);

// A key's tree as text, values and subkeys in the registry's order, "[path] missing" when it
// cannot be opened: two readings differ when the tree changed.
std::string RegistryTreeText(win::HKEY root, const std::string& path);

// A servicing tool's exit code as the error it stands for: none for success, for a tool that
// could not be started (-1), and for 3010, which means done and asks for a restart.
Json ToolErrorJson(std::int32_t exitCode);

struct SequenceVerdict {
    int exitCode = kExitDone;
    std::optional<win::DWORD> windowsError;
};
// An install or reinstall's result from the printer's presence afterwards and the servicing
// tool's exit codes: 3010 from the tool means done but a restart is required; a missing
// printer is a refusal carrying the first failing code of the tool.
SequenceVerdict JudgeInstall(bool printerPresent, const std::vector<std::int32_t>& toolCodes);

}  // namespace quellin::cli
