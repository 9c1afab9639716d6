// The changing commands as a fleet's collector reads them: what --check plans is what the real
// run changes on the whole machine, the real run says changed exactly when something differs,
// and a repeat changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "backup/settings_backup.h"
#include "cli/repair_plan.h"
#include "cli_runner.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/registry.h"
#include "platform/sim/control.h"
#include "sandbox_fixture.h"

namespace quellin::cli {

namespace {

namespace fs = std::filesystem;

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Every file of drive C: by its Windows path in capitals, the settings keys and the printers'
// keys as text, and the sandbox's other records.
struct Machine {
    std::map<std::string, std::string> files, keys;
    std::set<std::string> records;
};

Machine Snapshot(const testsupport::ScopedSandbox& sandbox) {
    Machine machine;
    const fs::path drive = sandbox.root() / "drive_c";
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(drive)) {
        std::string path = "C:\\" + entry.path().lexically_relative(drive).string();
        std::replace(path.begin(), path.end(), '/', '\\');
        machine.files[Upper(path)] =
            entry.is_directory() ? "<folder>" : testsupport::ReadHostFile(entry.path()).value();
    }
    for (const backup::SettingsKey& key : backup::kSettingsKeys)
        machine.keys[Upper(std::string("HKEY_CURRENT_USER\\") + key.keyPath)] =
            RegistryTreeText(win::HKEY_CURRENT_USER, key.keyPath);
    machine.keys["printers"] = RegistryTreeText(
        win::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers");
    std::istringstream lines(sim::RecordsSnapshot());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("reg_", 0) != 0)
            machine.records.insert(line);
    return machine;
}

// The servicing tool's log and driver store are its own business.
bool ToolsOwn(const std::string& path) {
    return path.rfind("C:\\WINDOWS\\LOGS", 0) == 0 ||
           path.find("\\DRIVERSTORE") != std::string::npos;
}

std::set<std::string> Paths(const QJsonValue& list) {
    std::set<std::string> paths;
    for (const QJsonValue& path : list.toArray())
        paths.insert(Upper(Str(path)));
    return paths;
}

struct PlanCase {
    const char* name;
    std::function<std::shared_ptr<void>(testsupport::ScopedSandbox&)> setup;
    std::vector<std::string> args;
    int exitCode = 0;  // of the real run, and of --check when it can foresee it
    bool changes = true;
    const char* user = "admin";
    bool foreseen = true;  // no other program intervenes between --check and the run
};

class ChangingCommands : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ChangingCommands, CheckPlansTheRunsDifferenceAndARepeatChangesNothing) {
    const PlanCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    const std::shared_ptr<void> held = c.setup(sandbox);
    sim::Config config = sim::ReadConfig();
    config.user = c.user;
    sandbox.SetConfig(config);
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    std::vector<std::string> checkArgs = args;
    checkArgs.push_back("--check");
    const CliRun check = RunCli(checkArgs);
    EXPECT_EQ(check.exitCode, c.foreseen ? c.exitCode : 0) << check.out;
    const QJsonObject plan = check.Result().value("plan").toObject();
    const std::set<std::string> writes = Paths(plan.value("write"));
    const std::set<std::string> deletes = Paths(plan.value("delete"));
    const int plannedJobs = static_cast<int>(plan.value("jobs").toArray().size());
    bool system = false;  // the plan removes the printer or runs the servicing tool
    for (const QJsonValue& step : plan.value("steps").toArray())
        system = system || Str(step).rfind("delete the printer", 0) == 0 ||
                 Str(step).rfind("dism.exe", 0) == 0;

    const Machine before = Snapshot(sandbox);
    const CliRun run = RunCli(args);
    const Machine after = Snapshot(sandbox);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
    std::vector<std::string> differences;
    std::set<std::string> deleted;
    for (const auto& [path, bytes] : before.files) {
        const auto now = after.files.find(path);
        // The spooler takes a removed job's files with it.
        if (ToolsOwn(path) || (plannedJobs > 0 && !deletes.count(path) &&
                               path.rfind("C:\\WINDOWS\\SYSTEM32\\SPOOL\\PRINTERS\\", 0) == 0))
            continue;
        if (now == after.files.end())
            deleted.insert(path);
        else if (now->second != bytes) {
            EXPECT_TRUE(writes.count(path)) << path << " changed unplanned";
        }
        if (now == after.files.end() || now->second != bytes)
            differences.push_back(path);
    }
    for (const auto& [path, bytes] : after.files)
        if (!before.files.count(path) && !ToolsOwn(path)) {
            EXPECT_TRUE(writes.count(path)) << path << " made unplanned";
            differences.push_back(path);
        }
    for (const auto& [key, text] : before.keys)
        if (after.keys.at(key) != text) {
            EXPECT_TRUE(writes.count(key) || (key == "printers" && system)) << key;
            differences.push_back(key);
        }
    int jobsGone = 0;
    for (const std::string& record : before.records)
        if (!after.records.count(record)) {
            jobsGone += record.rfind("jobs|", 0) == 0;
            EXPECT_TRUE(record.rfind("jobs|", 0) == 0 || system) << record;
            differences.push_back(record);
        }
    if (c.exitCode == 0) {
        EXPECT_EQ(deleted, deletes);
        EXPECT_EQ(jobsGone, plannedJobs);
    } else {
        EXPECT_TRUE(std::includes(deletes.begin(), deletes.end(), deleted.begin(), deleted.end()));
    }
    EXPECT_EQ(run.json.value("changed").toBool(), !differences.empty()) << run.out;
    EXPECT_EQ(!differences.empty(), c.changes) << run.out;

