// The changing commands as a fleet's collector reads them: --check plans what the real run
// changes on the whole machine, changed says whether anything differs, a repeat changes nothing.
#include <gtest/gtest.h>

#include "backup/settings_backup.h"
#include "cli/repair_plan.h"
#include "cli_runner.h"
#include "platform/filesystem.h"
#include "platform/registry.h"
#include "platform/sim/control.h"
#include "platform/text.h"
#include "sandbox_fixture.h"

namespace quellin::cli {

namespace {

constexpr const char* kArchive = "C:\\Users\\User\\Documents\\s.roy";

// Every file of drive C: by its Windows path in capitals but the audit log's, the settings keys,
// the other records.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& drive) {
    std::map<std::string, std::string> machine;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(drive)) {
        std::string path = "C:\\" + entry.path().lexically_relative(drive).string();
        std::replace(path.begin(), path.end(), '/', '\\');
        path = win::UpperAnsi(path);
        if (!path.starts_with("C:\\PROGRAMDATA\\QUELLIN"))
            machine[path] = testsupport::ReadHostFile(entry.path()).value_or("");
    }
    for (const backup::SettingsKey& key : backup::kSettingsKeys)  // by content, not record ids
        machine[win::UpperAnsi(std::string("HKEY_CURRENT_USER\\") + key.keyPath)] =
            RegistryTreeText(win::HKEY_CURRENT_USER, key.keyPath);
    std::istringstream lines(sim::RecordsSnapshot());
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("reg_") && !line.ends_with("|32"))  // nor a file's archive bit
            machine["|" + line];
    return machine;
}

struct PlanCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode = 0;  // of the real run, and of --check unless another program intervenes
    const char* user = "admin";
    int queue = 0;  // 1: a job and a file in each temp folder; 2: another program holds one
    void (*archive)(std::string&) = nullptr;  // restore: what becomes of a fresh backup's bytes
    bool servicingRestart = false;            // the servicing tool asks for a restart
};

std::shared_ptr<void> Prepare(const PlanCase& c, testsupport::ScopedSandbox& sandbox) {
    if (c.archive) {
        RunCli({"backup", kArchive});
        std::string bytes = testsupport::ReadHostFile(sandbox.HostPath(kArchive)).value();
        c.archive(bytes);
        testsupport::WriteHostFile(sandbox.HostPath(kArchive), bytes);
    }
    if (c.queue == 0)
        return nullptr;
    sim::JobSpec job;
    job.printer = "Microsoft Print to PDF";
    sim::AddJob(job);
    for (const std::string folder : {sim::kTempFolder, sim::kSystemTempFolder})
        testsupport::WriteHostFile(sandbox.HostPath(folder + "\\notes.txt"), "draft");
    return c.queue == 1 ? nullptr
                        : std::shared_ptr<void>(
                              win::CreateFileA(std::string(sim::kTempFolder) + "\\notes.txt",
                                               win::GENERIC_READ, 0, win::OPEN_EXISTING, 0),
                              [](win::HANDLE file) { win::CloseHandle(file); });
}

class ChangingCommands : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ChangingCommands, CheckPlansTheRunsDifferenceAndARepeatChangesNothing) {
    const PlanCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    const std::shared_ptr<void> held = Prepare(c, sandbox);
    sim::Config config = sim::ReadConfig();
    config.user = c.user;
    config.servicingRestart = c.servicingRestart;
    sandbox.SetConfig(config);
    std::vector<std::string> checkArgs = c.args;
    checkArgs.push_back("--check");
    const CliRun check = RunCli(checkArgs);
    // Neither another program's hold nor the servicing tool's restart can be foreseen.
    EXPECT_EQ(check.exitCode, held || c.servicingRestart ? 0 : c.exitCode) << check.out;
    const QJsonObject plan = check.Result().value("plan").toObject();
    std::set<std::string> paths[2];  // written, deleted
    for (int i : {0, 1})
        for (const QJsonValue& path : plan.value(i == 0 ? "write" : "delete").toArray())
            paths[i].insert(win::UpperAnsi(Str(path)));
    // Removing the printer and the feature changes their records, spool and servicing logs.
    const bool system = Str(plan.value("steps").toArray().at(0)).starts_with("delete the printer");

    const auto before = Snapshot(sandbox.root() / "drive_c");
    const CliRun run = RunCli(c.args);
    const auto after = Snapshot(sandbox.root() / "drive_c");
    std::set<std::string> differ;
    for (const auto& [from, to] : {std::pair{&before, &after}, {&after, &before}})
        for (const auto& [key, value] : *from)
            if (!to->count(key) || to->at(key) != value)
                differ.insert(key);
    int jobsGone = 0;
    for (const std::string& key : differ) {
        jobsGone += key.starts_with("|jobs|") && !after.count(key);
        EXPECT_TRUE(paths[0].count(key) || paths[1].count(key) || key.starts_with("|jobs|") ||
                    (system && (key[0] == '|' || key.starts_with("C:\\WINDOWS\\"))))
            << key << " changed unplanned";
    }
    for (const std::string& path : paths[1])
        EXPECT_TRUE(c.exitCode != 0 || !after.count(path)) << path << " was not deleted";
    EXPECT_EQ(jobsGone, plan.value("jobs").toArray().size());
    EXPECT_FALSE(std::string(c.user) == "system" &&  // SYSTEM's temp folder is its own
                 paths[1].count(win::UpperAnsi(std::string(sim::kTempFolder) + "\\notes.txt")));
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
    EXPECT_EQ(run.json.value("changed").toBool(), !differ.empty()) << run.out;
    EXPECT_EQ(!differ.empty(), c.exitCode != kExitFileError);  // only a bad archive changes nothing
    const CliRun again = RunCli(c.args);
    EXPECT_FALSE(again.json.value("changed").toBool()) << again.out;
    EXPECT_EQ(again.exitCode, c.exitCode) << again.out;
}

const std::vector<std::string> kRestore = {"restore", kArchive, "--as-system", "--json"};

INSTANTIATE_TEST_SUITE_P(
    Cli, ChangingCommands,
    ::testing::Values(PlanCase{"RestoreChangedSettingsAsSystem", kRestore, 0, "system", 0,
                               [](auto&) {
                                   RunCli({"paper", "set", "--sizes", "A5", "--default", "A5"});
                               }},
                      PlanCase{"RestoreEmpty", kRestore, 5, "admin", 0, [](auto& b) { b = ""; }},
                      PlanCase{"RestoreCut", kRestore, 5, "admin", 0,
                               [](auto& b) { b.resize(99); }},
                      PlanCase{"RestoreDamaged", kRestore, 5, "admin", 0, [](auto& b) { b[40]++; }},
                      PlanCase{"ClearQueue", {"clear-queue", "--json"}, 0, "admin", 1},
                      PlanCase{"ClearQueueAsSystem", {"clear-queue", "--json"}, 0, "system", 1},
                      PlanCase{"ClearQueueWithAFileHeld", {"clear-queue", "--json"}, 4, "admin", 2},
                      PlanCase{"Uninstall", {"uninstall", "--json"}, 0, "admin", 1},
                      PlanCase{"UninstallAskingForARestart",
                               {"uninstall", "--json"},
                               3010,
                               "admin",
                               1,
                               nullptr,
                               true}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; });

}  // namespace

}  // namespace quellin::cli
