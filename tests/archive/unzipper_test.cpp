#include "archive/unzipper.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "archive/zipper.h"
#include "archive_builder.h"
#include "file_helpers.h"

namespace quellin::archive {
namespace {

using namespace testdata;

const std::string kZip = "C:\\Work\\in.roy";
const std::string kDest = "C:\\Users\\User\\AppData\\Local\\Temp\\PrintToPDF17D4093";

class UnZipperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unzipper.ZipName = kZip;
        unzipper.DoAll = true;
        unzipper.DestDir = kDest;
        unzipper.OverwriteMode = TOverwriteMode::Always;
    }
    void Put(const std::vector<FixtureEntry>& entries, const FixtureOptions& options = {}) {
        PutBytes(kZip, BuildArchive(entries, options));
    }
    // Every file in the sandbox's Work and Temp folders, so a test sees anything written
    // outside the target folder too.
    std::vector<std::string> Everything() {
        std::vector<std::string> all;
        for (const std::string& folder :
             std::vector<std::string>{"C:\\Work", "C:\\Users\\User\\AppData\\Local\\Temp",
                                      "C:\\Users\\User\\AppData\\Local", kDest}) {
            for (const auto& n : ListFolder(folder)) {
                all.push_back(folder + "\\" + n);
            }
        }
        return all;
    }

    testsupport::ScopedSandbox sandbox;
    TUnZipper unzipper;
};

TEST_F(UnZipperTest, ExtractsEveryEntryUnderItsBareNameWithDateAndAttributes) {
    Put({{.Name = "1.reg", .Data = "hive one"},
         {.Name = "drivers/sub/x.gpd", .Data = std::string(70000, 'g'), .ExternalAttributes = 0x21},
         {.Name = "folder/", .Data = "", .Method = kMethodStored},
         {.Name = "s.txt",
          .Data = "stored",
          .Method = kMethodStored,
          .DosDateTime = Dos(2023, 6, 15, 13, 61, 0)}});
    EXPECT_EQ(unzipper.UnZip(), 3);
    EXPECT_EQ(GetFile(kDest + "\\1.reg"), "hive one");
    EXPECT_EQ(GetFile(kDest + "\\x.gpd"), std::string(70000, 'g'));
    EXPECT_EQ(GetFile(kDest + "\\s.txt"), "stored");
    EXPECT_EQ(win::GetFileAttributesA(kDest + "\\x.gpd"),
              win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_ARCHIVE);
    // Minute 61 reads as 59.
    EXPECT_EQ(GetWriteTime(kDest + "\\s.txt"), DosToFileTime(Dos(2023, 6, 15, 13, 59, 0)));
    EXPECT_EQ(FileTimeToDos(GetWriteTime(kDest + "\\s.txt")), Dos(2023, 6, 15, 13, 59, 0));
    EXPECT_EQ(ListFolder(kDest).size(), 3u);
}

TEST_F(UnZipperTest, RoundTripThroughTheZipperKeepsBytesAndTimes) {
    std::string big;
    for (int i = 0; i < 200000; ++i) {
        big += static_cast<char>((i * 7919) >> 3);
    }
    // Several buffers' worth of incompressible bytes first: later, smaller entries reuse the
    // buffers and must not pick up what they held.
    std::string noise(700000, '\0');
    for (std::uint32_t i = 0, x = 1; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    }
    PutFile("C:\\Work\\c.bin", noise);
    PutFile("C:\\Work\\a.gpd", big);
    PutFile("C:\\Work\\b.xml", "");
    SetWriteTime("C:\\Work\\a.gpd", 2021, 3, 4, 5, 6, 8);
    TZipper zipper;
    zipper.ZipName = kZip;
    zipper.PackLevel = 9;
    zipper.FilesList = {"C:\\Work\\c.bin", "C:\\Work\\a.gpd", "C:\\Work\\b.xml"};
    zipper.Zip();
    EXPECT_EQ(unzipper.UnZip(), 3);
    EXPECT_EQ(GetFile(kDest + "\\c.bin"), noise);
    EXPECT_EQ(GetFile(kDest + "\\a.gpd"), big);
    EXPECT_EQ(GetFile(kDest + "\\b.xml"), "");
    EXPECT_EQ(GetWriteTime(kDest + "\\a.gpd"), GetWriteTime("C:\\Work\\a.gpd"));
}

struct HostileNameCase {
    const char* label;
    std::string name;
    bool recreateDirs;
    std::string lands;  // file name inside DestDir, or empty when skipped
};

class HostileNames : public UnZipperTest, public ::testing::WithParamInterface<HostileNameCase> {};

