// The health report on sandboxes broken on purpose: each break names its finding and remedy,
// and the exit code follows whether any finding stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <regex>
#include <set>

#include "cli_runner.h"
#include "driverconfig/driver_files.h"
#include "platform/registry.h"
#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/spool.h"
#include "platform/spooler.h"
#include "sandbox_fixture.h"
#include "system/machine_lock.h"

namespace quellin::cli {

namespace {

using cli::RunCli;
using cli::Str;

// The seeded driver folder's name differs from sandbox to sandbox; the registry names it.
std::filesystem::path DriverFile(const testsupport::ScopedSandbox& sandbox, const char* which) {
    const driverconfig::DriverFilePaths paths =
        driverconfig::DriverFilePathsFor(driverconfig::ReadDriverFileNames(256));
    return sandbox.HostPath(std::string(which) == "gpd" ? paths.mergedConfigPath
                                                        : paths.deviceCapabilitiesPath);
}

void EditFile(const std::filesystem::path& path, const std::function<void(std::string&)>& edit) {
    std::string text = testsupport::ReadHostFile(path).value();
    edit(text);
    testsupport::WriteHostFile(path, text);
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

struct BrokenCase {
    const char* name;
    std::function<void(testsupport::ScopedSandbox&)> breakIt;
    std::vector<std::string> findings;  // exactly these, in order
    std::string firstRemedy;            // of the first finding; "" for none, "*" unchecked
    bool wow64 = false;                 // the 32-bit build on 64-bit Windows
    std::vector<std::string> options = {};
    int exitCode = -1;   // of status; -1: as the findings say
    int repairExit = 0;  // where status finds something to mend
};

std::unique_ptr<quellin::system::MachineLock> g_held;  // another command at work
auto Held = [](auto&) { g_held = std::make_unique<quellin::system::MachineLock>(0); };

std::vector<std::string> Remedies(const QJsonValue& steps) {
    std::vector<std::string> remedies;
    for (const QJsonValue& step : steps.toArray())
        remedies.push_back(cli::RemedyPosix(step.toObject().value("remedy")));
    return remedies;
}

class StatusFindings : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(StatusFindings, NameTheFindingAndItsRemedy) {
    const BrokenCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    c.breakIt(sandbox);
    std::vector<std::string> args = {"status", "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const cli::CliRun run = RunCli(args, c.wow64);
    ASSERT_TRUE(run.parsed) << run.out << run.err;
    EXPECT_EQ(run.FindingCodes(), c.findings) << run.out;
    // A report made without an administrator's view or the feature's state is "cannot assess".
    const bool assessed = c.findings.empty() || (c.findings.front() != "not-administrator" &&
                                                 c.findings.front() != "feature-unknown");
    const int exitCode = c.exitCode >= 0 ? c.exitCode : c.findings.empty() ? 0 : assessed ? 1 : 6;
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(run.json.value("exitCode").toInt(), run.exitCode);
    EXPECT_EQ(run.Result().value("healthy").toBool(), c.findings.empty() && exitCode == 0);
    if (!c.findings.empty()) {
        const QJsonObject first = run.Finding(c.findings.front());
        EXPECT_FALSE(Str(first.value("sentence")).empty());
        if (c.firstRemedy.empty()) {
            EXPECT_TRUE(first.value("remedy").isNull());
        } else if (c.firstRemedy != "*") {
            EXPECT_EQ(cli::RemedyPosix(first.value("remedy")), c.firstRemedy);
        }
    }
    // repair mends the break in one run, each remedy once, taking the steps its plan foresaw.
    if (exitCode == 6)
        return;
    args[0] = "repair";
    args.push_back("--check");
    const cli::CliRun plan = RunCli(args, c.wow64);
    args.pop_back();
    const cli::CliRun real = RunCli(args, c.wow64);
    g_held.reset();
    EXPECT_EQ(real.exitCode, exitCode == 1 ? c.repairExit : exitCode) << real.out << real.err;
    const std::vector<std::string> taken = Remedies(real.Result().value("steps"));
    EXPECT_EQ(Remedies(plan.Result().value("plan").toObject().value("steps")), taken) << plan.out;
    EXPECT_EQ(std::set<std::string>(taken.begin(), taken.end()).size(), taken.size());
    EXPECT_EQ(real.json.value("changed").toBool(), !taken.empty());
    if (real.exitCode == 0) {
        args[0] = "status";
        EXPECT_EQ(RunCli(args).exitCode, 0) << real.out;
    }
}

const char* kPrinter = "Microsoft Print to PDF";

constexpr std::int64_t kFuture = 4102444800000;  // 2100: jobs are submitted in 2020 unless so
auto Job(win::DWORD status, std::int64_t submittedMs = 1577836800000, std::uint32_t printed = 0) {
    return [=](auto&) {
        sim::ListedJob job{7, {}, printed};
        job.spec.printer = kPrinter;
        job.spec.status = status;
        job.spec.submittedMs = submittedMs;
        sim::ListJobsDirectly({job});
    };
}

void AddErrorJob() {
    sim::JobSpec spec;
    spec.printer = kPrinter;
    spec.status = win::JOB_STATUS_ERROR;
    sim::AddJob(spec);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, StatusFindings,
    ::testing::Values(
        BrokenCase{"Healthy", [](auto&) {}, {}, ""},
        BrokenCase{"FeatureUnreadable", [](auto&) {}, {"feature-unknown"}, "", true},
        BrokenCase{"PrinterDeletedFeatureEnabled",
                   [](auto&) { sim::RemovePrinter(kPrinter); },
                   {"printer-missing"},
                   "quellin-cli reinstall"},
        BrokenCase{"FeatureRemovedWithPrinter",
                   [](auto&) {
                       sim::RemovePrinter(kPrinter);
                       sim::SetFeatureState("Printing-PrintToPDFServices-Features",
                                            "DisabledWithPayloadRemoved");
                   },
                   {"feature-disabled"},
                   "quellin-cli install"},
        BrokenCase{"PortRemoved",
                   [](auto&) { sim::RemovePort("PORTPROMPT:"); },
                   {"port-missing"},
                   "quellin-cli reinstall"},
        BrokenCase{"DescriptionMissing",
                   [](auto& sandbox) { std::filesystem::remove(DriverFile(sandbox, "gpd")); },
                   {"description-missing"},
                   "quellin-cli reinstall"},
        BrokenCase{"CapabilitiesMissing",
                   [](auto& sandbox) { std::filesystem::remove(DriverFile(sandbox, "xml")); },
                   {"capabilities-missing"},
                   "quellin-cli reinstall"},
        BrokenCase{"CapabilitiesLackASize",
                   [](auto& sandbox) {
                       EditFile(DriverFile(sandbox, "xml"), [](std::string& text) {
                           const std::size_t from = text.find("    <psk:ISOA5 ");
                           const std::size_t to = text.find("</psk:ISOA5>");
                           ASSERT_NE(from, std::string::npos);
                           text.erase(from, to + 12 - from + 2);
                       });
                   },
                   {"paper-sizes-disagree"},
                   "quellin-cli paper set --sizes "
                   "TABLOID,LEGAL,STATEMENT,EXECUTIVE,A3,A4,A5,B4,B5,LETTER --default LETTER"},
        BrokenCase{"CapabilitiesLackASizeWithACustomSizeChosen",
                   [](auto& sandbox) {
                       RunCli({"paper", "set", "--sizes", "A4,LETTER,A5", "--default", "A4",
                               "--custom", "100x150"});
                       EditFile(DriverFile(sandbox, "xml"), [](std::string& text) {
                           const std::size_t from = text.find("<psk:ISOA5 ");
                           text.erase(from, text.find("</psk:ISOA5>") + 12 - from);
                       });
                   },
                   {"paper-sizes-disagree"},
                   "quellin-cli paper set --sizes A4,LETTER,A5,CUSTOMSIZE --default A4 --custom "
                   "100x150"},
        BrokenCase{"CapabilitiesOtherDefaultSize",
                   [](auto& sandbox) {
                       EditFile(DriverFile(sandbox, "xml"), [](std::string& text) {
                           Replace(text,
                                   "<psk:NorthAmericaLetter psf2:psftype=\"Option\" "
                                   "psf2:default=\"true\">",
                                   "<psk:NorthAmericaLetter psf2:psftype=\"Option\">");
                           Replace(text, "<psk:ISOA4 psf2:psftype=\"Option\">",
                                   "<psk:ISOA4 psf2:psftype=\"Option\" psf2:default=\"true\">");
                       });
                   },
                   {"paper-sizes-disagree"},
                   "quellin-cli paper set --sizes "
                   "TABLOID,LEGAL,STATEMENT,EXECUTIVE,A3,A4,A5,B4,B5,LETTER --default LETTER"},
        BrokenCase{"CapabilitiesSizeTheEditorWritesOtherwise",
                   [](auto& sandbox) {
                       EditFile(DriverFile(sandbox, "xml"), [](std::string& text) {
                           Replace(text, ">210000</psk:MediaSizeWidth>", ">2</psk:MediaSizeWidth>");
                       });
                   },
                   {"paper-sizes-disagree"},
                   "*"},
        BrokenCase{"CapabilitiesOtherResolution",
                   [](auto& sandbox) {
                       EditFile(DriverFile(sandbox, "xml"), [](std::string& text) {
                           Replace(text, ">600</psk:ResolutionX>", ">300</psk:ResolutionX>");
                       });
                   },
                   {"resolutions-disagree"},
                   "quellin-cli resolution set --dpi 600 --default 600"},
        BrokenCase{"DescriptionCutShortByANulByte",
                   [](auto& sandbox) {
                       EditFile(DriverFile(sandbox, "gpd"),
                                [](std::string& text) { text.insert(text.size() / 2, 1, '\0'); });
                   },
                   {"description-unreadable"},
                   "quellin-cli reinstall"},
        BrokenCase{"DescriptionWithoutPaperSizeFeature",
                   [](auto& sandbox) {
                       EditFile(DriverFile(sandbox, "gpd"), [](std::string& text) {
                           Replace(text, "*Feature: PaperSize", "*Feature: Paper_Size");
                       });
                   },
                   {"paper-feature-unreadable"},
                   "quellin-cli reinstall"},
        BrokenCase{"RegistryNamesAPathOutOfTheFolder",
                   [](auto&) {
                       win::HKEY key = nullptr;
                       ASSERT_EQ(win::RegOpenKeyExA(
                                     win::HKEY_LOCAL_MACHINE, driverconfig::kPrinterDriverDataKey,
                                     0, win::KEY_SET_VALUE | win::KEY_WOW64_64KEY, &key),
                                 0);
                       const std::string value = "..\\..\\..\\win.ini";
                       win::RegSetValueExA(key, "V4_Merged_ConfigFile_Name", win::REG_SZ,
                                           reinterpret_cast<const win::BYTE*>(value.c_str()),
                                           static_cast<win::DWORD>(value.size() + 1));
                       win::RegCloseKey(key);
                   },
                   {"registry-values-invalid"},
                   "quellin-cli reinstall"},
        BrokenCase{"SpoolerStopped",
                   [](auto&) { sim::StopService("spooler"); },
                   {"spooler-stopped"},
                   "quellin-cli spooler start"},
        BrokenCase{"NotAdministrator",
                   [](auto& sandbox) {
                       sim::Config config = sim::ReadConfig();
                       config.user = "filtered-admin";
                       sandbox.SetConfig(config);
                   },
                   {"not-administrator"},
                   ""},
        BrokenCase{"JobInError",
                   [](auto&) {
                       sim::JobSpec spec;
                       spec.printer = kPrinter;
                       spec.document = "cover.tif";
                       spec.status = win::JOB_STATUS_ERROR;
                       sim::AddJob(spec);
                   },
                   {"job-error"},
                   "*"},
        BrokenCase{"JobBlocked", Job(win::JOB_STATUS_BLOCKED_DEVQ, kFuture), {"job-stuck"}, "*"},
        BrokenCase{
            "JobNeedsUser", Job(win::JOB_STATUS_USER_INTERVENTION, kFuture), {"job-stuck"}, "*"},
        BrokenCase{"JobOffline", Job(win::JOB_STATUS_OFFLINE, kFuture), {"job-stuck"}, "*"},
        BrokenCase{"JobPaperOut", Job(win::JOB_STATUS_PAPEROUT, kFuture), {"job-stuck"}, "*"},
        BrokenCase{"JobPausedLong",
                   Job(win::JOB_STATUS_PAUSED),
                   {"job-stuck"},
                   "quellin-cli job resume 7 '--printer=Microsoft Print to PDF'",
                   false,
                   {},
                   -1,
                   1},  // resumed, it still waits: not cancelled a moment later
        BrokenCase{"JobInErrorWithPortMissing",
                   [](auto&) {
                       sim::RemovePort("PORTPROMPT:");
                       AddErrorJob();
                   },
                   {"port-missing", "job-error"},
                   "quellin-cli reinstall"},
        BrokenCase{"SpoolerStoppedAndADriverFileMissing",
                   [](auto& sandbox) {
                       std::filesystem::remove(DriverFile(sandbox, "gpd"));
                       sim::StopService("spooler");
                   },
                   {"spooler-stopped", "description-missing"},
                   "quellin-cli spooler start"},
        BrokenCase{"ThreeFindingsOneReinstall",
                   [](auto& sandbox) {
                       sim::RemovePort("PORTPROMPT:");
                       std::filesystem::remove(DriverFile(sandbox, "gpd"));
                       std::filesystem::remove(DriverFile(sandbox, "xml"));
                   },
                   {"port-missing", "description-missing", "capabilities-missing"},
                   "quellin-cli reinstall"},
        BrokenCase{"RestartPendingWithAJobInError",
                   [](auto&) {
                       sim::SetFeatureState("Printing-PrintToPDFServices-Features",
                                            "EnablePending");
                       AddErrorJob();
                   },
                   {"restart-pending", "job-error"},
                   "",
                   false,
                   {},
                   3010},
        BrokenCase{"AnotherCommandAtWork", Held, {}, "", false, {"--wait=0"}, 7},
        BrokenCase{"JobUnderAGivenLimit", Job(0), {}, "", false, {"--stuck-after=9999999"}},
        BrokenCase{"JobPrintingPages", Job(win::JOB_STATUS_PRINTING, 0, 3), {}, ""}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return info.param.name; });

TEST(Status, JobInErrorNamesTheCancelOfThatJob) {
    testsupport::ScopedSandbox sandbox;
    sim::JobSpec spec;
    spec.printer = "Microsoft Print to PDF";
    spec.document = "cover.tif";
    spec.status = win::JOB_STATUS_ERROR | win::JOB_STATUS_PAUSED;
    const win::DWORD id = sim::AddJob(spec);
    const cli::CliRun run = RunCli({"status", "--json"});
    EXPECT_EQ(
        cli::RemedyPosix(run.Finding("job-error").value("remedy")),
        "quellin-cli job cancel " + std::to_string(id) + " '--printer=Microsoft Print to PDF'");
}

TEST(Status, NotAdministratorReportsTheFeatureAsUnknownWithTheReason) {
    testsupport::ScopedSandbox sandbox;
    sim::Config config = sim::ReadConfig();
    config.user = "standard";
    sandbox.SetConfig(config);
    const cli::CliRun run = RunCli({"status", "--json"});
    const QJsonObject feature = run.Result().value("feature").toObject();
    EXPECT_TRUE(feature.value("state").isNull());
    EXPECT_EQ(feature.value("error").toObject().value("code").toInteger(), 0x800702E4);
    // What needs no rights is still read.
    EXPECT_TRUE(run.Result().value("printer").toObject().value("present").toBool());
}

TEST(Status, ReportsWhatItRead) {
    testsupport::ScopedSandbox sandbox;
    const cli::CliRun run = RunCli({"status", "--json"});
    const QJsonObject result = run.Result();
    EXPECT_EQ(Str(result.value("feature").toObject().value("state")), "Enabled");
    EXPECT_EQ(Str(result.value("spooler").toObject().value("state")), "running");
    EXPECT_EQ(Str(result.value("printer").toObject().value("port")), "PORTPROMPT:");
    EXPECT_EQ(Str(result.value("registry").toObject().value("V4_Merged_ConfigFile_Name")),
              driverconfig::ReadDriverFileNames(256).mergedConfigName);
    EXPECT_TRUE(
        result.value("files").toObject().value("cache").toObject().value("exists").toBool());
    const QJsonObject paper = result.value("paperSizes").toObject();
    EXPECT_EQ(paper.value("description").toObject().value("options").toArray().size(), 10);
    EXPECT_EQ(Str(paper.value("capabilities").toObject().value("default")), "NorthAmericaLetter");
    EXPECT_TRUE(paper.value("agree").toBool());
    // A spooler that is stopped leaves the printer and port unknown rather than missing.
    sim::StopService("spooler");
    const QJsonObject stopped = RunCli({"status", "--json"}).Result();
    EXPECT_TRUE(stopped.value("printer").toObject().value("present").isNull());
    EXPECT_TRUE(stopped.value("port").toObject().value("present").isNull());
}

TEST(Status, HumanOutputEndsWithTheFindingsAndTheirRemedies) {
    testsupport::ScopedSandbox sandbox;
    sim::RemovePrinter(kPrinter);
    const cli::CliRun run = RunCli({"status"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("printer: missing"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("FINDING printer-missing: "), std::string::npos);
    EXPECT_NE(run.out.find("Mend: quellin-cli reinstall"), std::string::npos);
}

}  // namespace

}  // namespace quellin::cli
