#include "driverconfig/driver_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "driverconfig/paper_catalogue.h"
#include "driverconfig/text.h"
#include "driverconfig/text_model.h"
#include "platform/filesystem.h"
#include "platform/registry.h"
#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/ui.h"
#include "support/sandbox_fixture.h"
#include "system/admin.h"
#include "system/errors.h"

namespace quellin::driverconfig {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

constexpr win::DWORD kWow64 = win::KEY_WOW64_64KEY;

struct PathsCase {
    const char* label;
    DriverFileNames names;
    const char* merged;
    const char* capabilities;
    const char* cache;
    const char* copy;
};

class BuildPathsTest : public ::testing::TestWithParam<PathsCase> {};

TEST_P(BuildPathsTest, JoinsWithBackslashes) {
    const PathsCase& c = GetParam();
    DriverFilePaths paths = BuildDriverFilePaths(c.names, "C:\\Windows");
    EXPECT_EQ(paths.spoolFolder, "C:\\Windows\\system32\\spool");
    EXPECT_EQ(paths.queueFolder,
              "C:\\Windows\\system32\\spool\\V4Dirs\\" + c.names.queueFolderName);
    EXPECT_EQ(paths.mergedConfigPath, c.merged);
    EXPECT_EQ(paths.deviceCapabilitiesPath, c.capabilities);
    EXPECT_EQ(paths.cachePath, c.cache);
    EXPECT_EQ(paths.mergedCopyPath, c.copy);
}

INSTANTIATE_TEST_SUITE_P(Names, BuildPathsTest,
                         ::testing::ValuesIn(std::vector<PathsCase>{
                             {"usual",
                              {"Q", "ABCD.gpd", "pdc.xml"},
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\ABCD.gpd",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\pdc.xml",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\ABCD.BUD",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\merged.gpd"},
                             {"no_extension",
                              {"Q", "conf", ""},
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\conf",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\conf.BUD",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\merged.gpd"},
                             {"dot_in_folder_only",
                              {"Q.1", "conf", "c.xml"},
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q.1\\conf",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q.1\\c.xml",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q.1\\conf.BUD",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q.1\\merged.gpd"},
                             {"name_in_subfolder_moves_siblings",
                              {"Q", "sub\\a.b.gpd", "pdc.xml"},
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\sub\\a.b.gpd",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\sub\\pdc.xml",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\sub\\a.b.BUD",
                              "C:\\Windows\\system32\\spool\\V4Dirs\\Q\\sub\\merged.gpd"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

// A seeded sandbox with the printer installed, and the user interface recorded. Members are
// public so that table rows can break the sandbox through them.
class DriverFilesTest : public ::testing::Test {
  public:
    void SetUp() override {
        names_ = ReadDriverFileNames(kWow64);
        paths_ = DriverFilePathsFor(names_);
    }

    fs::path Host(const std::string& windowsPath) const { return sandbox_.HostPath(windowsPath); }
    std::string HostBytes(const std::string& windowsPath) const {
        return ReadHostFile(Host(windowsPath)).value_or("<missing>");
    }

    void SetDriverValue(const char* value, const std::string& data) {
        win::UniqueHKey key;
        ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kPrinterDriverDataKey, 0,
                                     win::KEY_ALL_ACCESS | kWow64, key.put()),
                  0);
        ASSERT_EQ(win::RegSetValueExA(key.get(), value, win::REG_SZ,
                                      reinterpret_cast<const win::BYTE*>(data.c_str()),
                                      static_cast<win::DWORD>(data.size() + 1)),
                  0);
    }

    void DropAdministratorRights() {
        sim::Config config = sim::ReadConfig();
        config.user = "standard";
        sandbox_.SetConfig(config);
    }

    void DeleteDriverValue(const char* key, const char* value) {
        win::UniqueHKey hkey;
        ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, key, 0, win::KEY_ALL_ACCESS | kWow64,
                                     hkey.put()),
                  0);
        ASSERT_EQ(win::RegDeleteValueA(hkey.get(), value), 0);
    }

    testsupport::ScopedSandbox sandbox_;
    testsupport::RecordingUi ui_;
    DriverFileNames names_;
    DriverFilePaths paths_;
};

TEST_F(DriverFilesTest, SeededNamesReadThroughTheSixtyFourBitView) {
    EXPECT_FALSE(names_.queueFolderName.empty());
    EXPECT_EQ(fs::path(names_.mergedConfigName).extension(), ".gpd");
    EXPECT_EQ(names_.deviceCapabilitiesName, "pdc.xml");
    EXPECT_TRUE(fs::is_regular_file(Host(paths_.mergedConfigPath)));
    // Without the flag a 32-bit program reads the WOW6432Node copy, which has no printer.
    DriverFileNames redirected = ReadDriverFileNames(0);
    EXPECT_TRUE(redirected.queueFolderName.empty());
    EXPECT_TRUE(redirected.mergedConfigName.empty());
}

TEST_F(DriverFilesTest, NonStringValueReadsEmpty) {
    win::UniqueHKey key;
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kPrinterDriverDataKey, 0,
                                 win::KEY_ALL_ACCESS | kWow64, key.put()),
              0);
    win::DWORD number = 7;
    ASSERT_EQ(win::RegSetValueExA(key.get(), "V4_PrintDeviceCapabilities", win::REG_DWORD,
                                  reinterpret_cast<const win::BYTE*>(&number), sizeof number),
              0);
    EXPECT_EQ(ReadDriverFileNames(kWow64).deviceCapabilitiesName, "");
}

