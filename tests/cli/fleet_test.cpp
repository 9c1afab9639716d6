// What a fleet's unattended runs need: fixes that fix without deleting what they should not,
// results that say what happened, desired state, one command at a time, remedies a shell
// cannot misread, and settings that stay as written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "cli/command.h"
#include "cli/remedy.h"
#include "cli/repair_plan.h"
#include "cli_runner.h"
#include "driverconfig/driver_files.h"
#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/spool.h"
#include "sandbox_fixture.h"
#include "system/machine_lock.h"
#include "system/printer_list.h"

namespace quellin::cli {

namespace {

using cli::RunCli;
using cli::Str;

constexpr const char* kPrinter = "Microsoft Print to PDF";

win::DWORD AddJob(const char* printer, const char* machine, win::DWORD status = 0) {
    sim::JobSpec spec;
    spec.printer = printer;
    spec.document = "payroll.docx";
    spec.machine = machine;
    spec.status = status;
    return sim::AddJob(spec);
}

std::filesystem::path DescriptionFile(const testsupport::ScopedSandbox& sandbox) {
    return sandbox.HostPath(
        driverconfig::DriverFilePathsFor(driverconfig::ReadDriverFileNames(256)).mergedConfigPath);
}

TEST(Fleet, JobCommandsReachJobsSentFromAnotherComputer) {
    testsupport::ScopedSandbox sandbox;
    const win::DWORD id = AddJob("Fax", "LAPTOP-7", win::JOB_STATUS_ERROR);
    const cli::CliRun run =
        RunCli({"job", "cancel", std::to_string(id), "--printer", "Fax", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(run.json.value("changed").toBool());
    EXPECT_TRUE(run.Result().value("after").isNull());
}

TEST(Fleet, ClearQueueSaysWhatItDeletedAndSpoolerStartDeletesNothing) {
    testsupport::ScopedSandbox sandbox;
    AddJob(kPrinter, "");
    const auto temp = sandbox.HostPath(std::string(sim::kTempFolder) + "\\notes.txt");
    testsupport::WriteHostFile(temp, "draft");
    sim::StopService("spooler");
    const cli::CliRun start = RunCli({"spooler", "start", "--json"});
    EXPECT_EQ(start.exitCode, 0) << start.out;
    EXPECT_TRUE(std::filesystem::exists(temp));
    EXPECT_EQ(Str(start.Result().value("spooler")), "running");

    const cli::CliRun clear = RunCli({"clear-queue", "--json"});
    EXPECT_EQ(clear.exitCode, 0) << clear.out;
    EXPECT_FALSE(std::filesystem::exists(temp));
    const QJsonArray deleted = clear.Result().value("deleted").toArray();
    EXPECT_TRUE(
        deleted.contains(QString::fromStdString(std::string(sim::kTempFolder) + "\\notes.txt")))
        << clear.out;
    EXPECT_GE(deleted.size(), 3);  // the job's shadow and spool files too
    EXPECT_EQ(clear.Result().value("jobsRemoved").toArray().size(), 1);
}

// A sequence that fails half-way keeps the steps it ran, and names the mend for the stopped
// spooler it leaves.
TEST(Fleet, AFailedSequenceKeepsItsSteps) {
    testsupport::ScopedSandbox sandbox;
    // The temp folder cannot be re-created without its parent.
    std::filesystem::remove_all(sandbox.HostPath(std::string(sim::kTempFolder)).parent_path());
    const cli::CliRun run = RunCli({"clear-queue", "--json"});
    EXPECT_EQ(run.exitCode, 4) << run.out;
    EXPECT_EQ(run.Result().value("steps").toArray().size(), 2) << run.out;
    EXPECT_EQ(cli::RemedyPosix(run.json.value("error").toObject().value("remedy")),
              "quellin-cli spooler start");
    EXPECT_EQ(RunCli({"spooler", "start"}).exitCode, 0);
}

TEST(Fleet, ResultsThatSayWhatHappened) {
    testsupport::ScopedSandbox sandbox;
    sim::RemovePrinter(kPrinter);
    // The feature is on and the printer gone: install says so and names the reinstall.
    const cli::CliRun install = RunCli({"install", "--json"});
    EXPECT_EQ(install.exitCode, 1);
    EXPECT_FALSE(install.json.value("changed").toBool());
    EXPECT_EQ(cli::RemedyPosix(install.json.value("error").toObject().value("remedy")),
              "quellin-cli reinstall");
    EXPECT_EQ(RunCli({"install", "--repair"}).exitCode, 0);
    EXPECT_TRUE(quellin::system::IsPrinterPresent(kPrinter));

    // A stopped spooler is no empty job list.
    sim::StopService("spooler");
    const cli::CliRun jobs = RunCli({"jobs", "--json"});
    EXPECT_EQ(jobs.exitCode, 4);
    EXPECT_EQ(
        Str(jobs.json.value("error").toObject().value("windowsError").toObject().value("hex")),
        "0x000006BA");
}

TEST(Fleet, PaperSetKeepsTheUnitAccuracyTheDescriptionWasWrittenWith) {
    testsupport::ScopedSandbox sandbox;
    const std::vector<std::string> set = {"paper", "set", "--sizes", "A4", "--default", "A4"};
    std::vector<std::string> international = set;
    international.push_back("--international");
    ASSERT_EQ(RunCli(international).exitCode, 0);
    const std::string written = testsupport::ReadHostFile(DescriptionFile(sandbox)).value();
    ASSERT_NE(written.find("PAIR(3779901, 5345811)"), std::string::npos);
    std::vector<std::string> again = set;
    again.push_back("--json");
    const cli::CliRun run = RunCli(again);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_FALSE(run.json.value("changed").toBool()) << run.out;
    EXPECT_EQ(testsupport::ReadHostFile(DescriptionFile(sandbox)), written);
}

// Without a Resolution feature the printer offers no resolution, so none is the default.
TEST(Fleet, ResolutionListWithoutItsFeatureNamesNoDefault) {
    testsupport::ScopedSandbox sandbox;
    std::string text = testsupport::ReadHostFile(DescriptionFile(sandbox)).value();
    const std::size_t at = text.find("*Feature: Resolution");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 20, "*Feature: Reso_lution");
    testsupport::WriteHostFile(DescriptionFile(sandbox), text);
    const cli::CliRun run = RunCli({"resolution", "list", "--json"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.Result().value("default").isNull()) << run.out;
    EXPECT_TRUE(run.Result().value("dpi").toArray().isEmpty());
}

TEST(Fleet, ASecondChangingCommandWaitsThenReportsBusy) {
    testsupport::ScopedSandbox sandbox;
    quellin::system::MachineLock held(0);
    ASSERT_TRUE(held.Held());
    const cli::CliRun run = RunCli({"reinstall", "--wait", "0", "--json"});
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(Str(run.json.value("outcome")), "busy");
    EXPECT_TRUE(sim::LaunchLog().empty());
    // --check does not need the machine; status says it is busy rather than judge a machine
    // in the middle of a change.
    EXPECT_EQ(RunCli({"status", "--wait", "0"}).exitCode, 7);
    EXPECT_EQ(RunCli({"reinstall", "--check"}).exitCode, 0);
}

// A lock that cannot be made (here its name is another kind of object) ends the command
// before any step, with Windows' code: it never runs unlocked.
TEST(Fleet, ALockThatCannotBeMadeEndsTheCommandUnrun) {
    testsupport::ScopedSandbox sandbox;
    const auto taken = sim::PlantObject(
        {"Quellin\\SystemChange", sim::Maker::SameUserElevated, "", {0, 0, 0, 0}, true});
    ASSERT_NE(taken, nullptr);
    const cli::CliRun run = RunCli({"reinstall", "--json"});
    EXPECT_EQ(run.exitCode, 4) << run.out;
    EXPECT_EQ(
        run.json.value("error").toObject().value("windowsError").toObject().value("code").toInt(),
        6)
        << run.out;
    EXPECT_TRUE(sim::LaunchLog().empty());
}

struct ExpectCase {
    const char* name;
    std::function<void()> setup;
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> findings;
    std::vector<std::string> notes;
};

class DesiredState : public ::testing::TestWithParam<ExpectCase> {};

TEST_P(DesiredState, FindingsFollowWhatTheAdministratorWants) {
    const ExpectCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    c.setup();
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const cli::CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
    EXPECT_EQ(run.FindingCodes(), c.findings) << run.out;
    std::vector<std::string> notes;
    for (const QJsonValue& note : run.Result().value("notes").toArray())
        notes.push_back(Str(note.toObject().value("code")));
    EXPECT_EQ(notes, c.notes);
}

auto Uninstalled = [] { ASSERT_EQ(RunCli({"uninstall"}).exitCode, 0); };

INSTANTIATE_TEST_SUITE_P(
    Cli, DesiredState,
    ::testing::Values(
        ExpectCase{"RemovedOnPurpose", Uninstalled, {"status", "--expect", "absent"}, 0, {}, {}},
        ExpectCase{"RemovedButExpected", Uninstalled, {"status"}, 1, {"feature-disabled"}, {}},
        ExpectCase{"PresentButUnwanted",
                   [] {},
                   {"status", "--expect", "absent"},
                   1,
                   {"printer-present"},
                   {}},
        ExpectCase{"OtherPrintersTroubleIsANote",
                   [] { AddJob("Fax", "LAPTOP-7", win::JOB_STATUS_ERROR); },
                   {"status"},
                   0,
                   {},
                   {"other-printer-job-error"}},
        ExpectCase{"NotAdministratorCannotAssess",
                   [] {
                       sim::Config config = sim::ReadConfig();
                       config.user = "standard";
                       sim::WriteConfig(config);
                   },
                   {"status"},
                   6,
                   {"not-administrator"},
                   {}}),
    [](const ::testing::TestParamInfo<ExpectCase>& info) { return info.param.name; });

// Whatever a printer is called, each shell hands the remedy's argument back unchanged.
TEST(Remedy, QuotedArgumentsSurviveBothShells) {
    std::mt19937 random(22);
    const std::string alphabet = "ab Z09\"'$`\\(){}[];&|<>*?!#~%,=-:./\t\x91\x92\x82\x84";
    for (int round = 0; round < 200; ++round) {
        std::string name;
        const int length = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i)
            name += alphabet[random() % alphabet.size()];
        // POSIX: the real shell reads it back.
        const std::string command = "printf '%s' " + cli::QuotePosix(name);
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string echoed;
        for (int ch; (ch = std::fgetc(pipe)) != EOF;)
            echoed += static_cast<char>(ch);
        pclose(pipe);
        EXPECT_EQ(echoed, name) << command;
        // PowerShell: a bare word holds nothing it would read, a quoted one doubles its quotes.
        const std::string quoted = cli::QuotePowerShell(name);
        if (quoted.front() != '\'') {
            EXPECT_EQ(quoted, name);
            EXPECT_EQ(name.find_first_of(" \"'$`(){}[];&|<>@#,\t"), std::string::npos);
        } else {
            std::string read;
            for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
                read += quoted[i];
                const bool quote = std::memchr("'\x91\x92\x82", quoted[i], 4) != nullptr;
                EXPECT_TRUE(!quote || quoted[++i] == read.back()) << quoted;
            }
            EXPECT_EQ(read, name);
        }
    }
    const QJsonObject remedy =
        QJsonDocument::fromJson(
            QByteArray::fromStdString(
                cli::RemedyJson(
                    cli::MakeRemedy({"job", "cancel", "2", "--printer", "Lab \"B\" $(id)"}))
                    .Dump()))
            .object();
    EXPECT_EQ(remedy.value("command").toArray().last().toString().toStdString(), "Lab \"B\" $(id)");
}

// The servicing tool's codes read as Windows errors, and 3010 as done-but-restart.
TEST(Remedy, ToolCodesDecodeAndDecideTheExit) {
    const cli::Json rpc = cli::WindowsErrorJson(0x800706BA);
    EXPECT_NE(rpc.Dump().find("\"hex\":\"0x800706BA\""), std::string::npos);
    EXPECT_NE(rpc.Dump().find("\"code\":2147944122"), std::string::npos);
    EXPECT_EQ(cli::WindowsErrorText(0x800706BA), cli::WindowsErrorText(1722));
    for (const std::int32_t done : {0, -1, 3010})
        EXPECT_EQ(cli::ToolErrorJson(done).Dump(), "null") << done;
    struct Row {
        bool present;
        std::vector<std::int32_t> codes;
        int exitCode;
        std::optional<win::DWORD> error;
    };
    for (const Row& row : std::vector<Row>{{true, {0}, 0, {}},
                                           {true, {3010}, 3010, {}},
                                           {false, {0, 3010}, 3010, {}},
                                           {false, {-2147023174}, 4, 0x800706BA},
                                           {false, {-1}, 4, 2},
                                           {false, {0}, 4, {}}}) {
        const cli::SequenceVerdict verdict = cli::JudgeInstall(row.present, row.codes);
        EXPECT_EQ(verdict.exitCode, row.exitCode);
        EXPECT_EQ(verdict.windowsError, row.error);
    }
}

TEST(Fleet, BackupNamesTheUserAndRefusesSystemUnlessAsked) {
    testsupport::ScopedSandbox sandbox;
    const std::string archive = (sandbox.root() / "s.roy").string();
    const cli::CliRun run = RunCli({"backup", archive, "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(Str(run.Result().value("user").toObject().value("name")), "Admin");
    EXPECT_TRUE(run.json.value("changed").toBool());
    sim::Config config = sim::ReadConfig();
    config.user = "system";
    sandbox.SetConfig(config);
    const cli::CliRun system = RunCli({"restore", archive, "--json"});
    EXPECT_EQ(system.exitCode, 2);
    EXPECT_NE(Str(system.json.value("error").toObject().value("message")).find("--as-system"),
              std::string::npos);
}

}  // namespace

}  // namespace quellin::cli