    const CliRun again = RunCli(args);
    EXPECT_FALSE(again.json.value("changed").toBool()) << again.out;
    if (c.exitCode == 0) {
        EXPECT_EQ(again.exitCode, 0) << again.out;
    }
}

constexpr const char* kArchive = "C:\\Users\\User\\Documents\\s.roy";

void WriteTemp(testsupport::ScopedSandbox& sandbox, const std::string& folder) {
    testsupport::WriteHostFile(sandbox.HostPath(folder + "\\notes.txt"), "draft");
}

// An archive of the current settings, which then change in both driver files and one key.
std::shared_ptr<void> SettingsChanged(testsupport::ScopedSandbox&) {
    EXPECT_EQ(RunCli({"backup", kArchive}).exitCode, 0);
    EXPECT_EQ(RunCli({"paper", "set", "--sizes", "A4,A5", "--default", "A5"}).exitCode, 0);
    win::UniqueHKey key;
    win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "Printers\\Settings", 0, win::KEY_ALL_ACCESS,
                       key.put());
    const win::BYTE data[] = {'x', 0};
    win::RegSetValueExA(key.get(), "Microsoft Print to PDF", win::REG_SZ, data, 2);
    return nullptr;
}

// The archive as saved, with `edit` applied to its bytes.
auto Archive(std::function<void(std::string&)> edit) {
    return [edit](testsupport::ScopedSandbox& sandbox) -> std::shared_ptr<void> {
        EXPECT_EQ(RunCli({"backup", kArchive}).exitCode, 0);
        std::string bytes = testsupport::ReadHostFile(sandbox.HostPath(kArchive)).value();
        edit(bytes);
        testsupport::WriteHostFile(sandbox.HostPath(kArchive), bytes);
        return nullptr;
    };
}

std::shared_ptr<void> JobsAndTempFiles(testsupport::ScopedSandbox& sandbox) {
    sim::JobSpec spec;
    spec.printer = "Microsoft Print to PDF";
    spec.document = "payroll.docx";
    sim::AddJob(spec);
    WriteTemp(sandbox, sim::kTempFolder);
    WriteTemp(sandbox, sim::kSystemTempFolder);
    return nullptr;
}

// Another program holds a temp file open without letting it be deleted.
std::shared_ptr<void> TempFileHeld(testsupport::ScopedSandbox& sandbox) {
    JobsAndTempFiles(sandbox);
    const win::HANDLE file = win::CreateFileA(std::string(sim::kTempFolder) + "\\notes.txt",
                                              win::GENERIC_READ, 0, win::OPEN_EXISTING, 0);
    return std::shared_ptr<void>(file, [](win::HANDLE open) { win::CloseHandle(open); });
}

auto None = [](testsupport::ScopedSandbox&) -> std::shared_ptr<void> { return nullptr; };
const std::vector<std::string> kRestore = {"restore", kArchive};
const std::vector<std::string> kRestoreAsSystem = {"restore", kArchive, "--as-system"};

INSTANTIATE_TEST_SUITE_P(
    Cli, ChangingCommands,
    ::testing::Values(
        PlanCase{"RestoreChangedSettings", SettingsChanged, kRestore},
        PlanCase{"RestoreIdentical", Archive([](std::string&) {}), kRestore, 0, false},
        PlanCase{"RestoreEmptyArchive", Archive([](std::string& b) { b.clear(); }), kRestore, 5,
                 false},
        PlanCase{"RestoreTruncatedArchive", Archive([](std::string& b) { b.resize(300); }),
                 kRestore, 5, false},
        PlanCase{"RestoreDamagedEntry", Archive([](std::string& b) { b[40] ^= 0x55; }), kRestore, 5,
                 false},
        PlanCase{"RestoreAsSystem", SettingsChanged, kRestoreAsSystem, 0, true, "system"},
        PlanCase{"ClearQueue", JobsAndTempFiles, {"clear-queue"}},
        PlanCase{"ClearQueueEmpty", None, {"clear-queue"}, 0, false},
        PlanCase{"ClearQueueAsSystemEmptiesItsOwnTemp",
                 JobsAndTempFiles,
                 {"clear-queue"},
                 0,
                 true,
                 "system"},
        PlanCase{"ClearQueueWithAFileHeld", TempFileHeld, {"clear-queue"}, 4, true, "admin", false},
        PlanCase{"Uninstall", JobsAndTempFiles, {"uninstall"}},
        PlanCase{"UninstallKeepFeature", None, {"uninstall", "--keep-feature"}},
        PlanCase{"PaperSetAsSystem",
                 None,
                 {"paper", "set", "--sizes", "A4,LETTER", "--default", "A4"},
                 0,
                 true,
                 "system"},
        PlanCase{"Backup", None, {"backup", kArchive}}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; });

}  // namespace

}  // namespace quellin::cli
