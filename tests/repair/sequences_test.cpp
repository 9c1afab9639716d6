// The repair sequences against a fresh sandbox: what each step reports, where redirection is
// off, and what the steps change.
#include "repair/sequences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/text.h"
#include "queue_folder.h"
#include "sandbox_fixture.h"
#include "system/errors.h"
#include "system/printer_list.h"
#include "system/system_commands.h"

namespace quellin::repair {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTemp = "C:\\Users\\User\\AppData\\Local\\Temp";

struct Report {
    int step;
    std::string caption;
    std::string label;

    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& r) {
    return out << "{" << r.step << ", \"" << r.caption << "\", \"" << r.label << "\"}";
}

class RecordingProgress : public Progress {
  public:
    void StepStarted(int step, const std::string& caption, const std::string& label) override {
        reports.push_back({step, caption, label});
        EXPECT_TRUE(sim::RedirectionEnabled()) << "step " << step << " repaints";
        if (auto hook = hooks.find(step); hook != hooks.end())
            hook->second();
    }
    void Repaint() override { ++repaints; }

    std::vector<Report> reports;
    std::map<int, std::function<void()>> hooks;  // run as a step begins
    int repaints = 0;
};

RepairSettings Settings(win::DWORD wow64KeyFlag) {
    RepairSettings settings;
    settings.wow64KeyFlag = wow64KeyFlag;
    settings.targetPrinterName = "Microsoft Print to PDF";
    settings.targetDriverName = "Microsoft Print to PDF";
    return settings;
}

sim::InitOptions Arch(const std::string& arch) {
    sim::InitOptions options;
    options.config.arch = arch;
    return options;
}

std::vector<std::string> DismRuns() {
    std::vector<std::string> runs;
    for (const sim::LaunchEntry& e : sim::LaunchLog()) {
        if (e.result)
            runs.push_back(e.parameters + " | " + e.directory + " | " + e.result->image);
    }
    return runs;
}

void AddJob(const std::string& document) {
    sim::JobSpec job;
    job.printer = "Microsoft Print to PDF";
    job.document = document;
    job.size = 100;
    sim::AddJob(job);
}

win::DWORD SpoolerState() {
    return sim::QueryService("spooler")->state;
}

// ---- Steps, texts and redirection --------------------------------------------------------

struct SequenceCase {
    const char* name;
    int mode;
    const char* arch;
    std::vector<Report> expected;
};

std::vector<SequenceCase> SequenceCases() {
    const std::vector<Report> reinstall = {{1, kReinstallCaption, kDiagnosingLabel},
                                           {2, "", ""},
                                           {3, "", ""},
                                           {4, "", kRemovingLabel},
                                           {5, "", kAnalyzingLabel},
                                           {6, "", ""},
                                           {7, "", ""},
                                           {8, "", ""},
                                           {9, "", ""},
                                           {10, "", ""},
                                           {11, "", kReinstallingLabel}};
    const std::vector<Report> maintenance = {{1, kMaintenanceCaption, kRestartingLabel},
                                             {2, "", kRestarting50Label},
                                             {3, "", ""},
                                             {4, "", kRestarting60Label}};
    return {
        {"Install64", kInstallMode, "x64-wow64", {{1, kInstallCaption, kInstallingLabel}}},
        {"Install32", kInstallMode, "x86", {{1, kInstallCaption, kInstallingLabel}}},
        {"Reinstall64", kReinstallMode, "x64-wow64", reinstall},
        {"Reinstall32", kReinstallMode, "x86", reinstall},
        {"Maintenance64", kMaintenanceMode, "x64-wow64", maintenance},
        {"Maintenance32", kMaintenanceMode, "x86", maintenance},
    };
}

class SequenceSteps : public testing::TestWithParam<SequenceCase> {};

// No launch, wait, pump or shell delete runs with redirection off, where its libraries would
// fail to load.
TEST_P(SequenceSteps, ReportEachStepWithItsTextsAndRedirection) {
    const SequenceCase& c = GetParam();
    testsupport::ScopedSandbox sandbox(Arch(c.arch));
    const bool x64 = std::string(c.arch) != "x86";
    RecordingProgress progress;
    EXPECT_EQ(RunRepair(c.mode, Settings(x64 ? 256 : 0), progress), RepairOutcome::Ran);
    EXPECT_EQ(progress.reports, c.expected);
    EXPECT_TRUE(sim::RedirectionEnabled()) << "every span switched redirection back on";
    for (const sim::ShellEvent& event : sim::ShellEvents())
        EXPECT_NE(event.source, "loader") << event.detail << " ran with redirection off";
    // The tool runs from the real system folder: the native one on 64-bit Windows.
    EXPECT_EQ(DismRuns().size(), c.mode == kInstallMode ? 1u : c.mode == kReinstallMode ? 2u : 0u);
    for (const std::string& run : DismRuns()) {
        EXPECT_NE(run.find(" | C:\\Windows\\system32 | C:\\Windows\\System32\\dism.exe"),
                  std::string::npos)
            << run;
    }
    if (c.mode != kInstallMode) {
        EXPECT_GT(progress.repaints, 0) << "the service waits repaint";
    }
    EXPECT_EQ(SpoolerState(), win::SERVICE_RUNNING);
}

INSTANTIATE_TEST_SUITE_P(Repair, SequenceSteps, testing::ValuesIn(SequenceCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- What the steps change ---------------------------------------------------------------

TEST(Install, EnablesTheFeatureThatBringsThePrinter) {
    sim::InitOptions options;
    options.pdfPrinter = false;
    testsupport::ScopedSandbox sandbox(options);
    RecordingProgress progress;
    ASSERT_EQ(RunRepair(kInstallMode, Settings(256), progress), RepairOutcome::Ran);
    EXPECT_EQ(sim::FeatureState(sim::kPdfFeatureName), "Enabled");
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_FALSE(repair::QueueFolderName().empty());
    EXPECT_EQ(DismRuns(), std::vector<std::string>{std::string(kEnableParameters) +
                                                   " | C:\\Windows\\system32 | "
                                                   "C:\\Windows\\System32\\dism.exe"});
}

TEST(Reinstall, RebuildsThePrinterWithANewQueueFolderAndNoJobs) {
    testsupport::ScopedSandbox sandbox;
    const std::string oldQueue = repair::QueueFolderName();
    ASSERT_FALSE(oldQueue.empty());
    AddJob("a.txt");
    AddJob("b.txt");
    sim::RemovePort("PORTPROMPT:");
    testsupport::WriteHostFile(sandbox.HostPath(std::string(kTemp) + "\\setup.log"), "x");

    RecordingProgress progress;
    progress.hooks[4] = [&] {
        EXPECT_FALSE(sim::FindPrinter("Microsoft Print to PDF")) << "steps 1 to 3 removed it";
        EXPECT_EQ(SpoolerState(), win::SERVICE_RUNNING);
    };
    progress.hooks[5] = [&] { EXPECT_EQ(SpoolerState(), win::SERVICE_STOPPED); };
    progress.hooks[9] = [&] {
        EXPECT_TRUE(fs::is_empty(sandbox.HostPath(sim::kSpoolJobFolder))) << "jobs emptied";
        EXPECT_TRUE(fs::is_empty(sandbox.HostPath(kTemp))) << "temp emptied and re-created";
    };
    progress.hooks[11] = [&] {
        EXPECT_EQ(SpoolerState(), win::SERVICE_RUNNING);
        EXPECT_FALSE(quellin::system::IsPortMissing(quellin::system::kPdfPortName))
            << "step 10 added the port";
    };
    ASSERT_EQ(RunRepair(kReinstallMode, Settings(256), progress), RepairOutcome::Ran);
    EXPECT_EQ(progress.reports.size(), 11u);

    const std::string newQueue = repair::QueueFolderName();
    EXPECT_FALSE(newQueue.empty());
    EXPECT_NE(newQueue, oldQueue);
    EXPECT_FALSE(fs::exists(
        sandbox.HostPath("C:\\Windows\\System32\\spool\\V4Dirs\\" + oldQueue + "\\pdc.xml")));
    EXPECT_TRUE(fs::exists(
        sandbox.HostPath("C:\\Windows\\System32\\spool\\V4Dirs\\" + newQueue + "\\pdc.xml")));
    EXPECT_TRUE(sim::ListJobs("").empty());
    EXPECT_EQ(sim::FeatureState(sim::kPdfFeatureName), "Enabled");
    EXPECT_TRUE(quellin::system::IsPrinterPresent("Microsoft Print to PDF"));
    const std::vector<std::string> runs = DismRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rfind(kDisableParameters, 0), 0u);
    EXPECT_EQ(runs[1].rfind(kEnableParameters, 0), 0u);
}

// A printer the spooler lost while its registry entries and files stayed: the servicing tool
// finds no printer to remove, so the sequence's own deletions meet the files.
TEST(Reinstall, DeletesTheDriverFilesTheRegistryStillNames) {
    testsupport::ScopedSandbox sandbox;
    const std::string queue = repair::QueueFolderName();
    const std::string mergedName =
        repair::PrinterValue("V4_Merged_ConfigFile_Name", "PrinterDriverData");
    ASSERT_FALSE(mergedName.empty());
    const fs::path folder = sandbox.HostPath("C:\\Windows\\System32\\spool\\V4Dirs\\" + queue);
    testsupport::WriteHostFile(folder / "merged.gpd", "copy");
    sim::ForgetPrinter("Microsoft Print to PDF");

    RecordingProgress progress;
    ASSERT_EQ(RunRepair(kReinstallMode, Settings(256), progress), RepairOutcome::Ran);
    EXPECT_FALSE(fs::exists(folder / "pdc.xml"));
    EXPECT_FALSE(fs::exists(folder / mergedName));
    EXPECT_FALSE(fs::exists(folder / (mergedName.substr(0, mergedName.rfind('.')) + ".BUD")));
    EXPECT_TRUE(fs::exists(folder / "merged.gpd")) << "the copy is not the sequence's";
    EXPECT_NE(repair::QueueFolderName(), queue);
}

struct MissingToolCase {
    const char* name;
    int mode;
};

class MissingServicingTool : public testing::TestWithParam<MissingToolCase> {};

// The tool is tested with redirection on, so on 64-bit Windows a 32-bit program looks for the
// 32-bit twin.
TEST_P(MissingServicingTool, TouchesNothing) {
    testsupport::ScopedSandbox sandbox;
    fs::remove(sandbox.HostPath("C:\\Windows\\SysWOW64\\dism.exe"));
    const std::string queue = repair::QueueFolderName();
    AddJob("a.txt");
    RecordingProgress progress;
    EXPECT_EQ(RunRepair(GetParam().mode, Settings(256), progress),
              RepairOutcome::ServicingToolMissing);
    EXPECT_TRUE(progress.reports.empty());
    EXPECT_TRUE(sim::LaunchLog().empty());
    EXPECT_EQ(repair::QueueFolderName(), queue);
    EXPECT_EQ(sim::ListJobs("").size(), 1u);
    EXPECT_EQ(SpoolerState(), win::SERVICE_RUNNING);
}

INSTANTIATE_TEST_SUITE_P(Repair, MissingServicingTool,
                         testing::Values(MissingToolCase{"Install", kInstallMode},
                                         MissingToolCase{"Reinstall", kReinstallMode}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RunRepair, AnUnknownModeRunsNothing) {
    testsupport::ScopedSandbox sandbox;
    RecordingProgress progress;
    EXPECT_EQ(RunRepair(3, Settings(256), progress), RepairOutcome::UnknownMode);
    EXPECT_TRUE(progress.reports.empty());
}

TEST(Maintenance, RestartsTheSpoolerAndEmptiesTheJobAndTempFolders) {
    testsupport::ScopedSandbox sandbox;
    AddJob("a.txt");
    testsupport::WriteHostFile(sandbox.HostPath(std::string(kTemp) + "\\sub\\b.tmp"), "x");
    RecordingProgress progress;
    progress.hooks[2] = [&] { EXPECT_EQ(SpoolerState(), win::SERVICE_STOPPED); };
    ASSERT_EQ(RunRepair(kMaintenanceMode, Settings(256), progress), RepairOutcome::Ran);
    EXPECT_TRUE(sim::ListJobs("").empty());
    EXPECT_TRUE(fs::is_directory(sandbox.HostPath(kTemp)));
    EXPECT_TRUE(fs::is_empty(sandbox.HostPath(kTemp)));
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF")) << "the printer stays";
    EXPECT_TRUE(sim::LaunchLog().empty());
}

// ---- The servicing tool's run as the launch log records it ------------------------------

struct ToolRunCase {
    const char* name;
    const char* user;
    std::int32_t result;
    bool elevated;
    std::int64_t error;
    std::optional<std::int64_t> exitCode;
};

class ServicingToolRun : public testing::TestWithParam<ToolRunCase> {};

TEST_P(ServicingToolRun, IsLoggedWithItsElevationAndExitCode) {
    const ToolRunCase& c = GetParam();
    sim::InitOptions options;
    options.config.user = c.user;
    testsupport::ScopedSandbox sandbox(options);
    EXPECT_EQ(RunServicingTool(BuildRepairPaths(), kDisableParameters, 256), c.result);
    const auto log = sim::LaunchLog();
    ASSERT_TRUE(!log.empty() && log[0].result);
    EXPECT_EQ(log[0].result->image, "C:\\Windows\\System32\\dism.exe");
    EXPECT_EQ(log[0].result->elevated, c.elevated);
    EXPECT_EQ(log[0].result->error, c.error);
    EXPECT_EQ(log[0].result->exitCode, c.exitCode);
    EXPECT_TRUE(sim::RedirectionEnabled());
}

INSTANTIATE_TEST_SUITE_P(Repair, ServicingToolRun,
                         testing::Values(ToolRunCase{"Administrator", "admin", 0, true, 0, 0},
                                         ToolRunCase{"RefusedElevation", "filtered-admin", -1,
                                                     false, 1223, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The temp clean-up -------------------------------------------------------------------

struct TempCase {
    const char* name;
    std::vector<std::string> files;      // below the temp folder
    std::vector<std::string> survivors;  // what is left afterwards
    std::string held = {};               // a file another program reads, sharing deletion
    std::optional<std::string> currentDirectory = {};  // "": the temp folder itself
    bool legacyKernel = false;                         // Windows without POSIX deletion
};

class TempCleanUp : public testing::TestWithParam<TempCase> {};

TEST_P(TempCleanUp, DeletesAllButDotNamesAndKeepsTheFolder) {
    const TempCase& c = GetParam();
    sim::InitOptions options;
    options.config.legacyKernel = c.legacyKernel;
    testsupport::ScopedSandbox sandbox(options);
    const fs::path temp = sandbox.HostPath(kTemp);
    for (const std::string& file : c.files)
        testsupport::WriteHostFile(temp / file, "x");
    win::UniqueFileHandle held;
    if (!c.held.empty())
        held.reset(win::CreateFileA(win::JoinPath(kTemp, c.held), win::GENERIC_READ,
                                    win::FILE_SHARE_READ | win::FILE_SHARE_DELETE,
                                    win::OPEN_EXISTING, 0));
    if (c.currentDirectory) {
        ASSERT_TRUE(win::SetCurrentDirectoryA(win::JoinPath(kTemp, *c.currentDirectory)));
    }
    CleanTempFolder(kTemp);
    held.reset();
    ASSERT_TRUE(fs::is_directory(temp));
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(temp))
        left.push_back(fs::relative(entry.path(), temp).generic_string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, GetParam().survivors);
}

INSTANTIATE_TEST_SUITE_P(
    Repair, TempCleanUp,
    testing::Values(
        TempCase{"Empty", {}, {}},
        TempCase{"FilesAndFolders", {"a.txt", "sub/b.txt", "sub/deeper/c"}, {}},
        TempCase{"DotFileSurvives", {"a.txt", ".keep"}, {".keep"}},
        TempCase{"DotFolderSurvives", {".cache/x", "b"}, {".cache", ".cache/x"}},
        TempCase{"DotNameInASubfolderKeepsIt", {"sub/.keep", "sub/y"}, {"sub", "sub/.keep"}},
        TempCase{"AHeldFileGoesWithItsFolder", {"sub/a.txt", "b"}, {}, "sub\\a.txt"},
        TempCase{
            "HeldFileWithoutPosixDeletion", {"sub/a.txt", "b"}, {"sub"}, "sub\\a.txt", {}, true},
        TempCase{"TheCurrentDirectoryIsEmptied", {"a.txt", "sub/b"}, {}, "", ""},
        TempCase{"ACurrentSubfolderIsEmptiedAndKept", {"a.txt", "sub/b"}, {"sub"}, "", "sub"}),
    [](const auto& info) { return std::string(info.param.name); });

// A subfolder of the temp folder is a link to the system folder from the start, or becomes
// one after the clean-up listed the temp folder: the system folder keeps all it holds.
class TempLink : public testing::TestWithParam<bool> {};

TEST_P(TempLink, TheCleanUpNeverEmptiesWhatALinkLeadsTo) {
    testsupport::ScopedSandbox sandbox;
    const fs::path temp = sandbox.HostPath(kTemp);
    const fs::path system = sandbox.HostPath("C:\\Windows\\System32");
    const auto before = std::distance(fs::directory_iterator(system), fs::directory_iterator());
    testsupport::WriteHostFile(temp / "sub" / "a.txt", "x");
    auto swap = [&] {
        fs::rename(temp / "sub", temp / "elsewhere");
        fs::create_directory_symlink(system, temp / "sub");
    };
    if (GetParam())
        sim::SetBeforePathHook([&, done = false](const std::string& path) mutable {
            if (!done && path == std::string(kTemp) + "\\sub") {
                done = true;
                swap();
            }
        });
    else
        swap();
    CleanTempFolder(kTemp);
    sim::SetBeforePathHook(nullptr);
    EXPECT_EQ(std::distance(fs::directory_iterator(system), fs::directory_iterator()), before);
    EXPECT_TRUE(fs::exists(system / "dism.exe"));
}

INSTANTIATE_TEST_SUITE_P(Repair, TempLink, testing::Bool(),
                         [](const auto& info) { return info.param ? "Swapped" : "FromTheStart"; });

// Another process of the user keeps swapping folders of the temp folder for links to a folder
// only administrators may change, while the elevated clean-up runs, 50 times: that folder keeps
// everything it holds.
TEST(TempCleanUp, ARacingSwapperReachesNothingOutsideTheUsersPlaces) {
    testsupport::ScopedSandbox sandbox;
    const fs::path temp = sandbox.HostPath(kTemp);
    const fs::path victim = sandbox.HostPath("C:\\Windows\\Victim");
    for (const char* name : {"a.dll", "b.dll", "sub"})
        testsupport::WriteHostFile(victim / name / "inner.dll", "system");
    for (int run = 0; run < 50; ++run) {
        for (const char* file : {"sub/a.dll", "sub/b.dll", "sub/deeper/c.txt", "x.txt"})
            testsupport::WriteHostFile(temp / file, "user");
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            std::error_code ec;
            for (int n = 0; !stop; ++n) {
                for (const fs::path& folder : {temp / "sub", temp / "sub" / "deeper"}) {
                    if (fs::is_directory(fs::symlink_status(folder, ec))) {
                        fs::rename(folder, temp / ("moved" + std::to_string(n)), ec);
                        fs::create_directory_symlink(victim, folder, ec);
                    }
                }
            }
        });
        CleanTempFolder(kTemp);
        stop = true;
        swapper.join();
        for (const char* name : {"a.dll", "b.dll", "sub"})
            ASSERT_TRUE(fs::exists(victim / name / "inner.dll")) << "run " << run << ": " << name;
    }
}

// The user's own environment names another Windows folder; the elevated run still takes the
// system's servicing tool and spool folder.
TEST(ServicingToolRun, AWindirFromTheUsersEnvironmentIsNotFollowed) {
    testsupport::ScopedSandbox sandbox;
    sim::reg::SetString("HKCU\\Environment", "windir", "C:\\Users\\User\\Fake");
    testsupport::WriteHostFile(sandbox.HostPath("C:\\Users\\User\\Fake\\system32\\dism.exe"),
                               "not the system's");
    const RepairPaths paths = BuildRepairPaths();
    EXPECT_EQ(paths.servicingTool, "C:\\Windows\\system32\\dism.exe");
    EXPECT_EQ(paths.spoolFolder, "C:\\Windows\\system32\\spool");
    EXPECT_EQ(RunServicingTool(paths, kEnableParameters, 256), 0);
    const auto log = sim::LaunchLog();
    ASSERT_TRUE(!log.empty() && log[0].result);
    EXPECT_EQ(log[0].result->image, "C:\\Windows\\System32\\dism.exe");
}

TEST(TempCleanUp, AFolderThatCannotBeCreatedAgainRaises) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_THROW(CleanTempFolder("C:\\Users\\User\\Missing\\Temp"), quellin::system::SystemError);
}

TEST(TempCleanUp, AnEmptyPathDoesNothing) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_NO_THROW(CleanTempFolder(""));
}

// ---- Raised errors end the sequence ------------------------------------------------------

TEST(Reinstall, AnUnreadablePortListEndsTheSequenceWithRedirectionBackOn) {
    testsupport::ScopedSandbox sandbox;
    RecordingProgress progress;
    // A spooler that cannot start leaves no port list to read at step 10.
    progress.hooks[9] = [] { sim::RemoveService("Spooler"); };
    EXPECT_THROW(RunRepair(kReinstallMode, Settings(256), progress), quellin::system::SystemError);
    ASSERT_FALSE(progress.reports.empty());
    EXPECT_EQ(progress.reports.back().step, 10);
    EXPECT_TRUE(sim::RedirectionEnabled());
    EXPECT_EQ(DismRuns().size(), 1u) << "the enable step never ran";
}

}  // namespace
}  // namespace quellin::repair
