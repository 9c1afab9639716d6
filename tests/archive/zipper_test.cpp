#include "archive/zipper.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "archive_builder.h"
#include "file_helpers.h"
#include "platform/sim/control.h"

namespace quellin::archive {
namespace {

using namespace testdata;

const std::string kDir = "C:\\Work";
const std::string kZip = "C:\\Work\\settings.roy";

class ZipperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zipper.ZipName = kZip;
        zipper.PackLevel = 9;
        zipper.OverwriteMode = TOverwriteMode::Always;
    }
    void TearDown() override { sim::ClearInjectedFailures(); }

    std::vector<std::uint8_t> ArchiveBytes() {
        const auto s = GetFile(kZip);
        return s ? std::vector<std::uint8_t>(s->begin(), s->end()) : std::vector<std::uint8_t>{};
    }
    ArchiveDirectory Directory() {
        const auto bytes = ArchiveBytes();
        MemorySource source(bytes);
        return ReadDirectory(source);
    }

    testsupport::ScopedSandbox sandbox;
    TZipper zipper;
};

TEST_F(ZipperTest, NewArchiveHoldsTheListedFilesInOrderWithTheProgramsFields) {
    PutFile(kDir + "\\b\\2.reg", std::string(5000, 'r'));
    PutFile(kDir + "\\a\\1.reg", "one");
    PutFile(kDir + "\\pdc.xml", "<xml/>");
    SetWriteTime(kDir + "\\b\\2.reg", 2023, 6, 15, 13, 45, 59);
    win::SetFileAttributesA(kDir + "\\pdc.xml",
                            win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_ARCHIVE);
    zipper.FilesList = {kDir + "\\b\\2.reg", kDir + "\\a\\1.reg", kDir + "\\pdc.xml"};

    EXPECT_EQ(zipper.Zip(), 3);
    EXPECT_TRUE(zipper.FilesList.empty());

    const auto bytes = ArchiveBytes();
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 3u);
    const char* names[] = {"2.reg", "1.reg", "pdc.xml"};
    std::uint64_t expectedOffset = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& e = dir.Entries[i];
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(e.RawName, names[i]);
        EXPECT_EQ(e.Method, kMethodDeflated);
        EXPECT_EQ(e.Flags, 0x0002);
        EXPECT_EQ(e.VersionNeeded, 20);
        EXPECT_EQ(e.VersionMadeBy, 45);
        EXPECT_EQ(e.InternalAttributes, 0);
        EXPECT_EQ(e.CentralExtraLength, 0);
        EXPECT_EQ(e.CommentLength, 0);
        EXPECT_EQ(e.LocalHeaderOffset, expectedOffset);
        MemorySource source(bytes);
        std::array<std::uint8_t, kLocalHeaderSize> raw{};
        source.ReadAt(e.LocalHeaderOffset, raw);
        const auto local = DecodeLocalHeader(raw);
        ASSERT_TRUE(local);
        EXPECT_EQ(local->ExtraLength, 0);
        EXPECT_EQ(local->Flags, e.Flags);
        EXPECT_EQ(local->Crc32, e.Crc32);
        EXPECT_EQ(local->CompressedSize, e.CompressedSize);
        EXPECT_EQ(local->UncompressedSize, e.UncompressedSize);
        expectedOffset += kLocalHeaderSize + e.NameLength + e.CompressedSize;
    }
    EXPECT_EQ(dir.Entries[0].DosDateTime(), Dos(2023, 6, 15, 13, 45, 29));
    EXPECT_EQ(dir.Entries[0].UncompressedSize, 5000u);
    EXPECT_EQ(dir.Entries[2].ExternalAttributes, 0x21u);
    EXPECT_EQ(dir.End.CentralOffset, expectedOffset);
    // The end record closes the file, with no comment.
    EXPECT_EQ(bytes.size(), dir.End.CentralOffset + dir.End.CentralSize + kEndRecordSize);
    EXPECT_EQ(bytes[bytes.size() - 2], 0);
    EXPECT_EQ(bytes[bytes.size() - 1], 0);
}

TEST_F(ZipperTest, EmptyFileIsTheTwoByteDeflateStream) {
    PutFile(kDir + "\\empty.reg", "");
    zipper.FilesList = {kDir + "\\empty.reg"};
    zipper.Zip();
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 1u);
    EXPECT_EQ(dir.Entries[0].Method, kMethodDeflated);
    EXPECT_EQ(dir.Entries[0].CompressedSize, 2u);
    EXPECT_EQ(dir.Entries[0].UncompressedSize, 0u);
    EXPECT_EQ(dir.Entries[0].Crc32, 0u);
    const auto bytes = ArchiveBytes();
    EXPECT_EQ(bytes[kLocalHeaderSize + 9], 0x03);
    EXPECT_EQ(bytes[kLocalHeaderSize + 10], 0x00);
}

