// Start-up checks: the administrator test, 64-bit detection, and the single-instance guard
// across real processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/sim/control.h"
#include "platform/sim/security_state.h"
#include "platform/text.h"
#include "platform/window.h"
#include "sandbox_fixture.h"
#include "system/admin.h"
#include "system/libraries.h"
#include "system/machine_lock.h"
#include "system/single_instance.h"

namespace quellin::system {

namespace {

namespace fs = std::filesystem;

struct TokenCase {
    const char* name;
    const char* user;
    bool administrator;
};

class AdministratorTest : public testing::TestWithParam<TokenCase> {};

TEST_P(AdministratorTest, OnlyAnEnabledAdministratorsGroupCounts) {
    sim::InitOptions options;
    options.config.user = GetParam().user;
    testsupport::ScopedSandbox sandbox(options);
    EXPECT_EQ(quellin::system::IsAdministrator(), GetParam().administrator);
}

INSTANTIATE_TEST_SUITE_P(Tokens, AdministratorTest,
                         testing::Values(TokenCase{"elevated", "admin", true},
                                         TokenCase{"not_elevated", "filtered-admin", false},
                                         TokenCase{"standard_user", "standard", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PermissionDenied, ShowsTheThreeLineErrorBoxWithoutOwner) {
    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    quellin::system::ShowPermissionDenied("Quellin 1.1");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].owner, 0u);
    EXPECT_EQ(ui.boxes[0].caption, "Quellin 1.1");
    EXPECT_EQ(ui.boxes[0].flags, 0x10u);
    EXPECT_EQ(ui.boxes[0].text,
              "Permission denied.\r\nAdministrator privilege is required to run this program.\r\n"
              "Right-click the icon of this program, and choose 'Run As Administrator'.");
}

struct ArchCase {
    const char* name;
    const char* arch;
    bool legacyKernel;
    bool wow64;
};

class Wow64Test : public testing::TestWithParam<ArchCase> {};

TEST_P(Wow64Test, DetectsThe64BitSystemWhereTheKernelCanTell) {
    sim::InitOptions options;
    options.config.arch = GetParam().arch;
    options.config.legacyKernel = GetParam().legacyKernel;
    testsupport::ScopedSandbox sandbox(options);
    quellin::system::ReleaseLibraryTable();  // a new machine: look the functions up again
    win::SetLastError(0xDEAD);
    EXPECT_EQ(quellin::system::IsWow64(), GetParam().wow64);
    if (GetParam().legacyKernel) {
        EXPECT_EQ(win::GetLastError(), win::ERROR_NOT_SUPPORTED);
    }
    int wow64KeyFlag = quellin::system::IsWow64() ? 256 : 0;
    EXPECT_EQ(wow64KeyFlag, GetParam().wow64 ? 256 : 0);
    quellin::system::ReleaseLibraryTable();
}

INSTANTIATE_TEST_SUITE_P(Systems, Wow64Test,
                         testing::Values(ArchCase{"windows_64_bit", "x64-wow64", false, true},
                                         ArchCase{"windows_32_bit", "x86", false, false},
                                         ArchCase{"kernel_without_IsWow64Process", "x64-wow64",
                                                  true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoadDriverPrivilege, IsEnabledForAnAdministratorOnly) {
    testsupport::ScopedSandbox sandbox;
    quellin::system::EnableLoadDriverPrivilege();
    EXPECT_TRUE(sim::PrivilegeEnabled("SeLoadDriverPrivilege"));
}

// A probe process that holds or tries the guard, with its standard streams as pipes.
class Probe {
  public:
    Probe(const fs::path& binary, const char* mode, const fs::path& sandbox,
          const std::string& startedAs = "") {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            ::setenv("QUELLIN_SANDBOX", sandbox.c_str(), 1);
            ::execl(binary.c_str(), binary.c_str(), mode,
                    startedAs.empty() ? nullptr : startedAs.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Probe() {
        Finish();
        ::close(stdout_);
    }
    // Next line of output, or "" at the end or after the time-out.
    std::string ReadLine(int seconds = 20) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(stdout_, &set);
            timeval tv{0, 100000};
            if (::select(stdout_ + 1, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            char c;
            if (::read(stdout_, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line += c;
        }
        return line;
    }
    void Finish() {
        if (stdin_ >= 0) {
            ::close(stdin_);
            stdin_ = -1;
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    void Kill() {
        ::kill(pid_, SIGKILL);
        Finish();
    }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
};

fs::path ProbeBinary() {
    const char* dir = std::getenv("QUELLIN_BIN_DIR");
    return fs::path(dir ? dir : ".") / "quellin-guard-probe";
}

TEST(InstanceGuard, SecondStartIsRefusedAndRestoresAndRaisesTheFirst) {
    testsupport::ScopedSandbox sandbox;
    Probe first(ProbeBinary(), "hold", sandbox.root());
    ASSERT_EQ(first.ReadLine(), "holding");
    Probe second(ProbeBinary(), "try", sandbox.root());
    EXPECT_EQ(second.ReadLine(), "refused");
    EXPECT_EQ(first.ReadLine(), "asked-iconic");
    EXPECT_EQ(first.ReadLine(), "restored");
    EXPECT_EQ(first.ReadLine(), "raised");
    second.Finish();
    first.Finish();
    Probe third(ProbeBinary(), "try", sandbox.root());
    EXPECT_EQ(third.ReadLine(), "holding") << "the first instance gave its slot back";
}

TEST(InstanceGuard, AKilledInstanceDoesNotBlockTheNextStart) {
    testsupport::ScopedSandbox sandbox;
    Probe first(ProbeBinary(), "hold", sandbox.root());
    ASSERT_EQ(first.ReadLine(), "holding");
    first.Kill();
    Probe next(ProbeBinary(), "try", sandbox.root());
    EXPECT_EQ(next.ReadLine(), "holding");
}

TEST(InstanceGuard, ACopyInAnotherFolderRunsIndependently) {
    testsupport::ScopedSandbox sandbox;
    fs::path copy = sandbox.root() / "elsewhere" / "quellin-guard-probe";
    fs::create_directories(copy.parent_path());
    fs::copy_file(ProbeBinary(), copy);
    Probe first(ProbeBinary(), "hold", sandbox.root());
    ASSERT_EQ(first.ReadLine(), "holding");
    Probe other(copy, "try", sandbox.root());
    EXPECT_EQ(other.ReadLine(), "holding");
}

// In one process: the slot goes back when its guard ends, and only once however often it is
// released. A refused guard keeps the record open meanwhile, so the count is what is checked.
TEST(InstanceGuard, TheSlotGoesBackOnceWhenItsGuardEnds) {
    testsupport::ScopedSandbox sandbox;
    InstanceGuard refused;
    {
        InstanceGuard first;
        ASSERT_FALSE(first.Activate(0, 1));
        ASSERT_TRUE(refused.Activate(0, 1));
    }
    InstanceGuard second;
    ASSERT_FALSE(second.Activate(0, 1)) << "the first guard's end gave its slot back";
    second.Release();
    second.Release();
    InstanceGuard third, fourth;
    EXPECT_FALSE(third.Activate(0, 1));
    EXPECT_TRUE(fourth.Activate(0, 1)) << "a second Release gave back a slot it did not hold";
}

// A window of this test's own executable, which no start of the probe may show or raise.
class WatchedWindow final : public win::WindowHost {
  public:
    bool IsMinimized() override { return touched = true; }
    void Restore() override { touched = true; }
    void BringToFront() override { touched = true; }
    std::atomic<bool> touched{false};
    const win::HWND handle = win::RegisterMainWindow(this, 0);
    ~WatchedWindow() override { win::UnregisterMainWindow(handle); }
};

enum class Squat { None, Lock, ForeignRecord, RecordWithForeignWindow };
enum class Start { AsBuilt, ThroughShortAlias, InOtherCase };

struct SquatCase {
    const char* name;
    Squat squat;
    const char* securityDescriptor;  // of a planted lock
    Start start;
    const char* secondStart;  // what a start of the probe reports
};

class Squatting : public testing::TestWithParam<SquatCase> {};

// Whatever another process made first, exactly one command holds the machine lock at a time,
// a start raises only the first instance's own main window, and it finds that instance however
// its path is spelt.
TEST_P(Squatting, NeitherLockNorRecordCanBeTakenOver) {
    const SquatCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    WatchedWindow watched;
    const std::string probe = win::WindowsPathFromDialog(ProbeBinary().string());
    std::vector<std::shared_ptr<void>> planted;
    std::vector<std::uint8_t> record(8, 0);
    std::memcpy(record.data(), &watched.handle, 4);
    record[4] = 5;
    if (c.squat == Squat::Lock) {
        planted.push_back(sim::PlantObject({"Global\\Quellin.SystemChange",
                                            sim::Maker::SameUser,
                                            c.securityDescriptor,
                                            {},
                                            true}));
        for (sim::Maker maker : {sim::Maker::SameUser, sim::Maker::OtherUser})
            EXPECT_EQ(sim::PlantObject({"Quellin\\SystemChange", maker, "", {}, true}), nullptr)
                << "only an elevated administrator enters the namespace";
        MachineLock first(0), second(0);
        EXPECT_TRUE(first.Held()) << first.Error();
        EXPECT_FALSE(second.Held());
        EXPECT_EQ(second.Error(), 0u) << "the second is busy, not failed";
        return;
    }
    if (c.squat == Squat::ForeignRecord) {
        for (const std::string& name : {InstanceMappingName(probe), InstanceRecordName(probe)})
            planted.push_back(sim::PlantObject({name, sim::Maker::SameUser, "", record, true}));
    } else if (c.squat == Squat::RecordWithForeignWindow) {
        planted.push_back(sim::PlantObject({"Quellin\\Instance.1." + InstanceRecordName(probe),
                                            sim::Maker::SameUserElevated, "", record, true}));
    }
    std::optional<Probe> first;
    if (c.squat == Squat::None) {
        first.emplace(ProbeBinary(), "hold", sandbox.root());
        ASSERT_EQ(first->ReadLine(), "holding");
    }
    std::string startedAs = c.start == Start::InOtherCase ? win::UpperAnsi(probe) : probe;
    if (c.start == Start::ThroughShortAlias) {
        sim::AddShortName(probe, "QUELLI~1");
        startedAs = win::JoinPath(win::FolderOf(probe), "QUELLI~1");
    }
    Probe second(ProbeBinary(), "try", sandbox.root(), startedAs);
    EXPECT_EQ(second.ReadLine(), c.secondStart);
    if (first) {
        for (const char* seen : {"asked-iconic", "restored", "raised"})
            EXPECT_EQ(first->ReadLine(), seen) << "the first instance's main window";
    }
    second.Finish();
    EXPECT_FALSE(watched.touched) << "a window of another executable was shown or raised";
}

INSTANTIATE_TEST_SUITE_P(
    Squatters, Squatting,
    testing::Values(SquatCase{"LockAdmitsAdministrators", Squat::Lock, "D:(A;;GA;;;WD)",
                              Start::AsBuilt, ""},
                    SquatCase{"LockDeniesAdministrators", Squat::Lock, "D:(D;;GA;;;BA)(A;;GA;;;WD)",
                              Start::AsBuilt, ""},
                    SquatCase{"ForeignRecord", Squat::ForeignRecord, "", Start::AsBuilt, "holding"},
                    SquatCase{"ForeignWindowHandle", Squat::RecordWithForeignWindow, "",
                              Start::AsBuilt, "refused"},
                    SquatCase{"ShortAlias", Squat::None, "", Start::ThroughShortAlias, "refused"},
                    SquatCase{"OtherLetterCase", Squat::None, "", Start::InOtherCase, "refused"},
                    SquatCase{"MinimisedMainWindow", Squat::None, "", Start::AsBuilt, "refused"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InstanceGuard, MappingNameDropsEveryBackslash) {
    EXPECT_EQ(quellin::system::InstanceMappingName("C:\\Tools\\app.exe"), "C:Toolsapp.exe");
}

}  // namespace

}  // namespace quellin::system
