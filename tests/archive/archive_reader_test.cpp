#include "archive/archive_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "archive/archive_writer.h"
#include "archive/zip_errors.h"
#include "archive_builder.h"

namespace quellin::archive {
namespace {

using testdata::BuildArchive;
using testdata::FixtureEntry;
using testdata::FixtureOptions;

struct Extracted {
    EntryOutcome Outcome;
    std::string Data;
};

Extracted Extract(ByteSource& source, const TZipEntryInfo& entry) {
    std::string data;
    const auto outcome = ExtractEntryData(source, entry, [&](std::span<const std::uint8_t> s) {
        data.append(reinterpret_cast<const char*>(s.data()), s.size());
    });
    return {outcome, data};
}

std::string Mixed(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) {
        if (rng() % 2) {
            s += "*Option: A4/A4: PageSize \"<</PageSize [595 842]>>\"\r\n";
        } else {
            for (int i = 0; i < 40; ++i) {
                s += static_cast<char>(rng());
            }
        }
    }
    s.resize(size);
    return s;
}

TEST(CompressData, StreamsDecodeBackToTheInput) {
    for (std::uint16_t method : {kMethodStored, kMethodDeflated}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535},
                                 std::size_t{65536}, std::size_t{300000}}) {
            const std::string input = Mixed(size, static_cast<unsigned>(size));
            std::size_t pos = 0;
            std::string stream;
            const auto result = CompressData(
                [&](std::span<std::uint8_t> buf) {
                    // Short reads, as a file that is written to meanwhile may give.
                    const std::size_t n =
                        std::min({buf.size(), input.size() - pos, std::size_t{40000}});
                    std::copy_n(input.data() + pos, n, buf.data());
                    pos += n;
                    return n;
                },
                [&](std::span<const std::uint8_t> s) { stream.append(s.begin(), s.end()); }, method,
                9);
            EXPECT_EQ(result.Uncompressed, size);
            EXPECT_EQ(result.Compressed, stream.size());
            EXPECT_EQ(result.Crc32, testdata::Crc(input));

            const auto archive =
                BuildArchive({{.Name = "x", .Data = input, .Method = method, .Payload = stream}});
            MemorySource source(archive);
            const auto dir = ReadDirectory(source);
            ASSERT_EQ(dir.Entries.size(), 1u);
            const auto got = Extract(source, dir.Entries[0]);
            EXPECT_EQ(got.Outcome, EntryOutcome::Ok) << "method " << method << " size " << size;
            EXPECT_TRUE(got.Data == input) << "method " << method << " size " << size;
        }
    }
}

TEST(CompressData, EmptyInputDeflatesToTheTwoByteFinalBlock) {
    std::string stream;
    const auto result =
        CompressData([](std::span<std::uint8_t>) { return std::size_t{0}; },
                     [&](std::span<const std::uint8_t> s) { stream.append(s.begin(), s.end()); },
                     kMethodDeflated, 9);
    EXPECT_EQ(stream, std::string("\x03\x00", 2));
    EXPECT_EQ(result.Crc32, 0u);
    EXPECT_EQ(result.Compressed, 2u);
}

TEST(ReadDirectory, ReadsEveryFieldAndKeepsTheOrder) {
    const auto archive =
        BuildArchive({{.Name = "b.txt", .Data = "bee", .Flags = 2, .ExternalAttributes = 0x21},
                      {.Name = "dir/a.txt", .Data = "", .Method = kMethodStored}},
                     {.Comment = "kept"});
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    EXPECT_FALSE(dir.Recovered);
    EXPECT_EQ(dir.End.Comment, "kept");
    ASSERT_EQ(dir.Entries.size(), 2u);
    EXPECT_EQ(dir.Entries[0].FileName, "b.txt");
    EXPECT_EQ(dir.Entries[0].Flags, 2);
    EXPECT_EQ(dir.Entries[0].ExternalAttributes, 0x21u);
    EXPECT_EQ(dir.Entries[0].LocalHeaderOffset, 0u);
    EXPECT_EQ(dir.Entries[1].FolderName, "dir\\");
    EXPECT_EQ(dir.Entries[1].FileName, "a.txt");
    EXPECT_EQ(dir.Entries[1].Method, kMethodStored);
}

