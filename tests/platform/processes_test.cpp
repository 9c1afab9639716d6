// The shell: launching the sandbox's system tools as child processes, elevation, waiting and
// exit codes, rundll32's printer dialogs, and shell deletes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/window.h"
#include "sandbox_fixture.h"

namespace quellin::platform {

namespace {

using namespace platform;
namespace fs = std::filesystem;

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr const char* kDism = "C:\\Windows\\System32\\dism.exe";
// The native tool, as a 32-bit program reaches it with redirection on.
constexpr const char* kNativeDism = "C:\\Windows\\Sysnative\\dism.exe";

struct Launch {
    BOOL ok = false;
    DWORD error = 0;
    DWORD exitCode = kSentinel;
};

// ShellExecuteExA, then a wait for the process and its exit code.
Launch Start(const std::string& verb, const std::string& file, const std::string& parameters) {
    SHELLEXECUTEINFOA info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_HIDE;
    SetLastError(kSentinel);
    Launch launch;
    launch.ok = ShellExecuteExA(&info);
    launch.error = GetLastError();
    if (launch.ok && info.hProcess) {
        EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
        EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &launch.exitCode));
        EXPECT_TRUE(CloseHandle(info.hProcess));
    }
    return launch;
}

struct DismCase {
    const char* name;
    const char* user;
    const char* file;
    bool native;  // through Sysnative
    const char* parameters;
    DWORD exitCode;
};

class Dism : public testing::TestWithParam<DismCase> {};

TEST_P(Dism, AnswersWithTheRealToolsExitCodes) {
    sim::InitOptions options;
    options.config.user = GetParam().user;
    testsupport::ScopedSandbox sandbox(options);
    Launch launch =
        Start("open", GetParam().native ? kNativeDism : GetParam().file, GetParam().parameters);
    ASSERT_TRUE(launch.ok) << launch.error;
    EXPECT_EQ(launch.exitCode, GetParam().exitCode);
}

constexpr const char* kEnable =
    "/Online /Enable-Feature /FeatureName:\"Printing-PrintToPDFServices-Features\" /NoRestart";

INSTANTIATE_TEST_SUITE_P(
    Lines, Dism,
    testing::Values(DismCase{"Enable", "admin", kDism, true, kEnable, 0},
                    DismCase{"NotElevated", "filtered-admin", kDism, true, kEnable, 740},
                    DismCase{"ThirtyTwoBitTwin", "admin", kDism, false, kEnable, 11},
                    DismCase{"BadSyntax", "admin", kDism, true,
                             "/Online /Enable-Feature /FeatureNam:X", 87},
                    DismCase{"NoCommand", "admin", kDism, true, "/Online", 87},
                    DismCase{"RemoveWithEnable", "admin", kDism, true,
                             "/Online /Enable-Feature /Remove "
                             "/FeatureName:X",
                             87},
                    DismCase{"UnknownFeature", "admin", kDism, true,
                             "/Online /Enable-Feature /FeatureName:NoSuchFeature", 0x800F080C},
                    DismCase{"OfflineImagesAreNotModelled", "admin", kDism, true,
                             "/Image:C:\\mount /Enable-Feature /FeatureName:X", 50}),
    [](const testing::TestParamInfo<DismCase>& info) { return info.param.name; });

TEST(Shell, RefusedElevationFailsTheLaunchAndIsLogged) {
    sim::InitOptions options;
    options.config.user = "filtered-admin";
    testsupport::ScopedSandbox sandbox(options);
    Launch launch = Start("runas", kNativeDism, kEnable);
    EXPECT_FALSE(launch.ok);
    EXPECT_EQ(launch.error, ERROR_CANCELLED);
    const auto log = sim::LaunchLog();
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(), [](const auto& e) { return e.verb == "runas"; }), 1);
}