struct LocateCase {
    const char* label;
    std::function<void(DriverFilesTest&)> breakIt;
    const char* message;  // nullptr: located
};

class LocateTest : public DriverFilesTest, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(LocateTest, ShowsTheMessageOfTheFirstFailedTest) {
    GetParam().breakIt(*this);
    std::optional<DriverFilePaths> located = LocateDriverFiles({kWow64, 0});
    if (GetParam().message == nullptr) {
        ASSERT_TRUE(located.has_value());
        EXPECT_EQ(located->mergedConfigPath, paths_.mergedConfigPath);
        EXPECT_TRUE(ui_.boxes.empty());
        return;
    }
    EXPECT_FALSE(located.has_value());
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].text, GetParam().message);
    EXPECT_TRUE(sim::RedirectionEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LocateTest,
    ::testing::ValuesIn(std::vector<LocateCase>{
        {"seeded", [](DriverFilesTest&) {}, nullptr},
        {"capabilities_name_not_tested",
         [](DriverFilesTest& t) { t.SetDriverValue("V4_PrintDeviceCapabilities", ""); }, nullptr},
        {"queue_folder_value_missing",
         [](DriverFilesTest& t) {
             t.DeleteDriverValue(kPrinterKey, "PrintQueueV4DriverDirectory");
         },
         kNamesMissingText},
        {"merged_name_empty",
         [](DriverFilesTest& t) { t.SetDriverValue("V4_Merged_ConfigFile_Name", ""); },
         kNamesMissingText},
        // Names that climb out of the queue's folder are refused even when they lead back in.
        {"description_name_climbs_out",
         [](DriverFilesTest& t) {
             t.SetDriverValue("V4_Merged_ConfigFile_Name",
                              "..\\" + t.names_.queueFolderName + "\\" + t.names_.mergedConfigName);
         },
         kFilesMissingText},
        {"capabilities_name_climbs_out",
         [](DriverFilesTest& t) {
             t.SetDriverValue("V4_PrintDeviceCapabilities",
                              "..\\" + t.names_.queueFolderName + "\\pdc.xml");
         },
         kFilesMissingText},
        {"description_missing",
         [](DriverFilesTest& t) { fs::remove(t.Host(t.paths_.mergedConfigPath)); },
         kFilesMissingText},
        {"description_is_a_folder",
         [](DriverFilesTest& t) {
             fs::remove(t.Host(t.paths_.mergedConfigPath));
             fs::create_directory(t.Host(t.paths_.mergedConfigPath));
         },
         kFilesMissingText},
        {"queue_folder_missing",
         [](DriverFilesTest& t) { fs::remove_all(t.Host(t.paths_.queueFolder)); },
         kFilesMissingText},
        // The administrator test comes first, so a broken installation is not even looked at.
        {"no_administrator_before_empty_names",
         [](DriverFilesTest& t) {
             t.SetDriverValue("V4_Merged_ConfigFile_Name", "");
             t.DropAdministratorRights();
         },
         quellin::system::kPermissionDeniedText},
        {"no_administrator_before_missing_files",
         [](DriverFilesTest& t) {
             t.DropAdministratorRights();
             fs::remove_all(t.Host(t.paths_.queueFolder));
         },
         quellin::system::kPermissionDeniedText},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(DriverFilesTest, LocateRefusesWithoutAdministratorRights) {
    sim::Config config = sim::ReadConfig();
    config.user = "standard";
    sandbox_.SetConfig(config);
    EXPECT_FALSE(LocateDriverFiles({kWow64, 0}).has_value());
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].text, quellin::system::kPermissionDeniedText);
    EXPECT_EQ(ui_.boxes[0].caption, "Quellin 1.1");
}

TEST_F(DriverFilesTest, CorruptedMessageIsPlainAndTitledWithApplicationTitle) {
    SetDriverValue("V4_Merged_ConfigFile_Name", "");
    LocateDriverFiles({kWow64, 42});
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].caption, "Quellin");
    EXPECT_EQ(ui_.boxes[0].flags, win::MB_OK);
    EXPECT_EQ(ui_.boxes[0].owner, 42u);
}