TEST(ReadDirectory, EmptyFileHasNoEntriesAndShortOrForeignFilesAreIncomplete) {
    std::vector<std::uint8_t> empty;
    MemorySource none(empty);
    EXPECT_TRUE(ReadDirectory(none).Entries.empty());

    for (std::size_t size : {1, 21, 22, 5000, 70000}) {
        std::vector<std::uint8_t> text(size, 'x');
        MemorySource source(text);
        EXPECT_THROW(ReadDirectory(source), EIncompleteZip) << size;
    }
    // An end record beyond the search window (a longer comment than the format allows).
    auto archive = BuildArchive({{.Name = "a", .Data = "a"}});
    archive.insert(archive.end(), 65536, ' ');
    MemorySource far(archive);
    EXPECT_THROW(ReadDirectory(far), EIncompleteZip);
}

TEST(ReadDirectory, ZipSixtyFourEndRecordGivesCountsAndOffsets) {
    const auto archive = BuildArchive({{.Name = "a", .Data = "one"}, {.Name = "b", .Data = "two"}},
                                      {.Zip64End = true});
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    EXPECT_TRUE(dir.End.Zip64);
    ASSERT_EQ(dir.Entries.size(), 2u);
    EXPECT_EQ(Extract(source, dir.Entries[1]).Data, "two");
}

TEST(ReadDirectory, ZipSixtyFourExtraFieldGivesSizes) {
    FixtureEntry e{.Name = "a", .Data = "abc", .Method = kMethodStored};
    e.UncompressedSize = 0xFFFFFFFF;
    e.CompressedSize = 0xFFFFFFFF;
    const std::uint64_t both[] = {3, 3};
    e.CentralExtra = Zip64Extra(both);
    e.LocalExtra = Zip64Extra(both);
    const auto archive = BuildArchive({e});
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    ASSERT_EQ(dir.Entries.size(), 1u);
    EXPECT_EQ(dir.Entries[0].UncompressedSize, 3u);
    EXPECT_EQ(Extract(source, dir.Entries[0]).Data, "abc");
}

// Archives whose directory lies; each still reads through the recovery scan of local
// headers, or fails with the component's own error.
struct DamagedDirectoryCase {
    const char* label;
    FixtureOptions options;
    bool recovers;
};

class DamagedDirectory : public ::testing::TestWithParam<DamagedDirectoryCase> {};

