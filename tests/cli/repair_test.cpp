// install, reinstall, uninstall and clear-queue: what each does to the sandbox, and the exit
// code that the read-back decides.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "cli_runner.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/spool.h"
#include "sandbox_fixture.h"
#include "system/printer_list.h"

namespace quellin::cli {

namespace {

using cli::RunCli;
using cli::Str;

constexpr const char* kPrinter = "Microsoft Print to PDF";
constexpr const char* kFeature = "Printing-PrintToPDFServices-Features";

int Launches() {
    return static_cast<int>(sim::LaunchLog().size());
}

bool SpoolerRunning() {
    const auto status = sim::QueryService("spooler");
    return status && status->state == win::SERVICE_RUNNING;
}

void SetUser(testsupport::ScopedSandbox& sandbox, const char* user) {
    sim::Config config = sim::ReadConfig();
    config.user = user;
    sandbox.SetConfig(config);
}

struct RepairCase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(testsupport::ScopedSandbox&)> before;
    int exitCode;
    bool printerAfter;
    std::string featureAfter;
    int launches;  // servicing tool runs
    const char* user = "admin";
    bool wow64 = false;  // the 32-bit build on 64-bit Windows
};

class RepairCommands : public ::testing::TestWithParam<RepairCase> {};

TEST_P(RepairCommands, ChangeTheSystemAndReadItBack) {
    const RepairCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    c.before(sandbox);
    SetUser(sandbox, c.user);
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const cli::CliRun run = RunCli(args, c.wow64);
    ASSERT_TRUE(run.parsed) << run.out << run.err;
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_EQ(quellin::system::IsPrinterPresent(kPrinter), c.printerAfter);
    EXPECT_EQ(sim::FeatureState(kFeature).value_or(""), c.featureAfter);
    EXPECT_EQ(Launches(), c.launches);
    EXPECT_TRUE(SpoolerRunning());
}

auto Nothing = [](testsupport::ScopedSandbox&) {};
auto PrinterDeleted = [](testsupport::ScopedSandbox&) { sim::RemovePrinter(kPrinter); };
auto FeatureRemoved = [](testsupport::ScopedSandbox&) {
    sim::RemovePrinter(kPrinter);
    sim::SetFeatureState(kFeature, "DisabledWithPayloadRemoved");
};

INSTANTIATE_TEST_SUITE_P(
    Cli, RepairCommands,
    ::testing::Values(
        RepairCase{"InstallWhenPresentDoesNothing", {"install"}, Nothing, 0, true, "Enabled", 0},
        RepairCase{"InstallWhenFeatureRemoved", {"install"}, FeatureRemoved, 0, true, "Enabled", 1},
        RepairCase{
            "ReinstallMendsADeletedPrinter", {"reinstall"}, PrinterDeleted, 0, true, "Enabled", 2},
        RepairCase{"ReinstallWhenHealthy", {"reinstall"}, Nothing, 0, true, "Enabled", 2},
        RepairCase{"Uninstall", {"uninstall"}, Nothing, 0, false, "DisabledWithPayloadRemoved", 1},
        RepairCase{"UninstallKeepFeature",
                   {"uninstall", "--keep-feature"},
                   Nothing,
                   0,
                   false,
                   "Enabled",
                   0},
        RepairCase{"UninstallWhenMissingDoesNothing",
                   {"uninstall", "--keep-feature"},
                   PrinterDeleted,
                   0,
                   false,
                   "Enabled",
                   0},
        // A feature left enabled without its printer is what the uninstall still removes.
        RepairCase{"UninstallWhenMissingRemovesTheFeature",
                   {"uninstall"},
                   PrinterDeleted,
                   0,
                   false,
                   "DisabledWithPayloadRemoved",
                   1},
        RepairCase{"InstallNotAdministrator",
                   {"install"},
                   FeatureRemoved,
                   3,
                   false,
                   "DisabledWithPayloadRemoved",
                   0,
                   "filtered-admin"},
        RepairCase{
            "ReinstallNotAdministrator", {"reinstall"}, Nothing, 3, true, "Enabled", 0, "standard"},
        RepairCase{"UninstallNotAdministrator",
                   {"uninstall"},
                   Nothing,
                   3,
                   true,
                   "Enabled",
                   0,
                   "filtered-admin"},
        RepairCase{"ClearQueueNotAdministrator",
                   {"clear-queue"},
                   Nothing,
                   3,
                   true,
                   "Enabled",
                   0,
                   "filtered-admin"},
        // The feature's state cannot be read: nothing is decided by it.
        RepairCase{"UninstallUnreadableFeature",
                   {"uninstall"},
                   PrinterDeleted,
                   4,
                   false,
                   "Enabled",
                   0,
                   "admin",
                   true},
        RepairCase{"InstallRepairUnreadableFeature",
                   {"install", "--repair"},
                   PrinterDeleted,
                   4,
                   false,
                   "Enabled",
                   0,
                   "admin",
                   true}),
    [](const ::testing::TestParamInfo<RepairCase>& info) { return info.param.name; });

TEST(Repair, DoneWhenADeletedPrinterIsMendedByTheRemedyStatusNames) {
    testsupport::ScopedSandbox sandbox;
    sim::RemovePrinter(kPrinter);
    const cli::CliRun before = RunCli({"status", "--json"});
    EXPECT_EQ(before.exitCode, 1);
    const std::string remedy = cli::RemedyPosix(before.Finding("printer-missing").value("remedy"));
    ASSERT_EQ(remedy, "quellin-cli reinstall");
    const cli::CliRun mend = RunCli({"reinstall", "--json"});
    EXPECT_EQ(mend.exitCode, 0) << mend.err;
    // Each step is a progress line, and the steps are in the result too.
    EXPECT_NE(mend.err.find("Reinstall, step 11: Reinstalling Microsoft Print to PDF printer..."),
              std::string::npos)
        << mend.err;
    EXPECT_EQ(mend.Result().value("steps").toArray().size(), 11);
    EXPECT_TRUE(mend.Result().value("printerPresent").toBool());
    const cli::CliRun after = RunCli({"status", "--json"});
    EXPECT_EQ(after.exitCode, 0) << after.out;
}

TEST(Repair, NotAdministratorIsThePermissionRefusal) {
    testsupport::ScopedSandbox sandbox;
    SetUser(sandbox, "standard");
    const cli::CliRun run = RunCli({"reinstall", "--json"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(Str(run.json.value("outcome")), "not-administrator");
    EXPECT_EQ(
        Str(run.json.value("error").toObject().value("message")).rfind("Permission denied.", 0),
        0u);
    const cli::CliRun human = RunCli({"reinstall"});
    EXPECT_NE(human.err.find("Administrator privilege is required"), std::string::npos);
}

void RemoveServicingTool() {
    for (const char* tool :
         {"C:\\Windows\\System32\\dism.exe", "C:\\Windows\\SysWOW64\\dism.exe"}) {
        sim::SetRedirectionEnabled(false);
        std::filesystem::remove(sim::HostPath(tool));
        sim::SetRedirectionEnabled(true);
    }
}

TEST(Repair, AMissingServicingToolChangesNothingAndIsASystemRefusal) {
    testsupport::ScopedSandbox sandbox;
    sim::RemovePrinter(kPrinter);
    RemoveServicingTool();
    const cli::CliRun run = RunCli({"reinstall", "--json"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(
        run.json.value("error").toObject().value("windowsError").toObject().value("code").toInt(),
        2);
    EXPECT_EQ(Launches(), 0);
}

// As SYSTEM nobody can answer the shell's error box: the failed start is an error code.
TEST(Repair, AnUnattendedRunNeverWaitsOnTheShellsBox) {
    testsupport::ScopedSandbox sandbox;
    SetUser(sandbox, "system");
    sim::RemovePrinter(kPrinter);
    RemoveServicingTool();
    EXPECT_EQ(RunCli({"uninstall", "--json"}).exitCode, 4);
    for (const sim::ShellEvent& event : sim::ShellEvents())
        EXPECT_NE(event.event, "hang") << event.detail;
}

TEST(Repair, ClearQueueEmptiesTheQueueAndLeavesTheSpoolerRunning) {
    testsupport::ScopedSandbox sandbox;
    sim::JobSpec spec;
    spec.printer = "Fax";
    spec.document = "stuck.tif";
    sim::AddJob(spec);
    sim::StopService("spooler");
    for (int i = 0; i < 100 && sim::QueryService("spooler")->state != win::SERVICE_STOPPED; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const cli::CliRun run = RunCli({"clear-queue", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Str(run.Result().value("spooler")), "running");
    EXPECT_TRUE(SpoolerRunning());
    EXPECT_TRUE(sim::ListJobs("Fax").empty());
    EXPECT_NE(
        run.err.find("Maintenance in progress, step 1: Restarting Windows Spooler service..."),
        std::string::npos);
}

}  // namespace

}  // namespace quellin::cli
