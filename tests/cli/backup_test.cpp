// backup and restore: the archive named on the command line, the honest result of the
// settings backup as exit codes, and archives that cannot be read.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "driverconfig/driver_files.h"
#include "platform/sim/sandbox.h"
#include "sandbox_fixture.h"

namespace quellin::cli {

namespace {

using cli::RunCli;
using cli::Str;

std::filesystem::path Description(const testsupport::ScopedSandbox& sandbox) {
    return sandbox.HostPath(
        driverconfig::DriverFilePathsFor(driverconfig::ReadDriverFileNames(256)).mergedConfigPath);
}

std::filesystem::path Documents(const testsupport::ScopedSandbox& sandbox) {
    const std::filesystem::path folder = sandbox.HostPath("C:\\Users\\User\\Documents");
    std::filesystem::create_directories(folder);
    return folder;
}

bool HasMessage(const cli::CliRun& run, const std::string& text) {
    for (const QJsonValue& message : run.json.value("messages").toArray())
        if (Str(message.toObject().value("text")) == text)
            return true;
    return false;
}

TEST(Backup, SavesAndRestoresTheDriverFilesThroughAHostPath) {
    testsupport::ScopedSandbox sandbox;
    const std::filesystem::path archive = Documents(sandbox) / "settings.roy";
    const cli::CliRun saved = RunCli({"backup", archive.string(), "--json"});
    ASSERT_EQ(saved.exitCode, 0) << saved.out << saved.err;
    EXPECT_TRUE(saved.Result().value("complete").toBool());
    EXPECT_EQ(Str(saved.Result().value("archive")), "C:\\Users\\User\\Documents\\settings.roy");
    EXPECT_TRUE(HasMessage(saved, "Backup success!"));
    ASSERT_TRUE(std::filesystem::exists(archive));

    const std::optional<std::string> before = testsupport::ReadHostFile(Description(sandbox));
    testsupport::WriteHostFile(Description(sandbox), "changed\r\n");
    // A Windows path and a name without its extension name the same archive.
    const cli::CliRun restored =
        RunCli({"restore", "C:\\Users\\User\\Documents\\settings", "--json"});
    ASSERT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_TRUE(HasMessage(restored, "Restore success!"));
    EXPECT_EQ(testsupport::ReadHostFile(Description(sandbox)), before);
}

struct ArchiveCase {
    const char* name;
    std::string content;  // of the archive file; "-" for no file
    int exitCode;
};

class UnreadableArchives : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(UnreadableArchives, RestoreNothingAndExitFive) {
    testsupport::ScopedSandbox sandbox;
    const std::filesystem::path archive = Documents(sandbox) / "bad.roy";
    if (GetParam().content != "-")
        testsupport::WriteHostFile(archive, GetParam().content);
    const std::optional<std::string> before = testsupport::ReadHostFile(Description(sandbox));
    const cli::CliRun run = RunCli({"restore", archive.string(), "--json"});
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out << run.err;
    EXPECT_FALSE(Str(run.json.value("error").toObject().value("message")).empty());
    EXPECT_EQ(testsupport::ReadHostFile(Description(sandbox)), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UnreadableArchives,
    ::testing::Values(ArchiveCase{"Missing", "-", 5},
                      ArchiveCase{"NotAZipArchive", std::string(200, 'x'), 5},
                      ArchiveCase{"TruncatedEndRecord", std::string("PK\x05\x06", 4), 5}),
    [](const ::testing::TestParamInfo<ArchiveCase>& info) { return info.param.name; });

// An existing "archive" that is not a plain file (here a link to another archive) is refused
// before anything is written, and stays as it was.
TEST(Backup, AnArchiveThatIsALinkIsRefused) {
    testsupport::ScopedSandbox sandbox;
    const std::filesystem::path other = Documents(sandbox) / "other.roy";
    const std::filesystem::path link = Documents(sandbox) / "pdf.roy";
    ASSERT_EQ(RunCli({"backup", other.string(), "--json"}).exitCode, 0);
    const std::optional<std::string> before = testsupport::ReadHostFile(other);
    std::filesystem::create_symlink(other, link);
    const cli::CliRun run = RunCli({"backup", link.string(), "--json"});
    EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testsupport::ReadHostFile(other), before);
}

TEST(Backup, NotAdministratorIsRefusedBeforeAnyFile) {
    testsupport::ScopedSandbox sandbox;
    sim::Config config = sim::ReadConfig();
    config.user = "filtered-admin";
    sandbox.SetConfig(config);
    const std::filesystem::path archive = Documents(sandbox) / "s.roy";
    EXPECT_EQ(RunCli({"backup", archive.string()}).exitCode, 3);
    EXPECT_FALSE(std::filesystem::exists(archive));
    testsupport::WriteHostFile(archive, "");
    EXPECT_EQ(RunCli({"restore", archive.string()}).exitCode, 3);
}

TEST(Backup, AMissingDriverFileMakesTheBackupIncomplete) {
    testsupport::ScopedSandbox sandbox;
    std::filesystem::remove(Description(sandbox));
    const std::filesystem::path archive = Documents(sandbox) / "partial.roy";
    const cli::CliRun run = RunCli({"backup", archive.string(), "--json"});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_FALSE(run.Result().value("complete").toBool());
    EXPECT_NE(Str(run.json.value("error").toObject().value("message")).find("not saved"),
              std::string::npos)
        << run.out;
}

}  // namespace

}  // namespace quellin::cli
