#include "archive/zip_format.h"

#include <gtest/gtest.h>

namespace quellin::archive {
namespace {

std::uint32_t Dos(int year, int month, int day, int hour, int minute, int secondsField) {
    return static_cast<std::uint32_t>(((year - 1980) << 25) | (month << 21) | (day << 16) |
                                      (hour << 11) | (minute << 5) | secondsField);
}

struct RepairCase {
    const char* label;
    std::uint32_t stored;
    std::uint32_t repaired;
};

class DosRepair : public ::testing::TestWithParam<RepairCase> {};

TEST_P(DosRepair, FixesOnlyImpossibleFields) {
    EXPECT_EQ(RepairDosDateTime(GetParam().stored), GetParam().repaired);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DosRepair,
    ::testing::ValuesIn(std::vector<RepairCase>{
        {"valid_value_passes", Dos(2023, 6, 15, 13, 45, 29), Dos(2023, 6, 15, 13, 45, 29)},
        {"minute_61_reads_59", Dos(2023, 6, 15, 13, 61, 0), Dos(2023, 6, 15, 13, 59, 0)},
        {"month_0_reads_january", Dos(2023, 0, 15, 1, 2, 3), Dos(2023, 1, 15, 1, 2, 3)},
        {"month_13_reads_december", Dos(2023, 13, 15, 1, 2, 3), Dos(2023, 12, 15, 1, 2, 3)},
        {"seconds_30_read_29", Dos(2023, 6, 15, 1, 2, 31), Dos(2023, 6, 15, 1, 2, 29)},
        {"hour_24_reads_23", Dos(2023, 6, 15, 24, 2, 3), Dos(2023, 6, 15, 23, 2, 3)},
        {"day_0_reads_1", Dos(2023, 6, 0, 1, 2, 3), Dos(2023, 6, 1, 1, 2, 3)},
        {"year_2100_reads_2099", Dos(2100, 6, 15, 1, 2, 3), Dos(2099, 6, 15, 1, 2, 3)},
        {"year_2107_reads_2099", Dos(2107, 12, 31, 1, 2, 3), Dos(2099, 12, 31, 1, 2, 3)},
        {"february_30_of_leap_year", Dos(2024, 2, 30, 0, 0, 0), Dos(2024, 2, 29, 0, 0, 0)},
        {"february_29_of_common_year", Dos(2023, 2, 29, 0, 0, 0), Dos(2023, 2, 28, 0, 0, 0)},
        {"all_fields_zero", 0, Dos(1980, 1, 1, 0, 0, 0)},
        {"all_bits_set", 0xFFFFFFFF, Dos(2099, 12, 31, 23, 59, 29)},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DosDates, SystemTimeConversionRoundsSecondsDownAndClampsTheRange) {
    win::SYSTEMTIME t;
    t.wYear = 2023;
    t.wMonth = 6;
    t.wDay = 15;
    t.wHour = 13;
    t.wMinute = 45;
    t.wSecond = 59;
    EXPECT_EQ(SystemTimeToDosDateTime(t), Dos(2023, 6, 15, 13, 45, 29));
    const auto back = DosDateTimeToSystemTime(Dos(2023, 6, 15, 13, 45, 29));
    EXPECT_EQ(back.wYear, 2023);
    EXPECT_EQ(back.wSecond, 58);

    t.wYear = 1970;
    EXPECT_EQ(SystemTimeToDosDateTime(t), Dos(1980, 1, 1, 0, 0, 0));
    t.wYear = 2200;
    EXPECT_EQ(SystemTimeToDosDateTime(t), Dos(2107, 12, 31, 23, 59, 29));
}

struct SafeNameCase {
    const char* label;
    std::string name;
    bool safe;
};

class SafeNames : public ::testing::TestWithParam<SafeNameCase> {};

TEST_P(SafeNames, RejectsNamesThatEscapeOrMisnameTheTarget) {
    EXPECT_EQ(IsSafeFileName(GetParam().name), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(Names, SafeNames,
                         ::testing::ValuesIn(std::vector<SafeNameCase>{
                             {"plain", "1.reg", true},
                             {"dotted_inside", "a.b.c", true},
                             {"leading_dot", ".profile", true},
                             {"latin",
                              "Gr\xF6\xDF"
                              "e.gpd",
                              true},
                             {"empty", "", false},
                             {"dot", ".", false},
                             {"dot_dot", "..", false},
                             {"trailing_dots_collapse", "...", false},
                             {"trailing_space", "a ", false},
                             {"drive_colon", "C:evil", false},
                             {"stream_colon", "a.txt:stream", false},
                             {"backslash", "a\\b", false},
                             {"slash", "a/b", false},
                             {"control_character",
                              "a\x01"
                              "b",
                              false},
                             {"newline", "a\nb", false},
                             {"delete_character", "a\x7F", false},
                             {"wildcard", "a*b", false},
                             {"question_mark", "a?b", false},
                             {"pipe", "a|b", false},
                             {"device_con", "CON", false},
                             {"device_lower_case_with_extension", "nul.txt", false},
                             {"device_with_space_before_extension", "AUX .txt", false},
                             {"device_com1", "com1", false},
                             {"device_lpt9_ext", "LPT9.log", false},
                             {"device_superscript", "COM\xB9", false},
                             {"not_a_device_com10", "COM10", true},
                             {"not_a_device_console", "CONSOLE", true},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(EntryNames, FolderPartIsDroppedOrKeptWithoutDriveAndShare) {
    EXPECT_EQ(EntryNameFor("C:\\Users\\me\\1.reg", false), "1.reg");
    EXPECT_EQ(EntryNameFor("1.reg", false), "1.reg");
    EXPECT_EQ(EntryNameFor("C:1.reg", false), "1.reg");
    EXPECT_EQ(EntryNameFor("C:\\Users\\me\\1.reg", true), "Users/me/1.reg");
    EXPECT_EQ(EntryNameFor("\\\\server\\share\\dir\\x.txt", true), "dir/x.txt");
    EXPECT_EQ(EntryNameFor("dir\\x.txt", true), "dir/x.txt");
}

TEST(EntryNames, StoredFormIsOemWhenLosslessElseUtf8) {
    const auto plain = EncodeEntryName("dir/1.reg");
    EXPECT_EQ(plain.Bytes, "dir/1.reg");
    EXPECT_FALSE(plain.Utf8);
    const auto euro = EncodeEntryName("\x80.txt");
    EXPECT_EQ(euro.Bytes, "\xE2\x82\xAC.txt");
    EXPECT_TRUE(euro.Utf8);

    EXPECT_EQ(DecodeEntryName("dir/Gr\x94\xE1"
                              "e",
                              0, 20),
              "dir\\Gr\xF6\xDF"
              "e");
    EXPECT_EQ(DecodeEntryName("\xC3\xA4", kFlagUtf8, 20), "\xE4");
    // An NTFS host (high byte 11) stores UTF-8 even without the flag.
    EXPECT_EQ(DecodeEntryName("\xC3\xA4", 0, 0x0B2D), "\xE4");
    // OEM box characters have no ANSI form, so the bytes are taken as UTF-8.
    EXPECT_EQ(DecodeEntryName("\xB0", 0, 20), "?");

    std::string folder, file;
    SplitEntryName("a\\b\\c.txt", &folder, &file);
    EXPECT_EQ(folder, "a\\b\\");
    EXPECT_EQ(file, "c.txt");
    SplitEntryName("dir\\", &folder, &file);
    EXPECT_EQ(folder, "dir\\");
    EXPECT_EQ(file, "");
}

TEST(Patterns, WildcardsMatchWithoutRegardToCase) {
    EXPECT_TRUE(MatchesPattern("Report.GPD", "*.gpd"));
    EXPECT_TRUE(MatchesPattern("a1.reg", "a?.reg"));
    EXPECT_TRUE(MatchesPattern("abcabd", "*ab?"));
    EXPECT_TRUE(MatchesPattern("x", "*"));
    EXPECT_FALSE(MatchesPattern("a1.reg", "a?.txt"));
    EXPECT_FALSE(MatchesPattern("", "?"));
    std::string manyStars(51, '*');  // built in place: GCC 12 misreads a concatenation here
    manyStars.back() = 'b';
    EXPECT_FALSE(MatchesPattern(std::string(200, 'a'), manyStars));
}

TEST(EndRecordSearch, NearestSignatureToTheEndWins) {
    std::vector<std::uint8_t> tail(100, 0);
    auto put = [&](std::size_t at) {
        tail[at] = 0x50;
        tail[at + 1] = 0x4B;
        tail[at + 2] = 5;
        tail[at + 3] = 6;
    };
    put(10);
    put(60);
    EXPECT_EQ(FindEndRecord(tail), 60u);
    // A signature closer to the end than a whole record can't start one.
    put(90);
    EXPECT_EQ(FindEndRecord(tail), 60u);
    put(78);
    EXPECT_EQ(FindEndRecord(tail), 78u);
    EXPECT_EQ(FindEndRecord(std::span(tail).first(21)), std::nullopt);
}

TEST(CentralHeader, ClassicEntryIsWrittenFieldForField) {
    TZipEntryInfo e;
    e.VersionMadeBy = kVersionMadeBy;
    e.VersionNeeded = kVersionNeeded;
    e.Flags = kFlagMaximum;
    e.Method = kMethodDeflated;
    e.ModTime = 0x1234;
    e.ModDate = 0x5678;
    e.Crc32 = 0xCAFEBABE;
    e.CompressedSize = 2;
    e.UncompressedSize = 0;
    e.ExternalAttributes = 0x21;
    e.LocalHeaderOffset = 0x10;
    e.RawName = "1.reg";
    ByteWriter w;
    EncodeCentralHeader(e, w);
    const std::vector<std::uint8_t> want = {
        0x50, 0x4B, 0x01, 0x02, 0x2D, 0x00, 0x14, 0x00, 0x02, 0x00, 0x08, 0x00, 0x34,
        0x12, 0x78, 0x56, 0xBE, 0xBA, 0xFE, 0xCA, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21,
        0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, '1',  '.',  'r',  'e',  'g'};
    EXPECT_EQ(w.Data(), want);
}

TEST(CentralHeader, OffsetPastFourGigabytesGoesIntoZip64Record) {
    TZipEntryInfo e;
    e.VersionNeeded = kVersionNeeded;
    e.LocalHeaderOffset = 0x1'0000'0010ULL;
    e.RawName = "x";
    ByteWriter w;
    EncodeCentralHeader(e, w);
    std::vector<TZipEntryInfo> parsed;
    ASSERT_EQ(ParseCentralDirectory(w.Data(), 1, parsed), std::nullopt);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].LocalHeaderOffset, 0x1'0000'0010ULL);
    EXPECT_EQ(parsed[0].VersionNeeded, kVersionNeededZip64);
    EXPECT_EQ(parsed[0].CentralExtra, "");
}

TEST(CentralDirectory, ReportsWhereAndWhyItStops) {
    TZipEntryInfo e;
    e.RawName = "a";
    ByteWriter w;
    EncodeCentralHeader(e, w);
    std::vector<TZipEntryInfo> parsed;
    auto failure = ParseCentralDirectory(w.Data(), 2, parsed);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Offset, w.Size());
    EXPECT_EQ(parsed.size(), 1u);

    // A ZIP64 marker without the record that should resolve it.
    w.Data()[24] = w.Data()[25] = w.Data()[26] = w.Data()[27] = 0xFF;
    parsed.clear();
    failure = ParseCentralDirectory(w.Data(), 1, parsed);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->Reason.find("ZIP64"), std::string::npos);
}

TEST(Flags, FollowTheDeflateLevel) {
    const std::vector<std::pair<int, std::uint16_t>> cases = {
        {0, 0x0004}, {1, 0x0004}, {2, 0x0004}, {3, 0}, {6, 0}, {7, 0}, {8, 0x0002}, {9, 0x0002}};
    for (auto [level, flags] : cases) {
        EXPECT_EQ(FlagsForLevel(level), flags) << "level " << level;
    }
}

}  // namespace
}  // namespace quellin::archive