TEST_P(DamagedDirectory, RecoversFromLocalHeadersOrFailsCleanly) {
    const auto archive =
        BuildArchive({{.Name = "a.txt", .Data = "alpha"}, {.Name = "b.txt", .Data = "beta"}},
                     GetParam().options);
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    EXPECT_TRUE(dir.Recovered);
    ASSERT_EQ(dir.Entries.size(), 2u);
    EXPECT_EQ(Extract(source, dir.Entries[1]).Data, "beta");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamagedDirectory,
                         ::testing::ValuesIn(std::vector<DamagedDirectoryCase>{
                             {"cdir_count_too_large", {.Count = 3}, true},
                             {"cdir_count_huge", {.Count = 0xFFFE}, true},
                             {"cdir_offset_past_end", {.CentralOffset = 0x7FFFFFFF}, true},
                             {"cdir_size_past_end", {.CentralSize = 0xFFFFFFF0}, true},
                             {"cdir_offset_off_by_one", {.CentralOffset = 1}, true},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ReadDirectory, NothingRecoverableIsNotAValidZipFile) {
    auto archive = BuildArchive({{.Name = "a", .Data = "a"}}, {.Count = 2});
    archive[0] = 'X';  // the only local header is gone too
    MemorySource source(archive);
    EXPECT_THROW(ReadDirectory(source), EBadZipFile);
}

TEST(ReadDirectory, RecoveryPassesOverEntriesWithDescriptorsAndDataPastTheEnd) {
    auto archive = BuildArchive({{.Name = "a", .Data = "a", .Flags = kFlagDataDescriptor},
                                 {.Name = "b", .Data = "b", .CompressedSize = 0x7FFFFFF0},
                                 {.Name = "c", .Data = "c"}},
                                {.Count = 9});
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    ASSERT_EQ(dir.Entries.size(), 1u);
    EXPECT_EQ(dir.Entries[0].FileName, "c");
}

struct HostileEntryCase {
    const char* label;
    FixtureEntry entry;
    EntryOutcome outcome;
    std::size_t maxBytesOut;
};

class HostileEntry : public ::testing::TestWithParam<HostileEntryCase> {};

TEST_P(HostileEntry, NeverWritesPastTheRecordedSize) {
    const auto archive = BuildArchive({GetParam().entry});
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    ASSERT_EQ(dir.Entries.size(), 1u);
    const auto got = Extract(source, dir.Entries[0]);
    EXPECT_EQ(got.Outcome, GetParam().outcome);
    EXPECT_LE(got.Data.size(), GetParam().maxBytesOut);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, HostileEntry,
    ::testing::ValuesIn(std::vector<HostileEntryCase>{
        {"bad_crc", {.Name = "a", .Data = "hello", .Crc32 = 1}, EntryOutcome::Corrupt, 5},
        {"zero_crc_is_still_checked",
         {.Name = "a", .Data = "hello", .Crc32 = 0},
         EntryOutcome::Corrupt,
         5},
        {"size_claims_4_gib",
         {.Name = "a", .Data = std::string(100, 'z'), .UncompressedSize = 0xFFFFFFFE},
         EntryOutcome::Corrupt,
         100},
        {"inflates_beyond_declared_size",
         {.Name = "a", .Data = std::string(100000, 'z'), .UncompressedSize = 10},
         EntryOutcome::Corrupt,
         10},
        {"inflates_beyond_a_declared_size_inside_one_output_piece",
         {.Name = "a", .Data = Mixed(1000000, 3), .UncompressedSize = 100000},
         EntryOutcome::Corrupt,
         100000},
        {"stored_beyond_declared_size",
         {.Name = "a",
          .Data = std::string(1000, 'z'),
          .Method = kMethodStored,
          .UncompressedSize = 10},
         EntryOutcome::Corrupt,
         10},
        {"unknown_method", {.Name = "a", .Data = "x", .Method = 6}, EntryOutcome::UnknownMethod, 0},
        {"encrypted",
         {.Name = "a", .Data = "x", .Flags = kFlagEncrypted},
         EntryOutcome::Encrypted,
         0},
        {"deflate_stream_ends_early",
         {.Name = "a", .Data = "hello", .UncompressedSize = 6},
         EntryOutcome::Corrupt,
         6},
    }),
    [](const auto& info) { return std::string(info.param.label); });

struct BrokenDataCase {
    const char* label;
    FixtureEntry entry;
    bool fatal;  // EFatalUnzipError rather than EZCompressionError
};

class BrokenData : public ::testing::TestWithParam<BrokenDataCase> {};

TEST_P(BrokenData, RaisesTheComponentsError) {
    const auto archive = BuildArchive({GetParam().entry});
    MemorySource source(archive);
    const auto dir = ReadDirectory(source);
    ASSERT_EQ(dir.Entries.size(), 1u);
    if (GetParam().fatal) {
        EXPECT_THROW(Extract(source, dir.Entries[0]), EFatalUnzipError);
    } else {
        EXPECT_THROW(Extract(source, dir.Entries[0]), EZCompressionError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, BrokenData,
    ::testing::ValuesIn(std::vector<BrokenDataCase>{
        {"stored_data_past_end_of_file",
         {.Name = "a", .Data = "abc", .Method = kMethodStored, .CompressedSize = 5000},
         true},
        {"deflate_stream_cut_short",
         {.Name = "a",
          .Data = Mixed(5000, 1),
          .Payload = testdata::RawDeflate(Mixed(5000, 1)).substr(0, 100)},
         true},
        {"deflate_garbage",
         {.Name = "a", .Data = "abc", .Payload = std::string("\xFF\xFF\xFF\xFF", 4)},
         false},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ExtractEntryData, MissingLocalHeaderIsNotAValidZipFile) {
    auto archive = BuildArchive({{.Name = "a", .Data = "abc"}});
    MemorySource source(archive);
    auto dir = ReadDirectory(source);
    dir.Entries[0].LocalHeaderOffset = 5;
    EXPECT_THROW(Extract(source, dir.Entries[0]), EBadZipFile);
    dir.Entries[0].LocalHeaderOffset = ~0ULL - 3;
    EXPECT_THROW(Extract(source, dir.Entries[0]), EBadZipFile);
}

}  // namespace
}  // namespace quellin::archive