TEST_F(DriverFilesTest, FileWorkSwitchesRedirectionOffAndBackOn) {
    // System32 is redirected for a 32-bit program, so the two copies tell which one was read.
    WriteHostFile(sim::HostPathNative("C:\\Windows\\System32\\probe.txt"), "native\n");
    WriteHostFile(sim::HostPathNative("C:\\Windows\\SysWOW64\\probe.txt"), "wow64\n");
    EXPECT_EQ(ReadWorkingText("C:\\Windows\\System32\\probe.txt", kWow64), "native\r\n");
    EXPECT_TRUE(sim::RedirectionEnabled());
    EXPECT_EQ(ReadWorkingText("C:\\Windows\\System32\\probe.txt", 0), "wow64\r\n");
    EXPECT_THROW(ReadWorkingText("C:\\Windows\\System32\\missing.txt", kWow64),
                 quellin::system::SystemError);
    EXPECT_TRUE(sim::RedirectionEnabled());
    WriteWholeFile("C:\\Windows\\System32\\probe.txt", "x", kWow64);
    EXPECT_TRUE(sim::RedirectionEnabled());
    EXPECT_EQ(HostBytes("C:\\Windows\\System32\\probe.txt"), "x");
    EXPECT_EQ(HostBytes("C:\\Windows\\SysWOW64\\probe.txt"), "wow64\n");
}

TEST_F(DriverFilesTest, ReadWorkingTextNormalisesLineEnds) {
    WriteHostFile(Host(paths_.mergedConfigPath), "a\nb\rc");
    EXPECT_EQ(ReadWorkingText(paths_.mergedConfigPath, kWow64), "a\r\nb\r\nc\r\n");
}

TEST_F(DriverFilesTest, WriteWholeFileReplacesWithExactBytesAndLeavesNoTemporaryFile) {
    std::string text("a\r\nb\0c", 6);
    WriteWholeFile(paths_.mergedConfigPath, text, kWow64);
    EXPECT_EQ(HostBytes(paths_.mergedConfigPath), text);
    WriteWholeFile(paths_.queueFolder + "\\new.txt", "", kWow64);
    EXPECT_EQ(HostBytes(paths_.queueFolder + "\\new.txt"), "");
    for (const auto& entry : fs::directory_iterator(Host(paths_.queueFolder))) {
        EXPECT_NE(entry.path().filename().string()[0], '~') << entry.path();
    }
}

struct WriteFailureCase {
    const char* label;
    std::function<void(const std::string& file)> breakIt;
};

