// paper and resolution: the files written are the dialogs' own bytes for the same state, the
// dialogs' refusals keep both files as they were, and listing reads what the editors read.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "driverconfig/driver_files.h"
#include "driverconfig/paper_size_editor.h"
#include "platform/filesystem.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/seed_files.h"
#include "sandbox_fixture.h"

namespace quellin::cli {

namespace {

using cli::RunCli;
using cli::Str;

struct DriverFiles {
    std::filesystem::path description, capabilities, cache;
};

DriverFiles Locate(const testsupport::ScopedSandbox& sandbox) {
    const driverconfig::DriverFilePaths paths =
        driverconfig::DriverFilePathsFor(driverconfig::ReadDriverFileNames(256));
    return {sandbox.HostPath(paths.mergedConfigPath),
            sandbox.HostPath(paths.deviceCapabilitiesPath), sandbox.HostPath(paths.cachePath)};
}

std::string Fixture(const std::string& name) {
    return testsupport::ReadHostFile(std::filesystem::path(QUELLIN_EDITOR_FIXTURES) / name)
        .value_or("<missing fixture " + name + ">");
}

struct WriteCase {
    const char* name;
    std::vector<std::string> args;
    std::string fixture;  // editors/<fixture>.gpd and .xml, as the dialog wrote them
};

class WritesTheDialogsBytes : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WritesTheDialogsBytes, ForTheSameState) {
    const WriteCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    const DriverFiles files = Locate(sandbox);
    ASSERT_EQ(testsupport::ReadHostFile(files.description), sim::SeedMergedDescription());
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const cli::CliRun run = RunCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(run.Result().value("capabilitiesWritten").toBool());
    EXPECT_EQ(testsupport::ReadHostFile(files.description), Fixture(c.fixture + ".gpd"));
    EXPECT_EQ(testsupport::ReadHostFile(files.capabilities), Fixture(c.fixture + ".xml"));
    EXPECT_FALSE(std::filesystem::exists(files.cache));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, WritesTheDialogsBytes,
    ::testing::Values(
        WriteCase{"PaperA3MovedToTheEndAsDefault",
                  {"paper", "set", "--sizes",
                   "TABLOID,LEGAL,STATEMENT,EXECUTIVE,A4,A5,B4,B5,LETTER,A3", "--default", "a3"},
                  "paper_a3"},
        WriteCase{
            "PaperCustomSizeAsDefault",
            {"paper", "set", "--sizes", "TABLOID,LEGAL,STATEMENT,EXECUTIVE,A3,A4,A5,B4,B5,LETTER",
             "--custom", "100x150", "--default", "CUSTOMSIZE"},
            "paper_custom"},
        WriteCase{"Resolutions600And300",
                  {"resolution", "set", "--dpi", "300,600", "--default", "300", "--allow-multiple"},
                  "res_600_300"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

// The paper size dialog's way to the same state: drags between the lists and a double click.
void SaveLikeTheDialog(const std::vector<std::string>& wanted, const std::string& defaultName) {
    using namespace driverconfig;
    DriverContext context;
    context.wow64KeyFlag = 256;
    PaperSettings settings;
    std::optional<PaperSizeSession> session = BeginPaperSizeEdit(context, settings);
    ASSERT_TRUE(session);
    PaperSizeDialog dialog = CreatePaperSizeDialog(settings, '.');
    PreparePaperSizeDialog(dialog, session->reading, settings);
    while (!dialog.chosen.empty()) {
        SelectPaperRow(dialog, PaperList::Chosen, 0);
        ASSERT_TRUE(DropPaperSize(dialog, PaperList::Available));
    }
    for (const std::string& name : wanted) {
        const auto at = std::find(dialog.available.begin(), dialog.available.end(), name);
        ASSERT_NE(at, dialog.available.end()) << name;
        SelectPaperRow(dialog, PaperList::Available,
                       static_cast<int>(at - dialog.available.begin()));
        ASSERT_TRUE(DropPaperSize(dialog, PaperList::Chosen));
        if (name == defaultName) {
            ASSERT_TRUE(ChooseDefaultSize(dialog));
        }
    }
    ASSERT_TRUE(SavePaperSizeDialog(dialog, settings, 0));
    ASSERT_EQ(FinishPaperSizeEdit(*session, dialog, settings, context), ReplaceResult::Written);
}

TEST(Paper, SetWritesWhatTheDialogWritesForLetterA4A3) {
    std::optional<std::string> dialogDescription, dialogCapabilities;
    {
        testsupport::ScopedSandbox sandbox;
        testsupport::RecordingUi ui;
        SaveLikeTheDialog({"LETTER", "A4", "A3"}, "A3");
        ASSERT_TRUE(ui.boxes.empty());
        dialogDescription = testsupport::ReadHostFile(Locate(sandbox).description);
        dialogCapabilities = testsupport::ReadHostFile(Locate(sandbox).capabilities);
    }
    testsupport::ScopedSandbox sandbox;
    const cli::CliRun run = RunCli({"paper", "set", "--sizes", "LETTER,A4,A3", "--default", "A3"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(testsupport::ReadHostFile(Locate(sandbox).description), dialogDescription);
    EXPECT_EQ(testsupport::ReadHostFile(Locate(sandbox).capabilities), dialogCapabilities);
    // Both files now agree, and list reads the new state back.
    EXPECT_EQ(RunCli({"status"}).exitCode, 0);
    const cli::CliRun list = RunCli({"paper", "list", "--json"});
    EXPECT_EQ(list.Result().value("sizes").toArray().size(), 3);
    EXPECT_EQ(Str(list.Result().value("default")), "A3");
    EXPECT_EQ(Str(list.Result().value("unitAccuracy")), "US Standard");
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string message;  // part of the error message
    const char* user = "admin";
};

class EditorRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(EditorRefusals, KeepBothFiles) {
    const RefusalCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    sim::Config config = sim::ReadConfig();
    config.user = c.user;
    sandbox.SetConfig(config);
    const DriverFiles files = Locate(sandbox);
    const auto description = testsupport::ReadHostFile(files.description);
    const auto capabilities = testsupport::ReadHostFile(files.capabilities);
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const cli::CliRun run = RunCli(args);
    ASSERT_TRUE(run.parsed) << run.out;
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
    EXPECT_NE(Str(run.json.value("error").toObject().value("message")).find(c.message),
              std::string::npos)
        << run.out;
    EXPECT_EQ(testsupport::ReadHostFile(files.description), description);
    EXPECT_EQ(testsupport::ReadHostFile(files.capabilities), capabilities);
    EXPECT_TRUE(std::filesystem::exists(files.cache));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, EditorRefusals,
    ::testing::Values(
        RefusalCase{"DefaultNotAmongTheSizes",
                    {"paper", "set", "--sizes", "A4", "--default", "LETTER"},
                    2,
                    "The default paper size is not in the list"},
        RefusalCase{"UnknownSize",
                    {"paper", "set", "--sizes", "A4,FOOLSCAP", "--default", "A4"},
                    2,
                    "unknown paper size \"FOOLSCAP\""},
        RefusalCase{"SizeTwice",
                    {"paper", "set", "--sizes", "A4,a4", "--default", "A4"},
                    2,
                    "\"A4\" is given twice"},
        RefusalCase{"CustomZeroSide",
                    {"paper", "set", "--sizes", "A4", "--default", "A4", "--custom", "0x150"},
                    2,
                    "Invalid value. Integer value is needed."},
        RefusalCase{"CustomNotANumber",
                    {"paper", "set", "--sizes", "A4", "--default", "A4", "--custom", "10.5x150"},
                    2,
                    "Invalid value. Integer value is needed."},
        RefusalCase{"CustomWithoutDimensions",
                    {"paper", "set", "--sizes", "A4,CUSTOMSIZE", "--default", "A4"},
                    2,
                    "CUSTOMSIZE needs its dimensions"},
        RefusalCase{"CustomMalformed",
                    {"paper", "set", "--sizes", "A4", "--default", "A4", "--custom", "100"},
                    2,
                    "WIDTHxHEIGHT"},
        RefusalCase{"BothUnits",
                    {"paper", "set", "--sizes", "A4", "--default", "A4", "--us", "--international"},
                    2,
                    "exclude each other"},
        RefusalCase{"PaperNotAdministrator",
                    {"paper", "set", "--sizes", "A4", "--default", "A4"},
                    3,
                    "Permission denied.",
                    "filtered-admin"},
        RefusalCase{"SeveralResolutionsNotAllowed",
                    {"resolution", "set", "--dpi", "600,300", "--default", "600"},
                    2,
                    "several resolutions need --allow-multiple"},
        RefusalCase{"Resolution1200",
                    {"resolution", "set", "--dpi", "1200", "--default", "1200"},
                    2,
                    "does not support 1200 x 1200 DPI resolution."},
        RefusalCase{"ResolutionDefaultOutside",
                    {"resolution", "set", "--dpi", "600", "--default", "300"},
                    2,
                    "Default resolution is not selected. Please select 300 x 300"},
        RefusalCase{"ResolutionUnknown",
                    {"resolution", "set", "--dpi", "500", "--default", "500"},
                    2,
                    "\"500\" in --dpi is not one of"},
        RefusalCase{"ResolutionNotAdministrator",
                    {"resolution", "set", "--dpi", "600", "--default", "600"},
                    3,
                    "Permission denied.",
                    "standard"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// A default glued to an option's line would outrank the default written: the save is refused
// even where the rewrite would leave the bytes as they are, never "already said".
TEST(Editors, AGluedDefaultIsRefusedNotAlreadySaid) {
    testsupport::ScopedSandbox sandbox;
    const DriverFiles files = Locate(sandbox);
    ASSERT_EQ(RunCli({"paper", "set", "--sizes", "LETTER", "--default", "LETTER"}).exitCode, 0);
    std::string description = testsupport::ReadHostFile(files.description).value();
    description.insert(description.find("*Option: LETTER\r\n"), "*DefaultOption: A4*Option: X\r\n");
    testsupport::WriteHostFile(files.description, description);
    const cli::CliRun run = RunCli({"paper", "set", "--sizes", "OPTION: A4*OPTION: X,LETTER",
                                    "--default", "LETTER", "--json"});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(Str(run.json.value("error").toObject().value("message"))
                  .find("holds the line \"*DefaultOption: A4*Option: X\""),
              std::string::npos)
        << run.out;
    EXPECT_EQ(testsupport::ReadHostFile(files.description), description);
    // --check foresees the run's refusals; a custom size kept as written stays.
    testsupport::WriteHostFile(files.description, description + std::string("\0", 1));
    EXPECT_EQ(
        RunCli({"paper", "set", "--sizes", "LETTER", "--default", "LETTER", "--check"}).exitCode,
        1);
    description.insert(description.find("*Option: LETTER\r\n"),
                       "*Option: CUSTOMSIZE\r\n{\r\n*PrintableArea: none\r\n}\r\n");
    testsupport::WriteHostFile(files.description, description);
    EXPECT_EQ(
        RunCli({"paper", "set", "--sizes", "A4,CUSTOMSIZE,LETTER", "--default", "A4"}).exitCode, 0);
    EXPECT_NE(testsupport::ReadHostFile(files.description)->find("none"), std::string::npos);
}

TEST(Editors, AMissingDescriptionIsTheCorruptionRefusalWithTheReinstallRemedy) {
    testsupport::ScopedSandbox sandbox;
    std::filesystem::remove(Locate(sandbox).description);
    for (std::vector<std::string> args :
         {std::vector<std::string>{"paper", "list", "--json"},
          {"paper", "set", "--sizes", "A4", "--default", "A4", "--json"},
          {"resolution", "set", "--dpi", "600", "--default", "600", "--json"}}) {
        const cli::CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        const QJsonObject error = run.json.value("error").toObject();
        EXPECT_EQ(Str(error.value("message")),
                  "Microsoft Print to PDF is corrupted. You need to reinstall it.");
        EXPECT_EQ(cli::RemedyPosix(error.value("remedy")), "quellin-cli reinstall");
    }
}

TEST(Editors, ADescriptionThatCannotBeWrittenIsAFileError) {
    testsupport::ScopedSandbox sandbox;
    const driverconfig::DriverFilePaths paths =
        driverconfig::DriverFilePathsFor(driverconfig::ReadDriverFileNames(256));
    sim::SetRedirectionEnabled(false);
    ASSERT_TRUE(win::SetFileAttributesA(paths.mergedConfigPath, win::FILE_ATTRIBUTE_READONLY));
    sim::SetRedirectionEnabled(true);
    const auto before = testsupport::ReadHostFile(Locate(sandbox).description);
    const cli::CliRun run = RunCli({"paper", "set", "--sizes", "A4", "--default", "A4", "--json"});
    EXPECT_EQ(run.exitCode, 5) << run.out;
    EXPECT_TRUE(run.json.value("error").toObject().value("windowsError").isObject());
    EXPECT_EQ(testsupport::ReadHostFile(Locate(sandbox).description), before);
}

TEST(Editors, ListsReadWhatTheDialogsShow) {
    testsupport::ScopedSandbox sandbox;
    ASSERT_EQ(
        RunCli({"resolution", "set", "--dpi", "100,400", "--default", "100", "--allow-multiple"})
            .exitCode,
        0);
    const cli::CliRun resolutions = RunCli({"resolution", "list", "--json"});
    EXPECT_EQ(resolutions.exitCode, 0);
    const QJsonArray options = resolutions.Result().value("options").toArray();
    ASSERT_EQ(options.size(), 2);
    EXPECT_EQ(options[0].toObject().value("dpi").toInt(), 400);
    EXPECT_EQ(Str(resolutions.Result().value("defaultOption")), "ResOption2");
    EXPECT_EQ(resolutions.Result().value("default").toInt(), 100);

    ASSERT_EQ(RunCli({"paper", "set", "--sizes", "A4,LETTER", "--default", "A4", "--international",
                      "--custom", "100x150"})
                  .exitCode,
              0);
    const cli::CliRun paper = RunCli({"paper", "list", "--all", "--json"});
    const QJsonObject result = paper.Result();
    // Both accuracies write the US sizes alike, but A4 at its exact width shows the choice.
    EXPECT_EQ(Str(result.value("unitAccuracy")), "International Standard");
    EXPECT_EQ(result.value("custom").toObject().value("widthMm").toInt(), 100);
    EXPECT_EQ(result.value("sizes").toArray().size(), 3);  // A4, LETTER, CUSTOMSIZE
    EXPECT_GT(result.value("catalogue").toArray().size(), 100);
    // restore-default brings back the ten sizes with LETTER the default, the custom size kept.
    EXPECT_EQ(RunCli({"paper", "restore-default"}).exitCode, 0);
    const QJsonObject restored = RunCli({"paper", "list", "--json"}).Result();
    EXPECT_EQ(restored.value("sizes").toArray().size(), 10);
    EXPECT_EQ(Str(restored.value("default")), "LETTER");
    EXPECT_EQ(Str(restored.value("unitAccuracy")), "US Standard");
}

}  // namespace

}  // namespace quellin::cli