TEST_F(ZipperTest, MissingFilesAndLaterDuplicateNamesLeaveNoEntry) {
    PutFile(kDir + "\\a\\same.txt", "first");
    PutFile(kDir + "\\b\\SAME.TXT", "second");
    zipper.FilesList = {kDir + "\\nothing.txt", kDir + "\\a\\same.txt", kDir + "\\b\\SAME.TXT",
                        "C:\\NoFolder\\x.txt"};
    EXPECT_EQ(zipper.Zip(), 1);
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 1u);
    MemorySource source(ArchiveBytes());
    std::string data;
    const auto bytes = ArchiveBytes();
    MemorySource src(bytes);
    ExtractEntryData(src, dir.Entries[0], [&](auto s) { data.append(s.begin(), s.end()); });
    EXPECT_EQ(data, "first");
}

TEST_F(ZipperTest, EmptyListMakesAnArchiveOfTheEndRecordAlone) {
    ForceDirectories(kDir);
    EXPECT_EQ(zipper.Zip(), 0);
    EXPECT_EQ(ArchiveBytes().size(), kEndRecordSize);
    EXPECT_TRUE(zipper.ReadZipDirectory().empty());
}

TEST_F(ZipperTest, BlankArchiveNameDoesNothing) {
    zipper.ZipName = "   ";
    PutFile(kDir + "\\a.txt", "a");
    zipper.FilesList = {kDir + "\\a.txt"};
    EXPECT_EQ(zipper.Zip(), 0);
    EXPECT_TRUE(zipper.FilesList.empty());
    EXPECT_EQ(ListFolder(kDir), std::vector<std::string>{"a.txt"});
}

struct LevelCase {
    const char* label;
    int level;
    std::uint16_t method;
    std::uint16_t flags;
};