TEST(Shell, LaunchFailuresSayWhy) {
    testsupport::ScopedSandbox sandbox;
    testsupport::WriteHostFile(sandbox.HostPath("C:\\Windows\\notepad.exe"), "MZ");
    struct Case {
        const char* verb;
        const char* file;
        DWORD error;
    } cases[] = {
        {"open", "C:\\Windows\\System32\\nothing.exe", ERROR_FILE_NOT_FOUND},
        {"print", kDism, 1155 /* ERROR_NO_ASSOCIATION */},
        {"open", "C:\\Windows\\notepad.exe", ERROR_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        Launch launch = Start(c.verb, c.file, "");
        EXPECT_FALSE(launch.ok) << c.file;
        EXPECT_EQ(launch.error, c.error) << c.file;
    }
    SHELLEXECUTEINFOA bad;
    bad.cbSize = 64;
    SetLastError(kSentinel);
    EXPECT_FALSE(ShellExecuteExA(&bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Shell, ARunningProcessCanBeWaitedOnInSteps) {
    testsupport::ScopedSandbox sandbox;
    SHELLEXECUTEINFOA info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "runas";
    info.lpFile = kNativeDism;
    info.lpParameters = kEnable;
    ASSERT_TRUE(ShellExecuteExA(&info));
    ASSERT_NE(info.hProcess, nullptr);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_TIMEOUT) << "the tool takes a moment";
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    int steps = 0;
    while (WaitForSingleObject(info.hProcess, 100) == WAIT_TIMEOUT)
        ++steps;
    EXPECT_GT(steps, 0);
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(CloseHandle(info.hProcess));
    SetLastError(kSentinel);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Shell, DisablingAndEnablingTheFeatureRemovesAndReinstallsThePrinter) {
    testsupport::ScopedSandbox sandbox;
    std::string key = std::string(sim::kPrintersKey) + "\\Microsoft Print to PDF";
    auto before = sim::reg::GetValue(key, "PrintQueueV4DriverDirectory");
    ASSERT_TRUE(before);
    Launch off = Start("runas", kNativeDism,
                       "/Online /Disable-Feature "
                       "/FeatureName:\"Printing-PrintToPDFServices-Features\" /Remove /NoRestart");
    EXPECT_EQ(off.exitCode, 0u);
    EXPECT_FALSE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_FALSE(sim::reg::FindKey(key));
    EXPECT_EQ(sim::FeatureState("Printing-PrintToPDFServices-Features"),
              "DisabledWithPayloadRemoved");
    EXPECT_EQ(sim::DriverCount("Microsoft Print To PDF"), 0);

    Launch on = Start("runas", kNativeDism, kEnable);
    EXPECT_EQ(on.exitCode, 0u);
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
    auto after = sim::reg::GetValue(key, "PrintQueueV4DriverDirectory");
    ASSERT_TRUE(after);
    EXPECT_NE(after->data, before->data) << "a fresh queue folder";
    EXPECT_EQ(sim::FeatureState("Printing-PrintToPDFServices-Features"), "Enabled");
    auto log = testsupport::ReadHostFile(sandbox.HostPath("C:\\Windows\\Logs\\DISM\\dism.log"));
    ASSERT_TRUE(log);
    EXPECT_NE(log->find("Disable-Feature"), std::string::npos);
}

TEST(Shell, DismNeedsTheSpoolerToChangeThePrinter) {
    testsupport::ScopedSandbox sandbox;
    ASSERT_EQ(sim::StopService("spooler"), ERROR_SUCCESS);
    Launch launch = Start("runas", kNativeDism,
                          "/Online /Disable-Feature "
                          "/FeatureName:Printing-PrintToPDFServices-Features /NoRestart");
    EXPECT_EQ(launch.exitCode, 0x800706BAu);
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_EQ(sim::FeatureState("Printing-PrintToPDFServices-Features"), "Enabled");
}

TEST(Shell, Rundll32OpensPrinterDialogsAndSetsTheDefaultPrinter) {
    testsupport::ScopedSandbox sandbox;
    struct Case {
        const char* parameters;
        const char* event;
        const char* detail;
    } cases[] = {
        {"printui.dll,PrintUIEntry /y /n \"Microsoft XPS Document Writer\"", "default-printer",
         "Microsoft XPS Document Writer"},
        {"printui.dll,PrintUIEntry /p /n \"fax\"", "printer-properties", "Fax"},
        {"printui.dll,PrintUIEntry /e /n \"Fax\"", "printing-preferences", "Fax"},
        {"printui.dll,PrintUIEntry /p /n \"Nobody\"", "error",
         "Operation could not be completed (error 0x00000709). Nobody"},
        {"SHELL32.DLL,SHHelpShortcuts_RunDLL PrintersFolder", "printers-folder", ""},
        {"printui.dll,PrintUIEntryX /p", "error",
         "Error in printui.dll Missing entry: PrintUIEntryX"},
    };
    for (const Case& c : cases) {
        Launch launch = Start("open", "rundll32.exe", c.parameters);
        ASSERT_TRUE(launch.ok) << c.parameters;
        std::vector<sim::ShellEvent> events = sim::ShellEvents();
        ASSERT_FALSE(events.empty()) << c.parameters;
        EXPECT_EQ(events.back().event, c.event) << c.parameters;
        EXPECT_EQ(events.back().detail, c.detail) << c.parameters;
    }
    auto device = sim::reg::GetValue(
        "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device");
    ASSERT_TRUE(device);
    std::string text(device->data.begin(), device->data.end());
    EXPECT_EQ(text.rfind("Microsoft XPS Document Writer,winspool,", 0), 0u) << text;
}

// Shell deletes of the job folder and the like.
class ShellDelete : public testing::Test {
  protected:
    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    const std::string folder = "C:\\Users\\User\\AppData\\Local\\Temp\\work";
    fs::path Host(const std::string& relative = "") const {
        return sandbox.HostPath(folder + (relative.empty() ? "" : "\\" + relative));
    }
    void SetUp() override {
        testsupport::WriteHostFile(Host("a.txt"), "a");
        testsupport::WriteHostFile(Host("sub\\b.txt"), "b");
        ASSERT_TRUE(SetFileAttributesA(folder + "\\a.txt", FILE_ATTRIBUTE_READONLY));
    }
    int Delete(const std::string& from, WORD flags) {
        SHFILEOPSTRUCTA op;
        op.wFunc = FO_DELETE;
        op.pFrom = from;
        op.fFlags = flags;
        return SHFileOperationA(&op);
    }
};

TEST_F(ShellDelete, WildcardDeletesFilesAndFoldersUnlessFilesOnly) {
    EXPECT_EQ(Delete(folder + "\\*.*" + std::string(2, '\0'),
                     FOF_NOCONFIRMATION | FOF_SILENT | FOF_FILESONLY),
              0);
    EXPECT_FALSE(fs::exists(Host("a.txt"))) << "read-only files go too";
    EXPECT_TRUE(fs::exists(Host("sub\\b.txt")));
    EXPECT_EQ(Delete(folder + "\\*.*" + std::string(2, '\0'), FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_FALSE(fs::exists(Host("sub")));
    EXPECT_TRUE(fs::is_directory(Host())) << "the folder itself stays";
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ShellDelete, LinksAreRemovedNotFollowed) {
    fs::path outside = sandbox.HostPath("C:\\Keep");
    testsupport::WriteHostFile(outside / "precious.txt", "p");
    fs::create_directory_symlink(outside, Host("link"));
    EXPECT_EQ(Delete(folder + "\\*.*" + std::string(2, '\0'), FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host("link"))));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
}

TEST_F(ShellDelete, ConfirmationCanBeRefused) {
    ui.QueueAnswer(IDNO);
    SHFILEOPSTRUCTA op;
    op.wFunc = FO_DELETE;
    op.pFrom = folder + "\\*.*" + std::string(2, '\0');
    EXPECT_EQ(SHFileOperationA(&op), static_cast<int>(ERROR_CANCELLED));
    EXPECT_TRUE(op.fAnyOperationsAborted);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Are you sure you want to permanently delete these 2 items?");
    EXPECT_TRUE(fs::exists(Host("a.txt")));
}

// As SYSTEM in session 0 nobody sees the shell's error box: a call that shows one never
// returns, which the sandbox records; a call that asks for none gets the error back.
TEST(Shell, AnErrorBoxWithoutADesktopHangsUnlessTheCallAsksForNone) {
    testsupport::ScopedSandbox sandbox;
    sim::Config config = sim::ReadConfig();
    config.user = "system";
    sandbox.SetConfig(config);
    const std::string missing = "C:\\Windows\\System32\\nothing.exe";
    for (const bool noUi : {true, false}) {
        SHELLEXECUTEINFOA info;
        info.fMask = noUi ? SEE_MASK_FLAG_NO_UI : 0;
        info.lpFile = missing;
        EXPECT_FALSE(ShellExecuteExA(&info));
        SHFILEOPSTRUCTA op;
        op.wFunc = FO_DELETE;
        op.pFrom = missing + std::string(2, '\0');
        op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | (noUi ? FOF_NOERRORUI : 0);
        EXPECT_EQ(SHFileOperationA(&op), static_cast<int>(ERROR_FILE_NOT_FOUND));
        const auto events = sim::ShellEvents();
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [](const sim::ShellEvent& e) { return e.event == "hang"; }),
                  noUi ? 0 : 2);
    }
}

TEST_F(ShellDelete, MalformedRequestsAreRefused) {
    EXPECT_EQ(Delete(folder + "\\*.*", FOF_NOCONFIRMATION),
              static_cast<int>(ERROR_INVALID_PARAMETER))
        << "the list must end in two zeros";
    EXPECT_EQ(Delete(folder + "\\*.*" + std::string(2, '\0'), FOF_NOCONFIRMATION | FOF_ALLOWUNDO),
              static_cast<int>(ERROR_NOT_SUPPORTED))
        << "no recycle bin";
    SHFILEOPSTRUCTA copy;
    copy.wFunc = 2;  // FO_COPY
    copy.pFrom = folder + std::string(2, '\0');
    EXPECT_EQ(SHFileOperationA(&copy), static_cast<int>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(Delete(folder + "\\missing.txt" + std::string(2, '\0'), FOF_NOCONFIRMATION),
              static_cast<int>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(ui.boxes.size(), 1u) << "the shell's own error box";
    EXPECT_EQ(ui.boxes[0].caption, "Error Deleting File or Folder");
    EXPECT_TRUE(fs::exists(Host("a.txt")));
}

}  // namespace

}  // namespace quellin::platform