class WriteFailureTest : public DriverFilesTest,
                         public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailureTest, OldFileStaysWhole) {
    std::string before = HostBytes(paths_.mergedConfigPath);
    GetParam().breakIt(paths_.mergedConfigPath);
    std::string replacement(before.size() * 2, 'x');
    EXPECT_THROW(WriteWholeFile(paths_.mergedConfigPath, replacement, kWow64),
                 quellin::system::SystemError);
    sim::ClearInjectedFailures();
    EXPECT_TRUE(HostBytes(paths_.mergedConfigPath) == before);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(Host(paths_.queueFolder))) {
        EXPECT_NE(entry.path().filename().string()[0], '~') << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 3u);
    EXPECT_TRUE(sim::RedirectionEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFailureTest,
    ::testing::ValuesIn(std::vector<WriteFailureCase>{
        {"disk_full_midway", [](const std::string&) { sim::InjectWriteFailure("*.gpd", 100); }},
        {"disk_full_at_once", [](const std::string&) { sim::InjectWriteFailure("*.gpd", 0); }},
        {"target_read_only",
         [](const std::string& file) {
             ASSERT_TRUE(win::SetFileAttributesA(file, win::FILE_ATTRIBUTE_READONLY));
         }},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(DriverFilesTest, InvalidateDeletesCacheAndMergedCopy) {
    WriteHostFile(Host(paths_.mergedCopyPath), "copy");
    ASSERT_TRUE(fs::exists(Host(paths_.cachePath)));
    InvalidateDriverCache(paths_, kWow64);
    EXPECT_FALSE(fs::exists(Host(paths_.cachePath)));
    EXPECT_FALSE(fs::exists(Host(paths_.mergedCopyPath)));
    EXPECT_TRUE(fs::exists(Host(paths_.mergedConfigPath)));
    InvalidateDriverCache(paths_, kWow64);  // nothing left to delete is fine
}

TEST_F(DriverFilesTest, InvalidateKeepsADescriptionNamedMergedGpd) {
    DriverFileNames names = names_;
    names.mergedConfigName = "MERGED.GPD";
    DriverFilePaths paths = DriverFilePathsFor(names);
    WriteHostFile(Host(paths.mergedConfigPath), "description");
    InvalidateDriverCache(paths, kWow64);
    EXPECT_EQ(HostBytes(paths.mergedConfigPath), "description");
}

TEST_F(DriverFilesTest, InvalidateKeepsDescriptionNamedLikeTheCache) {
    DriverFileNames names = names_;
    names.mergedConfigName = "conf.bud";
    DriverFilePaths paths = DriverFilePathsFor(names);
    WriteHostFile(Host(paths.mergedConfigPath), "description");
    InvalidateDriverCache(paths, kWow64);
    EXPECT_EQ(HostBytes(paths.mergedConfigPath), "description");
}

TEST_F(DriverFilesTest, InvalidateIgnoresACacheThatCannotBeDeleted) {
    win::SetFileAttributesA(paths_.cachePath, win::FILE_ATTRIBUTE_READONLY);
    EXPECT_NO_THROW(InvalidateDriverCache(paths_, kWow64));
    EXPECT_TRUE(fs::exists(Host(paths_.cachePath)));
}

// The options and default of a feature as the editors read them.
struct CurrentPaper {
    std::string defaultName;
    std::vector<PaperOption> options;
};

CurrentPaper ReadPaper(const std::string& description) {
    FeatureScan scan = ScanFeatureBlock(SplitFeatureBlock(description, kPaperSizeHeader).block);
    CurrentPaper paper{scan.defaultName, {}};
    for (const ScannedOption& option : scan.options) {
        std::optional<PaperOption> known = MakePaperOption(option.name, KeywordTableText(), {});
        EXPECT_TRUE(known.has_value()) << option.name;
        if (known) {
            paper.options.push_back(*known);
        }
    }
    return paper;
}

std::vector<int> ReadResolutions(const std::string& description, std::string* defaultName) {
    FeatureScan scan = ScanFeatureBlock(SplitFeatureBlock(description, kResolutionHeader).block);
    *defaultName = scan.defaultName;
    std::vector<int> dpi;
    for (const ScannedOption& option : scan.options) {
        dpi.push_back(
            static_cast<int>(DigitsToInt(ReadResolutionText(option.window.value_or("")))));
    }
    return dpi;
}

TEST_F(DriverFilesTest, RoundTripOverSeededFilesChangesOnlyTheReplacedBlocks) {
    const std::string description = HostBytes(paths_.mergedConfigPath);
    const std::string capabilities = HostBytes(paths_.deviceCapabilitiesPath);

    CurrentPaper paper = ReadPaper(description);
    ASSERT_EQ(paper.options.size(), 10u);
    EXPECT_EQ(paper.defaultName, "LETTER");
    EXPECT_EQ(ReplaceDriverFeature(paths_, PaperSizeReplacement(paper.defaultName, paper.options),
                                   {kWow64, 0}),
              ReplaceResult::Written);
    EXPECT_FALSE(fs::exists(Host(paths_.cachePath)));

    std::string resDefault;
    std::vector<int> dpi = ReadResolutions(description, &resDefault);
    EXPECT_EQ(dpi, std::vector<int>{600});
    EXPECT_EQ(ReplaceDriverFeature(paths_, ResolutionReplacement(resDefault, dpi), {kWow64, 0}),
              ReplaceResult::Written);
    EXPECT_TRUE(ui_.boxes.empty());

    // The seeded files already have CR LF line ends and the same features, so the only change
    // is what the Resolution block owns beyond its closing brace: the comment lines in front
    // of the next feature.
    std::size_t res = description.find("*Feature: Resolution");
    std::size_t close = description.find("}\r\n}\r\n", res) + 6;
    std::size_t next = description.find("*Feature: ", res + 20);
    std::string expected = description.substr(0, close) + description.substr(next);
    EXPECT_EQ(HostBytes(paths_.mergedConfigPath), expected);
    EXPECT_EQ(HostBytes(paths_.deviceCapabilitiesPath), capabilities);
}

TEST_F(DriverFilesTest, ReplaceWritesNewSizesIntoBothFiles) {
    std::vector<PaperOption> options = {*MakePaperOption("A4", KeywordTableText(), {}),
                                        {"CUSTOMSIZE", "UserDefinedSize", 1800000, 2700000}};
    ASSERT_EQ(ReplaceDriverFeature(paths_, PaperSizeReplacement("A4", options), {kWow64, 0}),
              ReplaceResult::Written);
    std::string description = HostBytes(paths_.mergedConfigPath);
    EXPECT_NE(description.find("*PrintableArea: PAIR(3780000, 5346000)\r\n"), std::string::npos);
    EXPECT_EQ(description.find("LETTER"), std::string::npos);
    EXPECT_NE(description.find("}\r\n}\r\n*Feature: Resolution"), std::string::npos);
    std::string capabilities = HostBytes(paths_.deviceCapabilitiesPath);
    EXPECT_NE(capabilities.find("<psk:ISOA4 psf2:psftype=\"Option\" psf2:default=\"true\">"),
              std::string::npos);
    EXPECT_NE(capabilities.find("0,0,100000,150000<"), std::string::npos);
    EXPECT_EQ(capabilities.find("NorthAmericaLetter"), std::string::npos);
}

TEST_F(DriverFilesTest, LfDescriptionComesBackWithCrLfEverywhere) {
    std::string lf = HostBytes(paths_.mergedConfigPath);
    std::erase(lf, '\r');
    WriteHostFile(Host(paths_.mergedConfigPath), lf);
    ASSERT_EQ(ReplaceDriverFeature(paths_, ResolutionReplacement("ResOption1", {600}), {kWow64, 0}),
              ReplaceResult::Written);
    std::string out = HostBytes(paths_.mergedConfigPath);
    std::size_t lines = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n') {
            ASSERT_TRUE(i > 0 && out[i - 1] == '\r') << "bare LF at " << i;
            ++lines;
        } else if (out[i] == '\r') {
            ASSERT_TRUE(i + 1 < out.size() && out[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    EXPECT_GT(lines, 100u);
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
}

TEST_F(DriverFilesTest, ReplaceWithoutCapabilitiesDocumentWritesDescriptionSilently) {
    SetDriverValue("V4_PrintDeviceCapabilities", "");
    DriverFilePaths paths = DriverFilePathsFor(ReadDriverFileNames(kWow64));
    std::string capabilities = HostBytes(paths_.deviceCapabilitiesPath);
    EXPECT_EQ(ReplaceDriverFeature(paths, ResolutionReplacement("ResOption1", {300}), {kWow64, 0}),
              ReplaceResult::DescriptionOnly);
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_NE(HostBytes(paths.mergedConfigPath).find("*DPI: PAIR(300, 300)"), std::string::npos);
    EXPECT_EQ(HostBytes(paths_.deviceCapabilitiesPath), capabilities);
    EXPECT_FALSE(fs::exists(Host(paths.cachePath)));
}

struct RefusalCase {
    const char* label;
    std::string description;  // empty: keep the seeded one
    std::string capabilities;
    ReplaceResult result;
    const char* messageStart;
};

class RefusalTest : public DriverFilesTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, TouchesNoFile) {
    const RefusalCase& c = GetParam();
    if (!c.description.empty()) {
        WriteHostFile(Host(paths_.mergedConfigPath), c.description);
    }
    if (!c.capabilities.empty()) {
        WriteHostFile(Host(paths_.deviceCapabilitiesPath), c.capabilities);
    }
    std::string description = HostBytes(paths_.mergedConfigPath);
    std::string capabilities = HostBytes(paths_.deviceCapabilitiesPath);
    std::string cache = HostBytes(paths_.cachePath);
    EXPECT_EQ(ReplaceDriverFeature(paths_, PaperSizeReplacement("LETTER", {}), {kWow64, 0}),
              c.result);
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].text.rfind(c.messageStart, 0), 0u) << ui_.boxes[0].text;
    EXPECT_EQ(ui_.boxes[0].caption, "Quellin");
    EXPECT_EQ(HostBytes(paths_.mergedConfigPath), description);
    EXPECT_EQ(HostBytes(paths_.deviceCapabilitiesPath), capabilities);
    EXPECT_EQ(HostBytes(paths_.cachePath), cache);
}

INSTANTIATE_TEST_SUITE_P(Files, RefusalTest,
                         ::testing::ValuesIn(std::vector<RefusalCase>{
                             {"description_starts_with_header",
                              "*Feature: PaperSize\n{\n}\n*Feature: Resolution\n{\n}\n", "",
                              ReplaceResult::NoFeatureBlock, "The configuration"},
                             {"last_feature_never_closes", "*%\n*Feature: PaperSize\n{\n{\n}\n", "",
                              ReplaceResult::NoFeatureBlock, "The configuration"},
                             {"description_without_feature", "*%\n*Feature: Resolution\n{\n}\n", "",
                              ReplaceResult::NoFeatureBlock, "The configuration"},
                             {"capabilities_without_element", "",
                              "<?xml?>\n<psf2:PrintDeviceCapabilities/>\n",
                              ReplaceResult::NoCapabilityElement, "The device capabilities"},
                             {"capabilities_element_unclosed", "",
                              "<?xml?>\n  <psk:PageMediaSize psf2:psftype=\"Feature\">\n",
                              ReplaceResult::NoCapabilityElement, "The device capabilities"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DriverFilesTest, FailedDescriptionWriteLeavesBothFilesWhole) {
    std::string description = HostBytes(paths_.mergedConfigPath);
    std::string capabilities = HostBytes(paths_.deviceCapabilitiesPath);
    sim::InjectWriteFailure("*.gpd", 1000);
    EXPECT_THROW(
        ReplaceDriverFeature(paths_, ResolutionReplacement("ResOption1", {300}), {kWow64, 0}),
        quellin::system::SystemError);
    sim::ClearInjectedFailures();
    EXPECT_EQ(HostBytes(paths_.mergedConfigPath), description);
    EXPECT_EQ(HostBytes(paths_.deviceCapabilitiesPath), capabilities);
}

TEST_F(DriverFilesTest, FailedCapabilitiesWriteKeepsItWholeAndDescriptionWritten) {
    std::string capabilities = HostBytes(paths_.deviceCapabilitiesPath);
    sim::InjectWriteFailure("*.xml", 10);
    EXPECT_THROW(
        ReplaceDriverFeature(paths_, ResolutionReplacement("ResOption1", {300}), {kWow64, 0}),
        quellin::system::SystemError);
    sim::ClearInjectedFailures();
    EXPECT_NE(HostBytes(paths_.mergedConfigPath).find("*DPI: PAIR(300, 300)"), std::string::npos);
    EXPECT_EQ(HostBytes(paths_.deviceCapabilitiesPath), capabilities);
}

}  // namespace
}  // namespace quellin::driverconfig
