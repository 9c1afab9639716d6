// The system command helpers against the sandbox.
#include "system/system_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/spooler.h"
#include "platform/window.h"
#include "sandbox_fixture.h"
#include "system/errors.h"
#include "system/redirection.h"

namespace quellin::system {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kDism = "C:\\Windows\\System32\\dism.exe";
// The native tool, as a 32-bit program reaches it with redirection on.
constexpr const char* kNativeDism = "C:\\Windows\\Sysnative\\dism.exe";
constexpr const char* kEnable =
    "/Online /Enable-Feature /FeatureName:\"Printing-PrintToPDFServices-Features\" /NoRestart";
constexpr const char* kDisable =
    "/Online /Disable-Feature /FeatureName:\"Printing-PrintToPDFServices-Features\" /Remove "
    "/NoRestart";

int g_pumped = 0;
void CountingPump() {
    ++g_pumped;
}

struct PumpCounter {
    PumpCounter() {
        g_pumped = 0;
        win::SetMessagePump(&CountingPump);
    }
    ~PumpCounter() { win::SetMessagePump(nullptr); }
};

std::int32_t Dism(const char* parameters, const char* tool = kNativeDism) {
    return quellin::system::RunProcess("runas", tool, parameters, kDism, win::SW_HIDE, true);
}

// ---- RunProcess ----------------------------------------------------------------------------

TEST(RunProcess, WaitsForTheServicingToolWhileProcessingMessages) {
    testsupport::ScopedSandbox sandbox;
    PumpCounter pump;
    EXPECT_EQ(Dism(kDisable), 0);
    EXPECT_GT(g_pumped, 0) << "messages were processed between the 100 ms waits";
    EXPECT_FALSE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_EQ(Dism(kEnable), 0);
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_EQ(Dism("/Online /Enable-Feature /FeatureName:Nothing"),
              static_cast<std::int32_t>(0x800F080C));
    const auto log = sim::LaunchLog();
    const auto hidden = std::count_if(
        log.begin(), log.end(), [](const auto& e) { return e.show == 0 && e.verb == "runas"; });
    EXPECT_EQ(hidden, 3);
}

TEST(RunProcess, NotWaitingAnswersZeroAtOnce) {
    testsupport::ScopedSandbox sandbox;
    auto start = Clock::now();
    EXPECT_EQ(
        quellin::system::RunProcess("runas", kNativeDism, kEnable, kDism, win::SW_HIDE, false), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200)) << "the tool takes longer";
    // Let the tool finish before its sandbox goes away.
    fs::path log = sandbox.HostPath("C:\\Windows\\Logs\\DISM\\dism.log");
    while (Clock::now() - start < std::chrono::seconds(10) &&
           testsupport::ReadHostFile(log).value_or("").find("exit code") == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST(RunProcess, PassesOnlyTheLowSixteenBitsOfTheShowMode) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_EQ(quellin::system::RunProcess("runas", kNativeDism, kEnable, kDism,
                                          0x10000 | win::SW_HIDE, true),
              0);
    EXPECT_EQ(sim::LaunchLog().back().show, 0);
}

struct FailureCase {
    const char* name;
    const char* user;
    const char* file;
};

class RunProcessFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(RunProcessFailure, AFailedLaunchAnswersMinusOneInEitherMode) {
    sim::InitOptions options;
    options.config.user = GetParam().user;
    testsupport::ScopedSandbox sandbox(options);
    for (bool wait : {true, false}) {
        EXPECT_EQ(
            quellin::system::RunProcess("runas", GetParam().file, kEnable, "", win::SW_HIDE, wait),
            -1)
            << wait;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Launches, RunProcessFailure,
    testing::Values(FailureCase{"RefusedElevation", "filtered-admin", kDism},
                    FailureCase{"StandardUserRefused", "standard", kDism},
                    FailureCase{"MissingProgram", "admin", "C:\\Windows\\System32\\none.exe"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

struct ArchCase {
    const char* name;
    const char* arch;
    const char* tool;
    bool span;
    std::int32_t exitCode;
};

class RedirectionAroundDism : public testing::TestWithParam<ArchCase> {};

// The 32-bit twin in SysWOW64 cannot service 64-bit Windows; "Sysnative" reaches the native
// tool, while a launch with redirection off fails to load the shell's libraries. On 32-bit
// Windows System32 is the tool's own.
TEST_P(RedirectionAroundDism, ReachesTheToolThatCanServiceTheSystem) {
    sim::InitOptions options;
    options.config.arch = GetParam().arch;
    testsupport::ScopedSandbox sandbox(options);
    quellin::system::FsRedirectionSpan span(GetParam().span);
    EXPECT_EQ(Dism(kEnable, GetParam().tool), GetParam().exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Architectures, RedirectionAroundDism,
    testing::Values(ArchCase{"X64Sysnative", "x64-wow64", kNativeDism, false, 0},
                    ArchCase{"X64WithSpan", "x64-wow64", kDism, true, -1},
                    ArchCase{"X64System32", "x64-wow64", kDism, false, 11},
                    ArchCase{"X86System32", "x86", kDism, false, 0}),
    [](const testing::TestParamInfo<ArchCase>& info) { return info.param.name; });

TEST(Redirection, SpanOnX86ChangesNothingAndRevertsOnEveryExit) {
    {
        sim::InitOptions options;
        options.config.arch = "x86";
        testsupport::ScopedSandbox sandbox(options);
        void* state = nullptr;
        EXPECT_FALSE(quellin::system::DisableFsRedirection(&state)) << "nothing to redirect";
        EXPECT_TRUE(sim::RedirectionEnabled());
    }
    testsupport::ScopedSandbox sandbox;
    try {
        quellin::system::FsRedirectionSpan span(true);
        EXPECT_FALSE(sim::RedirectionEnabled());
        throw std::runtime_error("step failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(sim::RedirectionEnabled());
}

// ---- Service waits -------------------------------------------------------------------------

TEST(ServiceWait, StopAndStartWaitForTheStateWhileRepainting) {
    testsupport::ScopedSandbox sandbox;
    PumpCounter pump;
    int repaints = 0;
    auto repaint = [&] { ++repaints; };
    // A running dependent stops first and comes back with it; a stopped one stays stopped.
    sim::AddService("Fax", win::SERVICE_RUNNING, "Spooler");
    sim::AddService("PrintNotify", win::SERVICE_STOPPED, "Spooler");
    EXPECT_TRUE(quellin::system::StopServiceAndWait("", "spooler", repaint));
    EXPECT_EQ(sim::QueryService("spooler")->state, win::SERVICE_STOPPED);
    EXPECT_EQ(sim::QueryService("Fax")->state, win::SERVICE_STOPPED);
    EXPECT_GE(repaints, 4) << "before and after each poll";
    EXPECT_EQ(g_pumped, repaints) << "each repaint is followed by message processing";
    EXPECT_TRUE(quellin::system::StartServiceAndWait("", "Spooler", repaint));
    EXPECT_EQ(sim::QueryService("spooler")->state, win::SERVICE_RUNNING);
    EXPECT_EQ(sim::QueryService("Fax")->state, win::SERVICE_RUNNING);
    EXPECT_EQ(sim::QueryService("PrintNotify")->state, win::SERVICE_STOPPED);
}

TEST(ServiceWait, RefusedControlsAnswerFalseAtOnce) {
    testsupport::ScopedSandbox sandbox;
    int repaints = 0;
    auto repaint = [&] { ++repaints; };
    EXPECT_FALSE(quellin::system::StartServiceAndWait("", "spooler", repaint)) << "already running";
    EXPECT_EQ(repaints, 1) << "no polling, only the closing repaint";
    ASSERT_TRUE(quellin::system::StopServiceAndWait("", "spooler"));
    repaints = 0;
    auto start = Clock::now();
    EXPECT_FALSE(quellin::system::StopServiceAndWait("", "spooler", repaint)) << "already stopped";
    EXPECT_EQ(repaints, 1);
    EXPECT_LT(Clock::now() - start,
              std::chrono::milliseconds(sim::CurrentServiceTiming().stopHintMs));
    EXPECT_FALSE(quellin::system::StopServiceAndWait("", "NoSuchService"));
    EXPECT_FALSE(quellin::system::StartServiceAndWait("\\\\ELSEWHERE", "spooler"));
}

TEST(ServiceWait, WithoutRightsNothingChanges) {
    sim::InitOptions options;
    options.config.user = "filtered-admin";
    testsupport::ScopedSandbox sandbox(options);
    EXPECT_FALSE(quellin::system::StopServiceAndWait("", "spooler"));
    EXPECT_EQ(sim::QueryService("spooler")->state, win::SERVICE_RUNNING);
}

TEST(ServiceWait, AHungServiceIsGivenUpOnAfterTheNoProgressLimit) {
    testsupport::ScopedSandbox sandbox;
    sim::SetServiceHung("spooler", true);
    auto start = Clock::now();
    EXPECT_FALSE(
        quellin::system::StopServiceAndWait("", "spooler", {}, std::chrono::milliseconds(600)));
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(600));
    EXPECT_LT(took, std::chrono::milliseconds(600 + 3 * sim::CurrentServiceTiming().stopHintMs));
    EXPECT_EQ(sim::QueryService("spooler")->state, win::SERVICE_STOP_PENDING);
}

// A hung service that asks to be left alone for an hour is still given up on at the limit.
TEST(ServiceWait, ALongWaitHintDoesNotOutlastTheNoProgressLimit) {
    testsupport::ScopedSandbox sandbox;
    sim::SetServiceHung("spooler", true);
    const auto start = Clock::now();
    bool hinted = false;
    auto repaint = [&] {
        if (!hinted) {
            hinted = true;
            sim::SetServiceWaitHint("Spooler", 3600000);
        }
        if (Clock::now() - start > std::chrono::seconds(10))
            throw std::runtime_error("still sleeping the wait hint");
    };
    EXPECT_NO_THROW(EXPECT_FALSE(quellin::system::StopServiceAndWait(
        "", "spooler", repaint, std::chrono::milliseconds(600))));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST(ServiceWait, TheWholeDemoOfClearingTheQueue) {
    testsupport::ScopedSandbox sandbox;
    sim::JobSpec spec;
    spec.printer = "Microsoft Print to PDF";
    spec.document = "stuck.pdf";
    spec.status = win::JOB_STATUS_PRINTING;
    sim::AddJob(spec);
    ASSERT_EQ(sim::ListJobs("").size(), 1u);
    ASSERT_TRUE(quellin::system::StopServiceAndWait("", "spooler"));
    quellin::system::EmptyFolder("C:\\Windows\\System32\\spool\\PRINTERS", "*.*", true);
    ASSERT_TRUE(quellin::system::StartServiceAndWait("", "spooler"));
    EXPECT_TRUE(sim::ListJobs("").empty());
}

// ---- Folders and attributes ----------------------------------------------------------------

class Folders : public testing::Test {
  protected:
    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    const std::string root = "C:\\Users\\User\\AppData\\Local\\Temp\\tree";
    fs::path Host(const std::string& relative = "") const {
        return sandbox.HostPath(root + (relative.empty() ? "" : "\\" + relative));
    }
    void Write(const std::string& relative) { testsupport::WriteHostFile(Host(relative), "x"); }
};

TEST_F(Folders, EmptyFolderOnAMissingFolderDoesNothing) {
    quellin::system::EmptyFolder(root + "\\missing", "*.*", true);
    EXPECT_TRUE(ui.boxes.empty()) << "not even the shell's error box";
}

TEST_F(Folders, EmptyFolderKeepsFoldersWhenAskedAndNeverFollowsLinks) {
    Write("a.txt");
    Write("sub\\b.txt");
    fs::path outside = sandbox.HostPath("C:\\Outside");
    testsupport::WriteHostFile(outside / "keep.txt", "k");
    fs::create_directory_symlink(outside, Host("junction"));

    quellin::system::EmptyFolder(root, "*.*", false);
    EXPECT_FALSE(fs::exists(Host("a.txt")));
    EXPECT_TRUE(fs::exists(Host("sub\\b.txt")));
    quellin::system::EmptyFolder(root, "*.*", true);
    EXPECT_TRUE(fs::is_empty(Host()));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(ui.boxes.empty());
}

class TrailingBackslash : public Folders, public testing::WithParamInterface<const char*> {};

TEST_P(TrailingBackslash, DeleteFolderTreeRemovesEverythingAndTheFolder) {
    Write("a.txt");
    Write("sub\\deeper\\b.txt");
    ASSERT_TRUE(win::SetFileAttributesA(root + "\\a.txt",
                                        win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(win::SetFileAttributesA(root + "\\sub", win::FILE_ATTRIBUTE_READONLY));
    quellin::system::DeleteFolderTree(root + GetParam());
    EXPECT_FALSE(fs::exists(Host()));
}

INSTANTIATE_TEST_SUITE_P(Forms, TrailingBackslash, testing::Values("", "\\"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).empty() ? "Without" : "With";
                         });

TEST_F(Folders, DeleteFolderTreeLeavesDotNamesAndTheFoldersHoldingThem) {
    Write("a.txt");
    Write(".keep");
    Write("sub\\.git\\config");
    Write("sub\\b.txt");
    quellin::system::DeleteFolderTree(root);
    EXPECT_TRUE(fs::exists(Host(".keep")));
    EXPECT_TRUE(fs::exists(Host("sub\\.git\\config")));
    EXPECT_FALSE(fs::exists(Host("a.txt")));
    EXPECT_FALSE(fs::exists(Host("sub\\b.txt")));
}

TEST_F(Folders, DeleteFolderTreeRemovesLinksWithoutFollowingThem) {
    fs::path outside = sandbox.HostPath("C:\\Outside");
    testsupport::WriteHostFile(outside / "deep" / "keep.txt", "k");
    fs::create_directories(Host());
    fs::create_directory_symlink(outside, Host("junction"));
    fs::create_symlink(outside / "deep" / "keep.txt", Host("file-link"));
    quellin::system::DeleteFolderTree(root);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host())));
    EXPECT_TRUE(fs::exists(outside / "deep" / "keep.txt"));
}

// Another process of the user swaps part of the tree for a link to a folder it may not touch,
// before the deletion or between its listing and its acting; the administrator's deletion
// still removes only what lies in the tree. `at`: the path whose next use triggers the swap
// ("" for a link present from the start); `swapped`: the tree folder replaced by the link.
struct SwapCase {
    const char* name;
    const char* at;
    const char* swapped;
};

class TreeSwap : public Folders, public testing::WithParamInterface<SwapCase> {};

TEST_P(TreeSwap, DeleteFolderTreeNeverReachesOutOfTheTree) {
    const SwapCase& c = GetParam();
    const fs::path victim = sandbox.HostPath("C:\\Windows\\Victim");
    for (const char* name : {"keep.dll", "b.txt", "deeper"})
        testsupport::WriteHostFile(victim / name, "system");
    Write("a.txt");
    Write("sub\\b.txt");
    Write("sub\\deeper\\c.txt");
    auto swap = [&] {
        fs::rename(Host(c.swapped), Host(std::string(c.swapped) + "-moved"));
        fs::create_directory_symlink(victim, Host(c.swapped));
    };
    bool done = false;
    if (*c.at == '\0')
        swap();
    else
        sim::SetBeforePathHook([&](const std::string& path) {
            if (!done && path == root + "\\" + c.at) {
                done = true;
                swap();
            }
        });
    quellin::system::DeleteFolderTree(root);
    sim::SetBeforePathHook(nullptr);
    for (const char* name : {"keep.dll", "b.txt", "deeper"})
        EXPECT_TRUE(fs::exists(victim / name)) << name;
    EXPECT_FALSE(fs::exists(Host("a.txt")));
}

INSTANTIATE_TEST_SUITE_P(Races, TreeSwap,
                         testing::Values(SwapCase{"LinkFromTheStart", "", "sub"},
                                         SwapCase{"FolderSwappedAfterListing", "sub", "sub"},
                                         SwapCase{"ParentSwappedBeforeAFile", "sub\\b.txt", "sub"},
                                         SwapCase{"ParentSwappedBeforeAFolder", "sub\\deeper",
                                                  "sub"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Folders, DeleteFolderTreeOnAMissingFolderDoesNothing) {
    quellin::system::DeleteFolderTree(root + "\\missing");
    EXPECT_FALSE(fs::exists(Host("missing")));
}

TEST_F(Folders, ClearFileAttributesKeepsHiddenAndMakesWritable) {
    Write("a.txt");
    const std::string path = root + "\\a.txt";
    ASSERT_TRUE(win::SetFileAttributesA(path, win::FILE_ATTRIBUTE_HIDDEN |
                                                  win::FILE_ATTRIBUTE_READONLY |
                                                  win::FILE_ATTRIBUTE_SYSTEM));
    quellin::system::ClearFileAttributes(path);
    EXPECT_EQ(win::GetFileAttributesA(path), win::FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(win::DeleteFileA(path));
}

TEST(TempFolder, OneWithoutAndOneWithItsTrailingBackslash) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_EQ(quellin::system::GetTempPathText(), "C:\\Users\\User\\AppData\\Local\\Temp\\");
    EXPECT_EQ(quellin::system::GetTempFolder(), "C:\\Users\\User\\AppData\\Local\\Temp");
}

// ---- Printers, drivers, ports --------------------------------------------------------------

TEST(Printers, DeletingThePrinterThenItsDriversLeavesNoTrace) {
    testsupport::ScopedSandbox sandbox;
    quellin::system::DeletePrinterDrivers("Microsoft Print To PDF");
    EXPECT_EQ(sim::DriverCount("Microsoft Print To PDF", "Windows x64"), 1)
        << "still in use by its printer";
    quellin::system::DeletePrinterByName("Microsoft Print to PDF");
    EXPECT_FALSE(sim::FindPrinter("Microsoft Print to PDF"));
    quellin::system::DeletePrinterDrivers("Microsoft Print To PDF");
    EXPECT_EQ(sim::DriverCount("Microsoft Print To PDF"), 0);
    quellin::system::DeletePrinterByName(
        "Microsoft Print to PDF");  // gone already: nothing to examine
}

TEST(Printers, WithoutAdministratorRightsNothingIsDeleted) {
    sim::InitOptions options;
    options.config.user = "standard";
    testsupport::ScopedSandbox sandbox(options);
    quellin::system::DeletePrinterByName("Microsoft Print to PDF");
    quellin::system::DeletePrinterDrivers("Microsoft XPS Document Writer v4");
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_EQ(sim::DriverCount("Microsoft XPS Document Writer v4"), 2);
}

struct PortCase {
    const char* name;
    const char* port;
    bool missing;
};

class PortMissing : public testing::TestWithParam<PortCase> {};

TEST_P(PortMissing, ComparesWholeNamesWithLetterCase) {
    testsupport::ScopedSandbox sandbox;
    for (const char* similar : {"PORTPROMPT:2", "XPORTPROMPT:", "PORTPROMPT"})
        sim::AddPort(similar);
    sim::RemovePort("PORTPROMPT");
    EXPECT_EQ(quellin::system::IsPortMissing(GetParam().port), GetParam().missing);
}

INSTANTIATE_TEST_SUITE_P(Names, PortMissing,
                         testing::Values(PortCase{"Exact", "PORTPROMPT:", false},
                                         PortCase{"OtherCase", "portprompt:", true},
                                         PortCase{"Prefix", "PORTPROMPT", true},
                                         PortCase{"Longer", "PORTPROMPT:X", true},
                                         PortCase{"Empty", "", true}),
                         [](const testing::TestParamInfo<PortCase>& info) {
                             return info.param.name;
                         });

TEST(Ports, AnUnreadablePortListRaisesTheSystemError) {
    testsupport::ScopedSandbox sandbox;
    ASSERT_TRUE(quellin::system::StopServiceAndWait("", "spooler"));
    try {
        quellin::system::IsPortMissing("PORTPROMPT:");
        FAIL() << "no error raised";
    } catch (const quellin::system::SystemError& error) {
        EXPECT_EQ(error.code(), win::RPC_S_SERVER_UNAVAILABLE);
        EXPECT_STREQ(error.what(), "System Error.  Code: 1722.\r\nThe RPC server is unavailable.");
    }
}

TEST(Ports, AddPortIfMissingAddsALocalPortOnce) {
    testsupport::ScopedSandbox sandbox;
    sim::RemovePort("PORTPROMPT:");
    ASSERT_TRUE(quellin::system::IsPortMissing("PORTPROMPT:"));
    quellin::system::AddPortIfMissing("PORTPROMPT:");
    EXPECT_FALSE(quellin::system::IsPortMissing("PORTPROMPT:"));
    quellin::system::AddPortIfMissing("PORTPROMPT:");
    EXPECT_EQ(sim::PortMonitor("PORTPROMPT:"), "Local Port");
}

}  // namespace

}  // namespace quellin::system