TEST_P(HostileNames, NothingIsWrittenOutsideTheTargetFolder) {
    const auto& c = GetParam();
    unzipper.RecreateDirs = c.recreateDirs;
    Put({{.Name = c.name, .Data = "evil"}, {.Name = "ok.txt", .Data = "fine"}});
    const auto before = Everything();
    const int extracted = unzipper.UnZip();
    EXPECT_EQ(extracted, c.lands.empty() ? 1 : 2);
    auto after = Everything();
    std::vector<std::string> expected = before;
    expected.push_back(kDest);
    expected.push_back(kDest + "\\ok.txt");
    if (!c.lands.empty() && c.lands != "ok.txt") {
        expected.push_back(kDest + "\\" + c.lands);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(after.begin(), after.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(after, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNames,
    ::testing::ValuesIn(std::vector<HostileNameCase>{
        {"parent_folder_part_is_dropped", "../../evil.txt", false, "evil.txt"},
        {"absolute_folder_part_is_dropped", "/Work/evil.txt", false, "evil.txt"},
        {"backslash_traversal_is_dropped", "..\\..\\evil.txt", false, "evil.txt"},
        {"parent_folder_with_recreate_is_skipped", "../evil.txt", true, ""},
        {"drive_in_folder_with_recreate_is_skipped", "C:/Work/evil.txt", true, ""},
        {"dot_dot_alone", "..", false, ""},
        {"dot_dot_after_folder", "a/..", false, ""},
        {"drive_colon", "C:evil.txt", false, ""},
        {"stream_colon", "ok.txt:hidden", false, ""},
        {"control_character", "ev\x01il.txt", false, ""},
        {"device_name", "CON", false, ""},
        {"device_name_with_extension", "nul.reg", false, ""},
        {"trailing_dot", "evil.", false, ""},
        {"overlong_utf8_slash",
         "..\xC0\xAF"
         "evil.txt",
         false, ""},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(UnZipperTest, LyingSizesAndBadChecksumsLeaveNoFileAndNoLargeFile) {
    Put({{.Name = "claims_4_gib.bin",
          .Data = std::string(100, 'x'),
          .UncompressedSize = 0xFFFFFFF0},
         {.Name = "bomb.bin", .Data = std::string(2000000, 0), .UncompressedSize = 1000},
         {.Name = "bad_crc.bin", .Data = "data", .Crc32 = 0x12345678},
         {.Name = "good.bin", .Data = "good"}});
    EXPECT_EQ(unzipper.UnZip(), 1);
    EXPECT_EQ(ListFolder(kDest), std::vector<std::string>{"good.bin"});
}

TEST_F(UnZipperTest, ADamagedEntryKeepsTheFileItWouldHaveReplaced) {
    PutFile(kDest + "\\1.reg", "precious");
    Put({{.Name = "1.reg", .Data = "new", .Crc32 = 1}});
    EXPECT_EQ(unzipper.UnZip(), 0);
    EXPECT_EQ(GetFile(kDest + "\\1.reg"), "precious");
}

TEST_F(UnZipperTest, TruncatedDataRaisesAndLeavesNoPartialFile) {
    const std::string data(100000, 'z');
    std::string stream = RawDeflate(data + std::string(1, 'q'));
    Put({{.Name = "first.txt", .Data = "first"},
         {.Name = "cut.txt", .Data = data, .Payload = stream.substr(0, 40)},
         {.Name = "never.txt", .Data = "never"}});
    EXPECT_THROW(unzipper.UnZip(), EFatalUnzipError);
    EXPECT_EQ(ListFolder(kDest), std::vector<std::string>{"first.txt"});

    Put({{.Name = "garbage.txt", .Data = "abc", .Payload = std::string("\xFF\xFF\xFF", 3)}});
    try {
        unzipper.DoAll = true;
        unzipper.UnZip();
        FAIL() << "no error";
    } catch (const EZCompressionError& e) {
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(ListFolder(kDest), std::vector<std::string>{"first.txt"});
}

struct ArchiveErrorCase {
    const char* label;
    std::optional<std::string> content;  // nullopt: no file at all
    std::string text;
};

class ArchiveErrors : public UnZipperTest,
                      public ::testing::WithParamInterface<ArchiveErrorCase> {};

TEST_P(ArchiveErrors, RaiseTheComponentsText) {
    ForceDirectories("C:\\Work");
    if (GetParam().content) {
        PutFile(kZip, *GetParam().content);
    }
    try {
        unzipper.UnZip();
        FAIL() << "no error";
    } catch (const EZipperError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().text);
    }
    EXPECT_TRUE(unzipper.FilesList.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ArchiveErrors,
    ::testing::ValuesIn(std::vector<ArchiveErrorCase>{
        {"text_file", std::string("not an archive at all"), "Incomplete Zip File"},
        {"short_file", std::string("PK"), "Incomplete Zip File"},
        {"missing_file", std::nullopt,
         "Cannot open file \"" + kZip + "\". " +
             win::FormatSystemMessage(win::ERROR_FILE_NOT_FOUND)},
        {"end_record_without_directory_or_headers",
         std::string("PK\x05\x06\0\0\0\0\x02\0\x02\0\x5C\0\0\0\0\0\0\0\0\0", 22),
         "Not a valid zip file!"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(UnZipperTest, ZeroByteArchiveHasNoEntries) {
    PutFile(kZip, "");
    EXPECT_EQ(unzipper.UnZip(), 0);
    EXPECT_TRUE(ListFolder(kDest).empty());
}

TEST_F(UnZipperTest, ATargetFolderThatCantBeMadeSkipsEveryEntryWithoutError) {
    Put({{.Name = "1.reg", .Data = "one"}});
    // A file stands where a parent folder would have to be.
    unzipper.DestDir = kZip + "\\out";
    EXPECT_EQ(unzipper.UnZip(), 0);
    EXPECT_TRUE(unzipper.FilesList.empty());
    EXPECT_EQ(ListFolder("C:\\Work"), std::vector<std::string>{"in.roy"});
}

TEST_F(UnZipperTest, UnknownMethodIsReportedAndProducesNothing) {
    std::vector<std::pair<std::string, std::string>> shown;
    unzipper.OnMessage = [&](const std::string& t, const std::string& c) {
        shown.push_back({t, c});
    };
    Put({{.Name = "imploded.bin", .Data = "x", .Method = 6}, {.Name = "b.txt", .Data = "b"}});
    EXPECT_EQ(unzipper.UnZip(), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Unknown Compression Method");
    EXPECT_EQ(shown[0].second, "Zip Error");
    EXPECT_EQ(ListFolder(kDest), std::vector<std::string>{"b.txt"});
}

struct OverwriteCase {
    const char* label;
    TOverwriteMode mode;
    int fileYear;  // the entry is dated 2022
    bool answer;
    bool replaced;
};

class OverwriteModes : public UnZipperTest, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(OverwriteModes, DecideWhetherAnExistingFileIsReplaced) {
    const auto& c = GetParam();
    PutFile(kDest + "\\a.txt", "existing");
    SetWriteTime(kDest + "\\a.txt", c.fileYear, 6, 1, 0, 0, 0);
    Put({{.Name = "dir/a.txt", .Data = "entry", .DosDateTime = Dos(2022, 6, 1, 0, 0, 0)}});
    std::vector<std::string> asked;
    unzipper.OnAsk = [&](const std::string& text, const std::string& caption) {
        asked.push_back(text + "|" + caption);
        return c.answer;
    };
    unzipper.OverwriteMode = c.mode;
    EXPECT_EQ(unzipper.UnZip(), c.replaced ? 1 : 0);
    EXPECT_EQ(GetFile(kDest + "\\a.txt"), c.replaced ? "entry" : "existing");
    if (c.mode == TOverwriteMode::Prompt) {
        EXPECT_EQ(asked,
                  std::vector<std::string>{"Replace existing file dir\\a.txt?|File Exists Alert"});
    } else {
        EXPECT_TRUE(asked.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, OverwriteModes,
    ::testing::ValuesIn(std::vector<OverwriteCase>{
        {"always_replaces", TOverwriteMode::Always, 2030, false, true},
        {"never_keeps", TOverwriteMode::Never, 2000, true, false},
        {"if_newer_replaces_older_file", TOverwriteMode::ifNewer, 2000, false, true},
        {"if_newer_keeps_newer_file", TOverwriteMode::ifNewer, 2030, false, false},
        {"if_older_replaces_newer_file", TOverwriteMode::ifOlder, 2030, false, true},
        {"if_older_keeps_older_file", TOverwriteMode::ifOlder, 2000, false, false},
        {"prompt_yes_replaces", TOverwriteMode::Prompt, 2000, true, true},
        {"prompt_no_keeps", TOverwriteMode::Prompt, 2000, false, false},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(UnZipperTest, ReadOnlyTargetIsReplacedOnlyWithReplaceReadOnly) {
    PutFile(kDest + "\\a.txt", "existing");
    win::SetFileAttributesA(kDest + "\\a.txt", win::FILE_ATTRIBUTE_READONLY);
    Put({{.Name = "a.txt", .Data = "entry"}});
    EXPECT_EQ(unzipper.UnZip(), 0);
    EXPECT_EQ(GetFile(kDest + "\\a.txt"), "existing");
    EXPECT_EQ(ListFolder(kDest).size(), 1u);  // no temporary file left
    unzipper.ReplaceReadOnly = true;
    EXPECT_EQ(unzipper.UnZip(), 1);
    EXPECT_EQ(GetFile(kDest + "\\a.txt"), "entry");
}

TEST_F(UnZipperTest, PatternsSelectEntriesWhenNotDoAll) {
    Put({{.Name = "1.reg", .Data = "1"},
         {.Name = "x.gpd", .Data = "x"},
         {.Name = "d/2.reg", .Data = "2"}});
    unzipper.DoAll = false;
    unzipper.FilesList = {"*.reg"};
    EXPECT_EQ(unzipper.UnZip(), 2);
    EXPECT_TRUE(unzipper.FilesList.empty());
    auto names = ListFolder(kDest);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"1.reg", "2.reg"}));
}

TEST_F(UnZipperTest, RecreateDirsBuildsFolderPartsBelowTheTarget) {
    unzipper.RecreateDirs = true;
    Put({{.Name = "a/b/c.txt", .Data = "deep"},
         {.Name = "empty/", .Data = "", .Method = kMethodStored}});
    EXPECT_EQ(unzipper.UnZip(), 1);
    EXPECT_EQ(GetFile(kDest + "\\a\\b\\c.txt"), "deep");
    EXPECT_NE(win::GetFileAttributesA(kDest + "\\empty"), win::INVALID_FILE_ATTRIBUTES);
}

// Entries are decoded ahead on a second thread. Whatever the mix of skipped, kept, damaged and
// repeated entries, the result must be the one-at-a-time loop's: the same files, and the first
// failure the loop reaches, never one of an entry it passed over.
TEST_F(UnZipperTest, ExtractionMatchesTheEntryByEntryOutcome) {
    enum Fault { kNone, kBadCrc, kTooLong, kCut, kGarbage };
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        for (const std::string& name : ListFolder(kDest)) {
            win::DeleteFileA(kDest + "\\" + name);
        }
        std::vector<FixtureEntry> entries;
        std::map<std::string, std::string> expected;  // name -> content
        std::set<std::string> present;
        int count = 0;
        const char* thrown = nullptr;
        for (const char* name : {"0.reg", "1.reg", "2.reg", "3.reg", "4.reg", "5.reg"}) {
            if (rng() % 6 == 0) {
                PutFile(kDest + "\\" + name, "kept");
                present.insert(name);
                expected[name] = "kept";
            }
        }
        const int n = 2 + static_cast<int>(rng() % 9);
        for (int i = 0; i < n; ++i) {
            const std::string name = std::to_string(rng() % 6) + (rng() % 2 ? ".reg" : ".txt");
            const std::string data(rng() % 3 ? rng() % 300000 : 0, static_cast<char>('a' + i));
            const Fault fault = rng() % 4 ? kNone : static_cast<Fault>(1 + rng() % 4);
            FixtureEntry e{.Name = name, .Data = data};
            if (fault == kBadCrc) {
                e.Crc32 = Crc(data) ^ 1;
            } else if (fault == kTooLong) {
                e.Data += "xy";
                e.UncompressedSize = 1;
            } else if (fault == kCut) {
                e.Data = std::string(100000, 'z');
                e.Payload = RawDeflate(e.Data + "q").substr(0, 40);
            } else if (fault == kGarbage) {
                e.Payload = std::string("\xFF\xFF\xFF", 3);
            }
            entries.push_back(e);
            // The loop's own outcome for this entry.
            if (thrown || !MatchesPattern(name, "*.reg") || present.count(name)) {
                continue;
            }
            if (fault == kCut || fault == kGarbage) {
                thrown = fault == kCut ? "fatal" : "compression";
            } else if (fault == kNone) {
                expected[name] = e.Data;
                present.insert(name);
                ++count;
            }
        }
        Put(entries);
        unzipper.DoAll = false;
        unzipper.FilesList = {"*.reg"};
        unzipper.OverwriteMode = TOverwriteMode::Never;
        const char* got = nullptr;
        try {
            EXPECT_EQ(unzipper.UnZip(), count);
        } catch (const EFatalUnzipError&) {
            got = "fatal";
        } catch (const EZCompressionError&) {
            got = "compression";
        }
        EXPECT_STREQ(got, thrown);
        std::map<std::string, std::string> files;
        for (const std::string& name : ListFolder(kDest)) {
            files[name] = GetFile(kDest + "\\" + name).value_or("?");
        }
        EXPECT_EQ(files, expected);
    }
}

TEST_F(UnZipperTest, DirectoryIsReadAgainWhenTheArchiveChanged) {
    Put({{.Name = "a.txt", .Data = "a"}});
    EXPECT_EQ(unzipper.ReadZipDirectory().size(), 1u);
    Put({{.Name = "a.txt", .Data = "a"}, {.Name = "b.txt", .Data = "b"}});
    EXPECT_EQ(unzipper.ReadZipDirectory().size(), 2u);
}

}  // namespace
}  // namespace quellin::archive
