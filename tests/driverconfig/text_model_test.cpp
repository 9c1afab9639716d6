#include "driverconfig/text_model.h"

#include <gtest/gtest.h>

namespace quellin::driverconfig {
namespace {

using namespace std::string_literals;

struct WorkingTextCase {
    const char* label;
    std::string bytes;
    std::string expected;
};

class WorkingTextTest : public ::testing::TestWithParam<WorkingTextCase> {};

TEST_P(WorkingTextTest, EndsEveryLineWithCrLf) {
    EXPECT_EQ(WorkingTextFromBytes(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Files, WorkingTextTest,
                         ::testing::ValuesIn(std::vector<WorkingTextCase>{
                             {"crlf_unchanged", "a\r\nb\r\n", "a\r\nb\r\n"},
                             {"lf_only", "a\nb\n", "a\r\nb\r\n"},
                             {"cr_only", "a\rb\r", "a\r\nb\r\n"},
                             {"mixed", "a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd\r\n"},
                             {"last_line_gets_line_end", "a", "a\r\n"},
                             {"empty_file", "", ""},
                             {"blank_lines_kept", "\n\n", "\r\n\r\n"},
                             {"cr_then_crlf_is_two_lines", "a\r\r\nb", "a\r\n\r\nb\r\n"},
                             {"lf_cr_is_two_line_ends", "a\n\rb", "a\r\n\r\nb\r\n"},
                             {"nul_ends_text", "a\r\nb\0c\r\nd"s, "a\r\nb\r\n"},
                             {"nul_first", "\0abc"s, ""},
                             {"high_bytes_untouched", "\xE4\xF6\r\n", "\xE4\xF6\r\n"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

const std::string kDescription =
    "*GPDFileVersion: \"1.0\"\r\n"
    "*Feature: PaperSize\r\n"
    "{\r\n"
    "    *DefaultOption: LETTER\r\n"
    "    *Option: LETTER\r\n"
    "    {\r\n"
    "        *rcNameID: =RCID_DMPAPER_SYSTEM_NAME\r\n"
    "        *PrintSchemaKeywordMap: \"NorthAmericaLetter\"\r\n"
    "        *PrintableOrigin: PAIR(0, 0)\r\n"
    "        *PrintableArea: PAIR(3886200, 5029200)\r\n"
    "    }\r\n"
    "}\r\n"
    "*% A comment after the feature\r\n"
    "\r\n"
    "*Feature: Resolution\r\n"
    "{\r\n"
    "    *Option: ResOption1\r\n"
    "    {\r\n"
    "    }\r\n"
    "}\r\n"
    "*Feature: Orientation\r\n"
    "{\r\n"
    "}\r\n";

TEST(SplitFeatureBlockTest, BlockRunsToNextFeatureIncludingComments) {
    FeatureSplit split = SplitFeatureBlock(kDescription, kPaperSizeHeader);
    ASSERT_TRUE(split.found);
    EXPECT_EQ(split.before, "*GPDFileVersion: \"1.0\"\r\n");
    EXPECT_EQ(split.after.substr(0, 22), "*Feature: Resolution\r\n");
    EXPECT_EQ(split.before.size() + split.block.size() + split.after.size(),
              kDescription.size() + 1);
    // The block reaches one character into the next feature and carries the comment.
    EXPECT_EQ(split.block.back(), '*');
    EXPECT_NE(split.block.find("*% A comment"), std::string::npos);
    EXPECT_EQ(split.before + split.block.substr(0, split.block.size() - 1) + split.after,
              kDescription);
}

TEST(SplitFeatureBlockTest, ResolutionBlockStopsAtFollowingFeature) {
    FeatureSplit split = SplitFeatureBlock(kDescription, kResolutionHeader);
    ASSERT_TRUE(split.found);
    EXPECT_EQ(split.after, "*Feature: Orientation\r\n{\r\n}\r\n");
}

struct NotFoundCase {
    const char* label;
    std::string text;
    std::string header;
};

class SplitFeatureNotFoundTest : public ::testing::TestWithParam<NotFoundCase> {};

TEST_P(SplitFeatureNotFoundTest, FindsNoBlock) {
    FeatureSplit split = SplitFeatureBlock(GetParam().text, GetParam().header);
    EXPECT_FALSE(split.found);
    EXPECT_TRUE(split.before.empty() && split.block.empty() && split.after.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, SplitFeatureNotFoundTest,
    ::testing::ValuesIn(std::vector<NotFoundCase>{
        {"header_at_very_start", "*Feature: PaperSize\r\n{\r\n}\r\n*Feature: X\r\n",
         "*Feature: PaperSize"},
        {"header_missing", "x\r\n*Feature: Other\r\n*Feature: X\r\n", "*Feature: PaperSize"},
        {"last_feature_in_file", "x\r\n*Feature: PaperSize\r\n{\r\n}\r\n", "*Feature: PaperSize"},
        {"header_case_differs", "x\r\n*feature: PaperSize\r\n*Feature: X\r\n",
         "*Feature: PaperSize"},
        {"next_feature_inside_search_offset", "x*Feature: PaperSize*Feature: Y",
         "*Feature: PaperSize"},
        {"text_ends_inside_search_offset", "x*Feature: PaperSize", "*Feature: PaperSize"},
        {"empty_text", "", "*Feature: PaperSize"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SplitFeatureBlockTest, NextFeatureSearchStartsTwentyCharactersIn) {
    // For the 19-character PaperSize header the search starts one character after it, so a
    // feature glued to the header still counts; for Resolution (20 characters) it does too.
    FeatureSplit paper = SplitFeatureBlock("x*Feature: PaperSize *Feature: Y", kPaperSizeHeader);
    ASSERT_TRUE(paper.found);
    EXPECT_EQ(paper.after, "*Feature: Y");
    FeatureSplit res = SplitFeatureBlock("x*Feature: Resolution*Feature: Y", kResolutionHeader);
    ASSERT_TRUE(res.found);
    EXPECT_EQ(res.after, "*Feature: Y");
}

struct CutCase {
    const char* label;
    std::string text;
    bool found;
    std::string before;
    std::string after;
};

class CutFeatureTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutFeatureTest, EndsAtClosingBraceAndKeepsEntries) {
    const CutCase& c = GetParam();
    FeatureCut cut = CutFeature(c.text, kPaperSizeHeader);
    EXPECT_EQ(cut.found, c.found);
    EXPECT_EQ(cut.before, c.before);
    EXPECT_EQ(cut.after, c.after);
    if (c.found) {
        EXPECT_EQ(cut.block.rfind("*Feature: PaperSize", 0), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, CutFeatureTest,
    ::testing::ValuesIn(std::vector<CutCase>{
        {"comments_and_blanks_go",
         "x\r\n*Feature: PaperSize\r\n{\r\n}\r\n*% c\r\n\r\n*Feature: Y\r\n", true, "x\r\n",
         "*Feature: Y\r\n"},
        {"entries_stay_in_order",
         "x\r\n*Feature: PaperSize\r\n{\r\n}\r\n*Command: A\r\n*% c\r\n  *Switch: B\r\n  {\r\n  "
         "}\r\n"
         "*Feature: Y\r\n",
         true, "x\r\n", "*Command: A\r\n  *Switch: B\r\n  {\r\n  }\r\n*Feature: Y\r\n"},
        {"braces_in_strings_and_comments_ignored",
         "x\r\n*Feature: PaperSize\r\n{\r\n*N: \"}\"\r\n*% }\r\n}\r\n*Command: A\r\n*Feature: "
         "Y\r\n",
         true, "x\r\n", "*Command: A\r\n*Feature: Y\r\n"},
        {"unclosed_before_next_takes_defined_rule",
         "x\r\n*Feature: PaperSize\r\n{\r\n*Command: A\r\n*Feature: Y\r\n", true, "x\r\n",
         "*Feature: Y\r\n"},
        {"last_feature_keeps_tail",
         "x\r\n*Feature: PaperSize\r\n{\r\n{\r\n}\r\n}\r\n*Command: A\r\n*% e\r\n", true, "x\r\n",
         "*Command: A\r\n*% e\r\n"},
        {"last_feature_unclosed", "x\r\n*Feature: PaperSize\r\n{\r\n", false, "", ""},
        {"header_at_start", "*Feature: PaperSize\r\n{\r\n}\r\n", false, "", ""},
        {"no_header", "x\r\n*Feature: Other\r\n{\r\n}\r\n", false, "", ""},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ScanFeatureBlockTest, ReadsOptionsWindowsAndDefault) {
    FeatureSplit split = SplitFeatureBlock(kDescription, kPaperSizeHeader);
    FeatureScan scan = ScanFeatureBlock(split.block);
    EXPECT_EQ(scan.defaultName, "LETTER");
    ASSERT_EQ(scan.options.size(), 1u);
    EXPECT_EQ(scan.options[0].name, "LETTER");
    ASSERT_TRUE(scan.options[0].window.has_value());
    std::optional<PrintableArea> area = ReadPrintableArea(*scan.options[0].window);
    ASSERT_TRUE(area.has_value());
    EXPECT_EQ(area->width, "3886200");
    EXPECT_EQ(area->height, "5029200");
}

TEST(ScanFeatureBlockTest, ShortOptionBodyHasNoWindow) {
    // Only five lines follow B, the next feature's "*" that ends every block included.
    std::string block =
        "*Feature: PaperSize\r\n{\r\n*Option: A\r\n{\r\n*PrintableArea: PAIR(1, 2)\r\n}\r\n"
        "*Option: B\r\n{\r\n*PrintableArea: PAIR(3, 4)\r\n}\r\n}\r\n*";
    FeatureScan scan = ScanFeatureBlock(block);
    ASSERT_EQ(scan.options.size(), 2u);
    EXPECT_TRUE(scan.options[0].window.has_value());
    EXPECT_FALSE(scan.options[1].window.has_value());
}

TEST(ScanFeatureBlockTest, WindowCountsBlankLinesAndJoinsRawLines) {
    FeatureScan scan = ScanFeatureBlock("*Option: A\r\n a\r\n\r\nb \r\nc\r\nd\r\ne\r\nf\r\n");
    ASSERT_EQ(scan.options.size(), 1u);
    EXPECT_EQ(scan.options[0].window, " ab cde");
}

TEST(ScanFeatureBlockTest, NamesDefaultsAndDuplicates) {
    std::string block =
        "*DefaultOption: FIRST\r\n"
        "  *Option:    letter  \r\n"
        "*Option: \r\n"
        "*DefaultOption:\r\n"
        "*Option: letter\r\n"
        "\t*DefaultOption:   SECOND \r\n";
    FeatureScan scan = ScanFeatureBlock(block);
    ASSERT_EQ(scan.options.size(), 2u);
    EXPECT_EQ(scan.options[0].name, "letter");
    EXPECT_EQ(scan.options[1].name, "letter");
    EXPECT_EQ(scan.defaultName, "SECOND");
}

TEST(ScanFeatureBlockTest, NameIsTakenFromNinthCharacterOfTrimmedLine) {
    // The marker may stand anywhere in the line; the name still starts at character 9.
    FeatureScan scan = ScanFeatureBlock("ab *Option: X\r\n");
    ASSERT_EQ(scan.options.size(), 1u);
    EXPECT_EQ(scan.options[0].name, "on: X");
}

struct AreaCase {
    const char* label;
    const char* window;
    std::optional<std::string> width;
    std::optional<std::string> height;
};

class PrintableAreaTest : public ::testing::TestWithParam<AreaCase> {};

TEST_P(PrintableAreaTest, ReadsPair) {
    std::optional<PrintableArea> area = ReadPrintableArea(GetParam().window);
    if (!GetParam().width) {
        EXPECT_FALSE(area.has_value());
        return;
    }
    ASSERT_TRUE(area.has_value());
    EXPECT_EQ(area->width, *GetParam().width);
    EXPECT_EQ(area->height, *GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, PrintableAreaTest,
    ::testing::ValuesIn(std::vector<AreaCase>{
        {"spaces_inside_pair", "{*PrintableArea: PAIR( 3886200 ,5029200 )}", "3886200", "5029200"},
        {"lower_case_pair", "{*PrintableArea: pair(0, 0)}", "0", "0"},
        {"after_max_printable_width",
         "{*MaxSize: PAIR(5346000, 7560000)*MaxPrintableWidth: 5346000"
         "*PrintableArea: PAIR(1800000, 2700000)}",
         "1800000", "2700000"},
        {"texts_not_numbers", "x*PrintableArea: PAIR(a, b)", "A", "B"},
        {"marker_at_window_start", "PrintableArea: PAIR(1, 2)", std::nullopt, std::nullopt},
        {"no_marker", "{*PrintableOrigin: PAIR(0, 0)}", std::nullopt, std::nullopt},
        {"no_parenthesis", "x*PrintableArea: 1, 2", std::nullopt, std::nullopt},
        {"close_before_comma", "x*PrintableArea: PAIR(1) 2, 3", std::nullopt, std::nullopt},
        {"comma_before_open", "x*PrintableArea: 1, PAIR(2)", std::nullopt, std::nullopt},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ResolutionTextTest, FirstNumberOfFirstPair) {
    EXPECT_EQ(ReadResolutionText("{*Name: \"600 x 600\"*SpotDiameter: 100*DPI: PAIR( 600 , 600)"),
              "600");
    EXPECT_EQ(ReadResolutionText("{*DPI: PAIR(300, 300)*TextDPI: PAIR(600, 600)"), "300");
    EXPECT_EQ(ReadResolutionText("{*DPI: pair(300, 300)"), "");
    EXPECT_EQ(ReadResolutionText("{*DPI: PAIR(300"), "");
}

const std::string kCapabilities =
    "<?xml version=\"1.0\"?>\r\n"
    "<psf:PrintCapabilities>\r\n"
    "  <psk:PageMediaSize psf2:psftype=\"Feature\">\r\n"
    "    <psk:NorthAmericaLetter psf2:psftype=\"Option\"/>\r\n"
    "  </psk:PageMediaSize>\r\n"
    "  <psk:PageResolution psf2:psftype=\"Feature\">\r\n"
    "  </psk:PageResolution>\r\n"
    "</psf:PrintCapabilities>\r\n";

TEST(SplitCapabilityFeatureTest, KeepsIndentationBeforeAndTextAfterClosingTag) {
    CapabilitySplit split =
        SplitCapabilityFeature(kCapabilities, kPageMediaSizeOpenTag, kPageMediaSizeCloseTag);
    ASSERT_TRUE(split.found);
    EXPECT_EQ(split.before, "<?xml version=\"1.0\"?>\r\n<psf:PrintCapabilities>\r\n  ");
    EXPECT_EQ(split.after.substr(0, 4), "\r\n  ");
    EXPECT_EQ(split.after.substr(4, kPageResolutionOpenTag.size()), kPageResolutionOpenTag);
}

TEST(SplitCapabilityFeatureTest, ResolutionElement) {
    CapabilitySplit split =
        SplitCapabilityFeature(kCapabilities, kPageResolutionOpenTag, kPageResolutionCloseTag);
    ASSERT_TRUE(split.found);
    EXPECT_EQ(split.after, "\r\n</psf:PrintCapabilities>\r\n");
}

TEST(SplitCapabilityFeatureTest, FindsNothingWithoutBothTagsInOrder) {
    auto found = [](const std::string& text) {
        return SplitCapabilityFeature(text, kPageMediaSizeOpenTag, kPageMediaSizeCloseTag).found;
    };
    EXPECT_FALSE(found(std::string(kPageMediaSizeOpenTag) + "</psk:PageMediaSize>"));
    EXPECT_FALSE(found("x</psk:PageMediaSize>" + std::string(kPageMediaSizeOpenTag)));
    // Appended, not "x" + std::string(...): GCC 12 at -O3 warns falsely (-Wrestrict) on a
    // literal prepended to a temporary string.
    EXPECT_FALSE(found(std::string("x").append(kPageMediaSizeOpenTag)));
    EXPECT_FALSE(found(""));
    EXPECT_TRUE(found(std::string("x").append(kPageMediaSizeOpenTag) + "</psk:PageMediaSize>"));
}

}  // namespace
}  // namespace quellin::driverconfig