class ZipperLevels : public ZipperTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(ZipperLevels, MethodAndFlagsFollowTheLevel) {
    PutFile(kDir + "\\a.txt", std::string(1000, 'a'));
    zipper.PackLevel = GetParam().level;
    zipper.FilesList = {kDir + "\\a.txt"};
    zipper.Zip();
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 1u);
    EXPECT_EQ(dir.Entries[0].Method, GetParam().method);
    EXPECT_EQ(dir.Entries[0].Flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(Levels, ZipperLevels,
                         ::testing::ValuesIn(std::vector<LevelCase>{
                             {"level_0_stores", 0, kMethodStored, 0x0004},
                             {"level_1_fast", 1, kMethodDeflated, 0x0004},
                             {"level_6_normal", 6, kMethodDeflated, 0},
                             {"level_8_maximum", 8, kMethodDeflated, 0x0002},
                             {"level_9_maximum", 9, kMethodDeflated, 0x0002},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ZipperTest, NoCompressListStoresMatchingFilesWithTheLevelsFlags) {
    PutFile(kDir + "\\a.png", std::string(1000, 'a'));
    PutFile(kDir + "\\b.txt", std::string(1000, 'b'));
    zipper.NoCompressList = {"*.PNG"};
    zipper.FilesList = {kDir + "\\a.png", kDir + "\\b.txt"};
    zipper.Zip();
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 2u);
    EXPECT_EQ(dir.Entries[0].Method, kMethodStored);
    EXPECT_EQ(dir.Entries[0].Flags, 0x0002);
    EXPECT_EQ(dir.Entries[1].Method, kMethodDeflated);
}

TEST_F(ZipperTest, NamesAreOemWhenLosslessElseUtf8WithFlagAndHost) {
    PutFile(kDir +
                "\\Gr\xF6\xDF"
                "e.gpd",
            "x");
    PutFile(kDir + "\\\x80uro.txt", "y");
    zipper.FilesList = {kDir +
                            "\\Gr\xF6\xDF"
                            "e.gpd",
                        kDir + "\\\x80uro.txt"};
    zipper.Zip();
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 2u);
    EXPECT_EQ(dir.Entries[0].RawName,
              "Gr\x94\xE1"
              "e.gpd");
    EXPECT_EQ(dir.Entries[0].Flags, 0x0002);
    EXPECT_EQ(dir.Entries[0].VersionMadeBy, 0x002D);
    EXPECT_EQ(dir.Entries[1].RawName, "\xE2\x82\xACuro.txt");
    EXPECT_EQ(dir.Entries[1].Flags, 0x0802);
    EXPECT_EQ(dir.Entries[1].VersionMadeBy, 0x0B2D);
    EXPECT_EQ(dir.Entries[1].FileName, "\x80uro.txt");
}

TEST_F(ZipperTest, FolderSearchesHonourRecurseExclusionsAndHiddenFiles) {
    PutFile(kDir + "\\src\\a.gpd", "a");
    PutFile(kDir + "\\src\\skip.gpd", "s");
    PutFile(kDir + "\\src\\hidden.gpd", "h");
    PutFile(kDir + "\\src\\sub\\b.gpd", "b");
    PutFile(kDir + "\\src\\c.txt", "c");
    win::SetFileAttributesA(kDir + "\\src\\hidden.gpd", win::FILE_ATTRIBUTE_HIDDEN);
    zipper.ExcludeList = {"skip.*"};
    zipper.Recurse = true;
    zipper.StorePaths = true;
    zipper.FilesList = {kDir + "\\src\\*.gpd"};
    zipper.Zip();
    std::vector<std::string> names;
    for (const auto& e : Directory().Entries) {
        names.push_back(e.RawName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Work/src/a.gpd", "Work/src/sub/b.gpd"}));
}

class ZipperUpdate : public ZipperTest {
  protected:
    // An archive made by the component from files dated 2020, with a comment added.
    void MakeOldArchive() {
        PutFile(kDir + "\\1.reg", "old one");
        PutFile(kDir + "\\2.reg", "old two");
        PutFile(kDir + "\\3.reg", "old three");
        for (const char* n : {"\\1.reg", "\\2.reg", "\\3.reg"}) {
            SetWriteTime(kDir + n, 2020, 1, 1, 12, 0, 0);
        }
        zipper.FilesList = {kDir + "\\1.reg", kDir + "\\2.reg", kDir + "\\3.reg"};
        zipper.Zip();
        old = Directory();
        oldBytes = ArchiveBytes();
    }
    std::string Data(const ArchiveDirectory& dir, std::size_t i) {
        const auto bytes = ArchiveBytes();
        MemorySource source(bytes);
        std::string data;
        EXPECT_EQ(ExtractEntryData(source, dir.Entries[i],
                                   [&](auto s) { data.append(s.begin(), s.end()); }),
                  EntryOutcome::Ok);
        return data;
    }
    ArchiveDirectory old;
    std::vector<std::uint8_t> oldBytes;
};

TEST_F(ZipperUpdate, KeepsEntriesNotOlderThanTheFileAndReplacesNewerFilesInPlace) {
    MakeOldArchive();
    PutFile(kDir + "\\1.reg", "new one, not newer");
    SetWriteTime(kDir + "\\1.reg", 2019, 1, 1, 0, 0, 0);
    PutFile(kDir + "\\2.reg", "new two, newer");
    SetWriteTime(kDir + "\\2.reg", 2024, 1, 1, 0, 0, 0);
    PutFile(kDir + "\\4.reg", "four");
    zipper.FilesList = {kDir + "\\4.reg", kDir + "\\2.reg", kDir + "\\1.reg"};

    EXPECT_EQ(zipper.Zip(), 2);

    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 4u);
    EXPECT_EQ(dir.Entries[0].RawName, "1.reg");
    EXPECT_EQ(dir.Entries[1].RawName, "2.reg");
    EXPECT_EQ(dir.Entries[2].RawName, "3.reg");
    EXPECT_EQ(dir.Entries[3].RawName, "4.reg");
    EXPECT_EQ(Data(dir, 0), "old one");
    EXPECT_EQ(dir.Entries[0].DosDateTime(), old.Entries[0].DosDateTime());
    EXPECT_EQ(Data(dir, 1), "new two, newer");
    EXPECT_EQ(dir.Entries[1].DosDateTime(), Dos(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(Data(dir, 2), "old three");
    EXPECT_EQ(Data(dir, 3), "four");
    // The kept entry is the same header and data, byte for byte.
    const auto bytes = ArchiveBytes();
    const std::size_t keptLength = kLocalHeaderSize + 5 + old.Entries[0].CompressedSize;
    EXPECT_TRUE(std::equal(oldBytes.begin(), oldBytes.begin() + keptLength, bytes.begin()));
    EXPECT_EQ(ListFolder("C:\\Users\\User\\AppData\\Local\\Temp").size(), 0u);
}

// An archive on another drive than the temp folder is updated through "<name>$$$", and what
// is read back is the new archive whole.
TEST_F(ZipperUpdate, AnArchiveOnAnotherDriveIsUpdatedThroughItsPartial) {
    std::string host = sandbox.root().string();
    std::replace(host.begin(), host.end(), '/', '\\');
    zipper.ZipName = "Z:" + host + "\\other.zip";
    PutFile(kDir + "\\1.reg", "one");
    zipper.FilesList = {kDir + "\\1.reg"};
    zipper.Zip();
    PutFile(kDir + "\\2.reg", "two");
    zipper.FilesList = {kDir + "\\2.reg"};
    EXPECT_EQ(zipper.Zip(), 1);
    EXPECT_EQ(zipper.Entries().size(), 2u);
    EXPECT_FALSE(GetFile(zipper.ZipName + "$$$"));
}

TEST_F(ZipperUpdate, CopiedEntriesLoseTheDescriptorFlagAndKeepTheirDataAndComment) {
    auto fixture = BuildArchive({{.Name = "x.txt", .Data = "payload", .Flags = kFlagDataDescriptor},
                                 {.Name = "y.txt", .Data = "other"}},
                                {.Comment = "archive comment"});
    PutBytes(kZip, fixture);
    PutFile(kDir + "\\z.txt", "zed");
    zipper.FilesList = {kDir + "\\z.txt"};
    EXPECT_EQ(zipper.Zip(), 1);
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 3u);
    EXPECT_EQ(dir.Entries[0].Flags & kFlagDataDescriptor, 0);
    EXPECT_EQ(dir.End.Comment, "archive comment");
    EXPECT_EQ(Data(dir, 0), "payload");
    EXPECT_EQ(Data(dir, 1), "other");
    const auto bytes = ArchiveBytes();
    EXPECT_EQ(bytes[6] & kFlagDataDescriptor, 0);
}

TEST_F(ZipperUpdate, ReplaceAndFreshenRules) {
    MakeOldArchive();
    PutFile(kDir + "\\1.reg", "replaced although older");
    SetWriteTime(kDir + "\\1.reg", 2019, 1, 1, 0, 0, 0);
    PutFile(kDir + "\\5.reg", "five");
    zipper.ZipAction = TZipAction::Replace;
    zipper.FilesList = {kDir + "\\1.reg"};
    EXPECT_EQ(zipper.Zip(), 1);
    EXPECT_EQ(Data(Directory(), 0), "replaced although older");

    PutFile(kDir + "\\3.reg", "fresh three");
    SetWriteTime(kDir + "\\3.reg", 2025, 1, 1, 0, 0, 0);
    zipper.ZipAction = TZipAction::Freshen;
    zipper.FilesList = {kDir + "\\5.reg", kDir + "\\3.reg"};
    EXPECT_EQ(zipper.Zip(), 1);
    const auto dir = Directory();
    ASSERT_EQ(dir.Entries.size(), 3u);  // 5.reg had no entry, so freshen leaves it out
    EXPECT_EQ(Data(dir, 2), "fresh three");
}

TEST_F(ZipperUpdate, AFileThatIsNotAnArchiveStaysUnchanged) {
    PutFile(kZip, "just some text, no archive");
    PutFile(kDir + "\\1.reg", "one");
    zipper.FilesList = {kDir + "\\1.reg"};
    EXPECT_THROW(zipper.Zip(), EIncompleteZip);
    EXPECT_EQ(GetFile(kZip), "just some text, no archive");
    EXPECT_TRUE(zipper.FilesList.empty());
}

TEST_F(ZipperUpdate, AZeroByteFileIsUpdatedAsAnEmptyArchive) {
    PutFile(kZip, "");
    PutFile(kDir + "\\1.reg", "one");
    zipper.FilesList = {kDir + "\\1.reg"};
    EXPECT_EQ(zipper.Zip(), 1);
    EXPECT_EQ(Directory().Entries.size(), 1u);
}

TEST_F(ZipperTest, AFailedWriteLeavesNoHalfArchive) {
    // A new archive is written under a name of its own: even a write that never ends leaves
    // nothing under the archive's name, and a leftover of one does not stop the next.
    PutFile(kDir + "\\big.bin", std::string(300000, 'q'));
    sim::InjectWriteFailure("settings.roy$$$", 40);
    zipper.FilesList = {kDir + "\\big.bin"};
    EXPECT_THROW(zipper.Zip(), EZipperError);
    EXPECT_FALSE(GetFile(kZip));
    EXPECT_FALSE(GetFile(kZip + "$$$"));
    sim::ClearInjectedFailures();
    PutFile(kZip + "$$$", "PK\x03\x04 an interrupted write");
    zipper.FilesList = {kDir + "\\big.bin"};
    EXPECT_EQ(zipper.Zip(), 1);
    EXPECT_FALSE(GetFile(kZip + "$$$"));
}

TEST_F(ZipperUpdate, AFailedUpdateKeepsTheOldArchiveAndRemovesTheTemporaryFile) {
    MakeOldArchive();
    PutFile(kDir + "\\4.reg", std::string(300000, 'f'));
    sim::InjectWriteFailure("qzp*", 50);
    zipper.FilesList = {kDir + "\\4.reg"};
    EXPECT_THROW(zipper.Zip(), EZipperError);
    EXPECT_EQ(ArchiveBytes(), oldBytes);
    EXPECT_EQ(ListFolder("C:\\Users\\User\\AppData\\Local\\Temp").size(), 0u);
}

}  // namespace
}  // namespace quellin::archive
