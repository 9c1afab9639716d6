// The contract scripts rely on: every run's --json document, whatever ends it, conforms to
// docs/quellin-cli.schema.json, and --check on a changing command leaves the machine exactly
// as it was and ends with the exit code of the real run.
#include <gtest/gtest.h>

#include <QFile>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "cli_runner.h"
#include "json_schema.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/spool.h"
#include "sandbox_fixture.h"

namespace quellin::cli {

namespace {

using cli::RunCli;

constexpr const char* kPrinter = "Microsoft Print to PDF";
constexpr const char* kFeature = "Printing-PrintToPDFServices-Features";

cli::SchemaChecker& Schema() {
    static cli::SchemaChecker checker = [] {
        QFile file(QUELLIN_CLI_SCHEMA);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return cli::SchemaChecker(QJsonDocument::fromJson(file.readAll()).object());
    }();
    return checker;
}

// The machine as a script could observe it: every record of the sandbox but its logs, and
// every file of drive C: with its bytes but the audit log's.
std::string Snapshot(const testsupport::ScopedSandbox& sandbox) {
    std::string text = sim::RecordsSnapshot();
    std::map<std::string, std::string> files;
    const std::filesystem::path shared = sandbox.root() / "drive_c" / "ProgramData";
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(sandbox.root() / "drive_c")) {
        const std::string path = entry.path().string();
        if (path == shared.string() || path.rfind((shared / "Quellin").string(), 0) == 0)
            continue;
        files[path] = entry.is_regular_file()
                          ? testsupport::ReadHostFile(entry.path()).value_or("?")
                          : std::string("<folder>");
    }
    for (const auto& [path, bytes] : files)
        text += path + "=" + std::to_string(std::hash<std::string>{}(bytes)) + "\n";
    return text;
}

void SetUser(testsupport::ScopedSandbox& sandbox, const char* user) {
    sim::Config config = sim::ReadConfig();
    config.user = user;
    sandbox.SetConfig(config);
}

win::DWORD RemoteJob(bool error) {
    sim::JobSpec spec;
    spec.printer = "Fax";
    spec.document = "payroll.docx";
    spec.machine = "LAPTOP-7";
    spec.status = error ? win::JOB_STATUS_ERROR : 0;
    return sim::AddJob(spec);
}

using Setup = std::function<void(testsupport::ScopedSandbox&)>;

struct ContractCase {
    const char* name;
    std::vector<std::string> args;  // "{job}" stands for the id the setup's job got
    Setup setup;
    int exitCode;
    bool changes = false;  // also run with --check
};

auto Fresh = [](testsupport::ScopedSandbox&) {};
auto PrinterDeleted = [](testsupport::ScopedSandbox&) { sim::RemovePrinter(kPrinter); };
auto FeatureRemoved = [](testsupport::ScopedSandbox&) {
    sim::RemovePrinter(kPrinter);
    sim::SetFeatureState(kFeature, "DisabledWithPayloadRemoved");
};
auto SpoolerStopped = [](testsupport::ScopedSandbox&) {
    sim::StopService("spooler");
    for (int i = 0; i < 200 && sim::QueryService("spooler")->state != win::SERVICE_STOPPED; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
};
auto Standard = [](testsupport::ScopedSandbox& sandbox) { SetUser(sandbox, "standard"); };
auto System = [](testsupport::ScopedSandbox& sandbox) { SetUser(sandbox, "system"); };
auto WithJobs = [](testsupport::ScopedSandbox&) { RemoteJob(true); };

class Contract : public ::testing::TestWithParam<ContractCase> {};

// Runs the case in a fresh sandbox; returns the document.
cli::CliRun RunCase(const ContractCase& c, bool check, std::string* before, std::string* after) {
    testsupport::ScopedSandbox sandbox;
    c.setup(sandbox);
    const std::string job = std::to_string(RemoteJob(false));
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(arg == "{job}"       ? job
                       : arg == "{archive}" ? (sandbox.root() / "settings.roy").string()
                                            : arg);
    if (check)
        args.push_back("--check");
    args.push_back("--json");
    if (before)
        *before = Snapshot(sandbox);
    cli::CliRun run = RunCli(args);
    if (after)
        *after = Snapshot(sandbox);
    return run;
}

TEST_P(Contract, EveryDocumentConformsAndCheckChangesNothing) {
    const ContractCase& c = GetParam();
    for (bool check : {false, true}) {
        if (check && !c.changes)
            continue;
        std::string before, after;
        const cli::CliRun run = RunCase(c, check, &before, &after);
        ASSERT_TRUE(run.parsed) << run.out << run.err;
        const std::vector<std::string> errors = Schema().Check(run.json);
        EXPECT_TRUE(errors.empty())
            << (check ? "--check: " : "") << (errors.empty() ? "" : errors.front()) << "\n"
            << run.out;
        EXPECT_EQ(run.exitCode, c.exitCode) << (check ? "--check: " : "") << run.out << run.err;
        EXPECT_EQ(run.json.value("exitCode").toInt(), run.exitCode);
        // Each run has its own id; a document without it, or a result without the members of a
        // run that ended normally, does not conform.
        static std::set<std::string> runIds;
        EXPECT_TRUE(runIds.insert(cli::Str(run.json.value("runId"))).second);
        QJsonObject broken = run.json;
        broken.remove("runId");
        EXPECT_FALSE(Schema().Check(broken).empty());
        if (run.json.value("error").isNull()) {
            broken = run.json;
            broken["result"] = QJsonObject();
            EXPECT_FALSE(Schema().Check(broken).empty()) << "an empty result conforms";
        }
        if (check) {
            EXPECT_TRUE(after == before) << "--check changed the machine: " << run.out;
            EXPECT_FALSE(run.json.value("changed").toBool());
            if (run.exitCode == 0) {
                EXPECT_TRUE(run.Result().value("plan").isObject()) << run.out;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Contract,
    ::testing::Values(
        ContractCase{"Status", {"status"}, Fresh, 0},
        ContractCase{"StatusExpectAbsent", {"status", "--expect", "absent"}, FeatureRemoved, 0},
        ContractCase{"StatusFinding", {"status"}, PrinterDeleted, 1},
        ContractCase{"StatusCannotAssess", {"status"}, Standard, 6},
        ContractCase{"Repair", {"repair"}, PrinterDeleted, 0, true},
        ContractCase{"RepairNotAdministrator", {"repair"}, Standard, 3, true},
        ContractCase{"RepairExpectAbsent", {"repair", "--expect", "absent"}, Fresh, 0, true},
        ContractCase{"RepairHelp", {"repair", "--help"}, Fresh, 0},
        ContractCase{"StatusBadOption", {"status", "--bogus"}, Fresh, 2},
        ContractCase{"StatusBadExpect", {"status", "--expect", "maybe"}, Fresh, 2},
        ContractCase{"UnknownCommand", {"frobnicate"}, Fresh, 2},
        ContractCase{"NoCommand", {}, Fresh, 2}, ContractCase{"Help", {"--help"}, Fresh, 0},
        ContractCase{"CommandHelp", {"paper", "set", "--help"}, Fresh, 0},
        ContractCase{"Jobs", {"jobs"}, WithJobs, 0},
        ContractCase{"JobsSpoolerStopped", {"jobs"}, SpoolerStopped, 4},
        ContractCase{"JobPause", {"job", "pause", "{job}", "--printer", "Fax"}, Fresh, 0, true},
        ContractCase{"JobResume", {"job", "resume", "{job}", "--printer", "Fax"}, Fresh, 0, true},
        ContractCase{"JobRestart", {"job", "restart", "{job}", "--printer", "Fax"}, Fresh, 0, true},
        ContractCase{"JobCancel", {"job", "cancel", "{job}", "--printer", "Fax"}, Fresh, 0, true},
        ContractCase{"JobMissing", {"job", "cancel", "999", "--printer=Fax"}, Fresh, 0, true},
        ContractCase{"JobBadId", {"job", "cancel", "x1", "--printer", "Fax"}, Fresh, 2, true},
        ContractCase{"InstallPresent", {"install"}, Fresh, 0, true},
        ContractCase{"InstallFeatureRemoved", {"install"}, FeatureRemoved, 0, true},
        ContractCase{"InstallFeatureOnPrinterGone", {"install"}, PrinterDeleted, 1, true},
        ContractCase{"InstallRepair", {"install", "--repair"}, PrinterDeleted, 0, true},
        ContractCase{"InstallNotAdministrator", {"install"}, Standard, 3, true},
        ContractCase{"Reinstall", {"reinstall"}, WithJobs, 0, true},
        ContractCase{"Uninstall", {"uninstall"}, Fresh, 0, true},
        ContractCase{"UninstallKeepFeature", {"uninstall", "--keep-feature"}, Fresh, 0, true},
        ContractCase{"UninstallFeatureLeft", {"uninstall"}, PrinterDeleted, 0, true},
        ContractCase{"ClearQueue", {"clear-queue"}, WithJobs, 0, true},
        ContractCase{"SpoolerStart", {"spooler", "start"}, SpoolerStopped, 0, true},
        ContractCase{"SpoolerStop", {"spooler", "stop"}, Fresh, 0, true},
        ContractCase{"PaperList", {"paper", "list", "--all"}, Fresh, 0},
        ContractCase{
            "PaperSet",
            {"paper", "set", "--sizes", "A4,LETTER", "--default", "A4", "--custom", "100x150"},
            Fresh,
            0,
            true},
        ContractCase{"PaperSetRefused",
                     {"paper", "set", "--sizes", "A4", "--default", "LETTER"},
                     Fresh,
                     2,
                     true},
        ContractCase{"PaperRestoreDefault", {"paper", "restore-default"}, Fresh, 0, true},
        ContractCase{"ResolutionList", {"resolution", "list"}, Fresh, 0},
        ContractCase{"ResolutionSet",
                     {"resolution", "set", "--dpi", "300", "--default", "300"},
                     Fresh,
                     0,
                     true},
        ContractCase{"Backup", {"backup", "{archive}"}, Fresh, 0, true},
        ContractCase{"BackupAsSystem", {"backup", "{archive}"}, System, 2, true},
        ContractCase{
            "BackupAsSystemAllowed", {"backup", "{archive}", "--as-system"}, System, 0, true},
        ContractCase{"RestoreMissingArchive", {"restore", "{archive}"}, Fresh, 5, true}),
    [](const ::testing::TestParamInfo<ContractCase>& info) { return info.param.name; });

// The first words name the command even when the rest of the line is refused, and the
// document keeps every member.
TEST(Contract, ABadCommandLineKeepsTheEnvelope) {
    testsupport::ScopedSandbox sandbox;
    const cli::CliRun run = RunCli({"status", "--bogus", "--json"});
    EXPECT_EQ(cli::Str(run.json.value("command")), "status");
    EXPECT_TRUE(run.json.value("result").isObject());
    EXPECT_TRUE(run.json.value("messages").isArray());
    EXPECT_EQ(cli::Str(run.json.value("outcome")), "usage");
    // So does a line with an argument the code page cannot hold.
    std::ostringstream out, err;
    EXPECT_EQ(cli::RefuseCommandLine("\"\xA9\" has U+03A9", true, out, err), 2);
    EXPECT_TRUE(Schema().Check(QJsonDocument::fromJson(out.str().c_str()).object()).empty());
}

// The run is named by the platform: the sandbox's computer and the date its clock keeps.
TEST(Contract, TheEnvelopeNamesTheComputerAndTheDay) {
    sim::InitOptions options;
    options.config.date = "2020-10-15";
    testsupport::ScopedSandbox sandbox(options);
    const cli::CliRun run = RunCli({"status", "--json"});
    EXPECT_EQ(cli::Str(run.json.value("host")), "QUELLIN-PC");
    EXPECT_EQ(cli::Str(run.json.value("startedAt")).substr(0, 11), "2020-10-15T") << run.out;
}

// --output keeps the very document in a file, or refuses and leaves the target and the machine
// as they were; no temporary file stays behind. --quiet leaves standard error empty.
struct OutputCase {
    const char* name;
    // Puts what the case needs in the folder; returns the file to name.
    std::function<std::filesystem::path(const std::filesystem::path& folder)> plant;
    int exitCode;
    bool spoolerStops;  // the command ran
};

class Output : public ::testing::TestWithParam<OutputCase> {};

TEST_P(Output, KeepsTheDocumentOrNothing) {
    testsupport::ScopedSandbox sandbox;
    const std::filesystem::path folder = sandbox.HostPath("C:\\Users\\User\\Documents");
    std::filesystem::create_directories(folder);
    testsupport::WriteHostFile(folder / "victim.json", "victim");
    const std::filesystem::path target = GetParam().plant(folder);
    const auto before = testsupport::ReadHostFile(target);
    const cli::CliRun run =
        RunCli({"spooler", "stop", "--json", "--quiet", "--output", target.string()});
    sim::ClearInjectedFailures();
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out;
    EXPECT_TRUE(Schema().Check(run.json).empty()) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_EQ(sim::QueryService("spooler")->state == win::SERVICE_STOPPED, GetParam().spoolerStops);
    EXPECT_EQ(testsupport::ReadHostFile(folder / "victim.json"), "victim");
    EXPECT_EQ(testsupport::ReadHostFile(target), run.exitCode == 0 ? run.out : before);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".TMP") << entry.path();
}

auto OldReport = [](const std::filesystem::path& folder) {
    testsupport::WriteHostFile(folder / "report.json", "old");
    return folder / "report.json";
};

INSTANTIATE_TEST_SUITE_P(
    Cli, Output,
    ::testing::Values(
        OutputCase{"New", [](const auto& folder) { return folder / "report.json"; }, 0, true},
        OutputCase{"ReplacesAnOldOne", OldReport, 0, true},
        OutputCase{"RefusesALink",
                   [](const auto& folder) {
                       std::filesystem::create_symlink(folder / "victim.json",
                                                       folder / "report.json");
                       return folder / "report.json";
                   },
                   5, false},
        OutputCase{"RefusesAFolder",
                   [](const auto& folder) {
                       std::filesystem::create_directory(folder / "report.json");
                       return folder / "report.json";
                   },
                   5, false},
        OutputCase{"MissingFolder",
                   [](const auto& folder) { return folder / "gone" / "report.json"; }, 5, false},
        OutputCase{"DiskFullKeepsTheOldOne",
                   [](const auto& folder) {
                       sim::InjectWriteFailure("qco*", 10);
                       return OldReport(folder);
                   },
                   5, true}),
    [](const ::testing::TestParamInfo<OutputCase>& info) { return info.param.name; });

}  // namespace

}  // namespace quellin::cli
