#include "driverconfig/paper_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace quellin::driverconfig {
namespace {

struct TellingRow {
    const char* name;
    const char* keyword;
    const char* usWidth;
    const char* usHeight;
    const char* intlWidth;
    const char* intlHeight;
};

class TellingRowTest : public ::testing::TestWithParam<TellingRow> {};

TEST_P(TellingRowTest, UsStandard) {
    const TellingRow& row = GetParam();
    PaperSettings settings;
    settings.customWidthMm = 100;
    settings.customHeightMm = 150;
    std::optional<PaperSizeLookup> found = LookupPaperSize(row.name, KeywordTableText(), settings);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->keyword, row.keyword);
    EXPECT_EQ(found->width, row.usWidth);
    EXPECT_EQ(found->height, row.usHeight);
}

TEST_P(TellingRowTest, InternationalStandard) {
    const TellingRow& row = GetParam();
    PaperSettings settings{true, 100, 150};
    std::optional<PaperSizeLookup> found = LookupPaperSize(row.name, KeywordTableText(), settings);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->keyword, row.keyword);
    EXPECT_EQ(found->width, row.intlWidth);
    EXPECT_EQ(found->height, row.intlHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, TellingRowTest,
    ::testing::ValuesIn(std::vector<TellingRow>{
        {"LETTER", "NorthAmericaLetter", "3886200", "5029200", "3886200", "5029200"},
        {"LEGAL_EXTRA", "NorthAmericaLegalextra", "4343400", "6858000", "4343400", "6858000"},
        {"10X11", "NorthAmerica10x11", "4572000", "5029200", "4572000", "5029200"},
        {"LEDGER", "NorthAmericaLedger", "7772400", "5029200", "7772400", "5029200"},
        {"A4", "ISOA4", "3780000", "5346000", "3779901", "5345811"},
        {"A4_ROTATED", "ISOA4ROTATED", "5346000", "3780000", "5345811", "3779901"},
        {"ISO_B4", "ISOB4", "4500000", "6354000", "4499991", "6353937"},
        {"B4", "JISB4", "4626000", "6552000", "4625721", "6551676"},
        {"B4_JIS_ROTATED", "B4JISROTATED", "6552000", "4626000", "6551676", "4625721"},
        {"B5_JIS_ROTATED", "B5JISROTATED", "4626000", "3276000", "4625721", "3275838"},
        {"CSHEET", "JISCSHEET", "7772000", "10058000", "7772400", "10058400"},
        {"ENV_10", "ENVENV10", "1885950", "4343400", "1885950", "4343400"},
        {"ENV_DL", "ENVENVDL", "1979676", "3959733", "1979676", "3959733"},
        {"JAPANESE_POSTCARD", "ENVJAPANESEPOSTCARD", "1799844", "2663952", "1799844", "2663952"},
        {"PENV_1", "ENVPENV1", "1835658", "2969895", "1835658", "2969895"},
        {"CUSTOMSIZE", "UserDefinedSize", "1800000", "2700000", "1800000", "2700000"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LookupPaperSizeTest, MatchIgnoresCaseButKeywordKeepsNameAsPassed) {
    std::optional<PaperSizeLookup> found = LookupPaperSize("a4", KeywordTableText(), {});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->keyword, "ISOa4");
    EXPECT_EQ(found->width, "3780000");
    std::optional<PaperSizeLookup> letter = LookupPaperSize("letter", KeywordTableText(), {});
    ASSERT_TRUE(letter.has_value());
    EXPECT_EQ(letter->keyword, "NorthAmericaletter");
}

TEST(LookupPaperSizeTest, CustomSizeOfZeroAndOfLargestValue) {
    std::optional<PaperSizeLookup> zero = LookupPaperSize("CUSTOMSIZE", KeywordTableText(), {});
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(zero->keyword, "UserDefinedSize");
    EXPECT_EQ(zero->width, "0");
    EXPECT_EQ(zero->height, "0");
    // 32-bit millimetres times 18000 needs 64 bits; it must not wrap.
    std::optional<PaperSizeLookup> huge =
        LookupPaperSize("CUSTOMSIZE", KeywordTableText(), {false, 2147483647, 1});
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(huge->width, "38654705646000");
}

TEST(LookupPaperSizeTest, UnknownNameIsNotFoundEvenAfterAHit) {
    ASSERT_TRUE(LookupPaperSize("LETTER", KeywordTableText(), {}).has_value());
    EXPECT_FALSE(LookupPaperSize("NOT_A_SIZE", KeywordTableText(), {}).has_value());
    EXPECT_FALSE(LookupPaperSize("", KeywordTableText(), {}).has_value());
    EXPECT_FALSE(LookupPaperSize("customsize", "", {}).has_value());
    EXPECT_FALSE(MakePaperOption("NOT_A_SIZE", KeywordTableText(), {}).has_value());
}

struct GroupRuleCase {
    const char* label;
    const char* table;
    const char* name;
    const char* keyword;
};

class GroupRuleTest : public ::testing::TestWithParam<GroupRuleCase> {};

TEST_P(GroupRuleTest, BuildsKeywordFromGroup) {
    std::optional<PaperSizeLookup> found =
        LookupPaperSize(GetParam().name, GetParam().table, PaperSettings{true, 0, 0});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->keyword, GetParam().keyword);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, GroupRuleTest,
    ::testing::ValuesIn(std::vector<GroupRuleCase>{
        {"iso_prefix_group", "[ISO A]\r\nB 1||1||1\r\n", "B 1", "ISOB 1"},
        {"iso_in_name_strips_spaces", "[ISO]\r\nX ISO 1||1||1\r\n", "X ISO 1", "XISO1"},
        {"iso_test_is_case_sensitive", "[ISO]\r\niso_a||1||1\r\n", "iso_a", "ISOisoa"},
        {"other_group_strips_spaces", "[MY ENV]\r\nA B||1||1\r\n", "A B", "MYENVAB"},
        {"row_before_any_group", "A_B||1||1\r\n", "A_B", "AB"},
        {"spaces_around_fields", "[US]\r\n  note ||  1 || 2 \r\n", "NOTE", "NorthAmericaNote"},
        {"first_matching_row_wins", "[JIS]\r\nX||1||1\r\n[ENV]\r\nX||2||2\r\n", "X", "JISX"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LookupPaperSizeTest, OnlyIsoAndJisGroupsAreRoundedUnderUsStandard) {
    std::string table = "[ISO A]\r\nP||1500||2500\r\n[JISX]\r\nQ||1500||2500\r\n";
    EXPECT_EQ(LookupPaperSize("P", table, {})->width, "2000");
    EXPECT_EQ(LookupPaperSize("P", table, {})->height, "2000");
    EXPECT_EQ(LookupPaperSize("Q", table, {})->width, "1500");
}

TEST(LookupPaperSizeTest, MalformedRowNumbersAreNotFoundRatherThanGuessed) {
    EXPECT_FALSE(LookupPaperSize("A", "[ISO]\r\nA||x||1\r\n", {}).has_value());
    EXPECT_TRUE(LookupPaperSize("A", "[ISO]\r\nA||x||1\r\n", {true, 0, 0}).has_value());
    EXPECT_FALSE(MakePaperOption("A", "[ISO]\r\nA||x||1\r\n", {true, 0, 0}).has_value());
}

TEST(MakePaperOptionTest, CarriesNameKeywordAndUnits) {
    std::optional<PaperOption> option = MakePaperOption("A4", KeywordTableText(), {});
    ASSERT_TRUE(option.has_value());
    EXPECT_EQ(option->name, "A4");
    EXPECT_EQ(option->keyword, "ISOA4");
    EXPECT_EQ(option->width, 3780000);
    EXPECT_EQ(option->height, 5346000);
}

TEST(KeywordTableTest, GroupsInOrderWithRowCounts) {
    const std::vector<std::string>& lines = KeywordTableLines();
    ASSERT_EQ(lines.size(), 122u);
    std::vector<std::pair<std::string, int>> groups;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '[') {
            groups.emplace_back(line, 0);
        } else if (!line.empty()) {
            ++groups.back().second;
        }
    }
    std::vector<std::pair<std::string, int>> expected = {
        {"[US]", 26}, {"[ISO]", 20}, {"[JIS]", 14}, {"[ENV]", 55}};
    EXPECT_EQ(groups, expected);
    EXPECT_EQ(lines[27], "");
    EXPECT_EQ(KeywordTableText().substr(0, 6), "[US]\r\n");
}

TEST(KeywordTableTest, EveryRowReadsAndKeywordsAreUnique) {
    std::vector<std::string> sizes = ListAvailableSizes(KeywordTableText());
    ASSERT_EQ(sizes.size(), 115u);
    EXPECT_EQ(sizes.front(), "LETTER_EXTRA_TRANSVERSE");
    EXPECT_EQ(sizes[5], "LETTER");
    EXPECT_EQ(sizes.back(), "PENV_9");
    EXPECT_EQ(std::set<std::string>(sizes.begin(), sizes.end()).size(), sizes.size());
    for (const std::string& name : sizes) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(MakePaperOption(name, KeywordTableText(), {}).has_value());
    }
}

TEST(KeywordTableTest, DefaultSetIsInCatalogue) {
    for (std::string_view name : kDefaultPaperSizes) {
        EXPECT_TRUE(LookupPaperSize(name, KeywordTableText(), {}).has_value()) << name;
    }
}

TEST(ListAvailableSizesTest, SkipsHeadersAndLinesWithBrackets) {
    std::vector<std::string> sizes =
        ListAvailableSizes("[US]\r\n a ||1||2\r\nb[||1||2\r\n\r\n||1||2\r\nc||1\r\nd||||\r\n");
    EXPECT_EQ(sizes, (std::vector<std::string>{"A", "D"}));
}

TEST(DisplayTableTest, GroupsAndSeparators) {
    const std::vector<std::string>& lines = DisplayTableLines();
    ASSERT_EQ(lines.size(), 106u);
    EXPECT_EQ(lines.front(), "[US]");
    int headers = 0;
    int blanks = 0;
    for (const std::string& line : lines) {
        headers += !line.empty() && line[0] == '[';
        blanks += line.empty();
    }
    EXPECT_EQ(headers, 8);
    EXPECT_EQ(blanks, 6);
    auto jis = std::find(lines.begin(), lines.end(), "[JIS]");
    ASSERT_NE(jis, lines.end());
    EXPECT_EQ(*(jis - 1), " ");
}

struct DisplayCase {
    const char* name;
    std::optional<std::string> width;
    std::optional<std::string> height;
};

class DisplaySizeTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplaySizeTest, FindsMillimetres) {
    std::optional<DisplaySize> size =
        FindDisplaySize(GetParam().name, KeywordTableText(), DisplayTableText());
    if (!GetParam().width) {
        EXPECT_FALSE(size.has_value());
        return;
    }
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->widthMm, *GetParam().width);
    EXPECT_EQ(size->heightMm, *GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Names, DisplaySizeTest,
                         ::testing::ValuesIn(std::vector<DisplayCase>{
                             {"LETTER", "216", "279"},
                             {"LEDGER", "432", "279"},
                             {"ENV_MONARCH", "98", "190"},
                             {"a4", "210", "297"},
                             {"11x15", "279", "381"},
                             {"ISO B0", "1000", "1414"},
                             {"iso b10", "31", "44"},
                             {"Government Legal", "203", "300"},
                             {"4A0", "1682", "2378"},
                             {"Arch E", "914", "1219"},
                             {"B12", "16", "22"},
                             {"European Fanfold", std::nullopt, std::nullopt},
                             {"Tabloid Extra", std::nullopt, std::nullopt},
                             {"NOWHERE", std::nullopt, std::nullopt},
                         }),
                         [](const auto& info) {
                             std::string label;
                             for (char c : std::string(info.param.name)) {
                                 label += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return label;
                         });

TEST(DisplaySizeTest, LineShapesReadFromTheEnd) {
    auto find = [](const char* name, const char* table) {
        return FindDisplaySize(name, "", table);
    };
    EXPECT_EQ(find("X", "X 10 x 20 mm ")->heightMm, "20");
    EXPECT_EQ(find("", "10 x 20 mm")->widthMm, "10");
    EXPECT_FALSE(find("X", "[X 10 x 20 mm]").has_value());
    EXPECT_FALSE(find("X", " mm").has_value());
    EXPECT_FALSE(find("X", "1234 mm").has_value());
    EXPECT_FALSE(find("X", "x mm").has_value());
    // A width walk that meets no digits keeps the last character of the name.
    std::optional<DisplaySize> odd = find("Fo", "Foo x 3 mm");
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->widthMm, "o");
}

TEST(AspectRatioTest, HundredthsRoundedTiesToEven) {
    EXPECT_EQ(AspectRatioHundredths("216", "279"), 77);
    EXPECT_EQ(AspectRatioHundredths("432", "279"), 155);
    EXPECT_EQ(AspectRatioHundredths("1", "8"), 12);  // 12.5 goes to even
    EXPECT_EQ(AspectRatioHundredths("1", "0"), std::nullopt);
    EXPECT_EQ(AspectRatioHundredths("o", "3"), std::nullopt);
}

}  // namespace
}  // namespace quellin::driverconfig
