#include "driverconfig/feature_writer.h"

#include <gtest/gtest.h>

#include "driverconfig/text_model.h"

namespace quellin::driverconfig {
namespace {

TEST(PaperSizeFeatureTest, CatalogueAndCustomOptionsLineByLine) {
    std::vector<PaperOption> options = {
        {"LETTER", "NorthAmericaLetter", 3886200, 5029200},
        {"CUSTOMSIZE", "UserDefinedSize", 1800000, 2700000},
    };
    EXPECT_EQ(BuildPaperSizeFeature("LETTER", options),
              "*Feature: PaperSize\r\n"
              "{\r\n"
              "*rcNameID: =PAPER_SIZE_DISPLAY\r\n"
              "*PrintSchemaKeywordMap: \"PageMediaSize\"\r\n"
              "*DefaultOption: LETTER\r\n"
              "*Option: LETTER\r\n"
              "{\r\n"
              "*rcNameID: =RCID_DMPAPER_SYSTEM_NAME\r\n"
              "*PrintSchemaKeywordMap: \"NorthAmericaLetter\"\r\n"
              "*PrintableOrigin: PAIR(0, 0)\r\n"
              "*PrintableArea: PAIR(3886200, 5029200)\r\n"
              "}\r\n"
              "*Option: CUSTOMSIZE\r\n"
              "{\r\n"
              "*rcNameID: =USER_DEFINED_SIZE_DISPLAY\r\n"
              "*MinSize: PAIR(936000, 1332000)\r\n"
              "*MaxSize: PAIR(5346000, 7560000)\r\n"
              "*MaxPrintableWidth: 5346000\r\n"
              "*PrintableArea: PAIR(1800000, 2700000)\r\n"
              "}\r\n"
              "}\r\n");
}

TEST(PaperSizeFeatureTest, EmptyListStillClosesFeature) {
    EXPECT_EQ(BuildPaperSizeFeature("", {}),
              "*Feature: PaperSize\r\n{\r\n*rcNameID: =PAPER_SIZE_DISPLAY\r\n"
              "*PrintSchemaKeywordMap: \"PageMediaSize\"\r\n*DefaultOption: \r\n}\r\n");
}

TEST(PaperSizeFeatureTest, WrittenFeatureReadsBack) {
    // What the editor writes must come back through its own reader with the same sizes.
    std::vector<PaperOption> options = {
        {"A4", "ISOA4", 3780000, 5346000},
        {"CUSTOMSIZE", "UserDefinedSize", 3888000, 5040000},
        {"LETTER", "NorthAmericaLetter", 3886200, 5029200},
    };
    std::string text = "x\r\n" + BuildPaperSizeFeature("A4", options) + "*Feature: Next\r\n";
    FeatureSplit split = SplitFeatureBlock(text, kPaperSizeHeader);
    ASSERT_TRUE(split.found);
    FeatureScan scan = ScanFeatureBlock(split.block);
    EXPECT_EQ(scan.defaultName, "A4");
    ASSERT_EQ(scan.options.size(), 3u);
    for (std::size_t i = 0; i < options.size(); ++i) {
        SCOPED_TRACE(options[i].name);
        EXPECT_EQ(scan.options[i].name, options[i].name);
        ASSERT_TRUE(scan.options[i].window.has_value());
        std::optional<PrintableArea> area = ReadPrintableArea(*scan.options[i].window);
        ASSERT_TRUE(area.has_value());
        EXPECT_EQ(area->width, std::to_string(options[i].width));
        EXPECT_EQ(area->height, std::to_string(options[i].height));
    }
}

TEST(PageMediaSizeFragmentTest, MicrometresHeightBeforeWidthAndDefaultMarked) {
    std::vector<PaperOption> options = {
        {"A4", "ISOA4", 3779901, 5345811},
        {"LETTER", "NorthAmericaLetter", 3886200, 5029200},
    };
    EXPECT_EQ(
        BuildPageMediaSizeFragment("LETTER", options),
        "<psk:PageMediaSize psf2:psftype=\"Feature\">\r\n"
        "    <psk:ISOA4 psf2:psftype=\"Option\">\r\n"
        "      <psk12:PortraitImageableSize psf2:psftype=\"Property\" "
        "xsi:type=\"psf2:ImageableAreaType\">0,0,209994,296990</psk12:PortraitImageableSize>\r\n"
        "      <psk:MediaSizeHeight psf2:psftype=\"ScoredProperty\" "
        "xsi:type=\"xsd:integer\">296990</psk:MediaSizeHeight>\r\n"
        "      <psk:MediaSizeWidth psf2:psftype=\"ScoredProperty\" "
        "xsi:type=\"xsd:integer\">209994</psk:MediaSizeWidth>\r\n"
        "    </psk:ISOA4>\r\n"
        "    <psk:NorthAmericaLetter psf2:psftype=\"Option\" psf2:default=\"true\">\r\n"
        "      <psk12:PortraitImageableSize psf2:psftype=\"Property\" "
        "xsi:type=\"psf2:ImageableAreaType\">0,0,215900,279400</psk12:PortraitImageableSize>\r\n"
        "      <psk:MediaSizeHeight psf2:psftype=\"ScoredProperty\" "
        "xsi:type=\"xsd:integer\">279400</psk:MediaSizeHeight>\r\n"
        "      <psk:MediaSizeWidth psf2:psftype=\"ScoredProperty\" "
        "xsi:type=\"xsd:integer\">215900</psk:MediaSizeWidth>\r\n"
        "    </psk:NorthAmericaLetter>\r\n"
        "  </psk:PageMediaSize>");
}

struct DefaultCase {
    const char* label;
    const char* defaultName;
    std::size_t markedCount;
};

class PageMediaSizeDefaultTest : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(PageMediaSizeDefaultTest, AtMostOneDefault) {
    std::vector<PaperOption> options = {
        {"A4", "ISOA4", 1, 1}, {"A4", "ISOA4", 1, 1}, {"LETTER", "NorthAmericaLetter", 1, 1}};
    std::string fragment = BuildPageMediaSizeFragment(GetParam().defaultName, options);
    std::size_t count = 0;
    for (std::size_t at = fragment.find("psf2:default"); at != std::string::npos;
         at = fragment.find("psf2:default", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, GetParam().markedCount);
}

INSTANTIATE_TEST_SUITE_P(Names, PageMediaSizeDefaultTest,
                         ::testing::ValuesIn(std::vector<DefaultCase>{
                             {"duplicate_entries_mark_first_only", "A4", 1},
                             {"case_must_match", "letter", 0},
                             {"unknown_default", "B5", 0},
                             {"empty_default", "", 0},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ResolutionFeatureTest, NumberedOptionsLineByLine) {
    std::string ns(kPrivateKeywordNamespace);
    EXPECT_EQ(BuildResolutionFeature("ResOption2", {300, 100}),
              "*Feature: Resolution\r\n"
              "{\r\n"
              "*rcNameID: =RESOLUTION_DISPLAY\r\n"
              "*PrintSchemaKeywordMap: \"PageResolution\"\r\n"
              "*DefaultOption: ResOption2\r\n"
              "*Option: ResOption1\r\n"
              "{\r\n"
              "*Name: \"300 x 300\"\r\n"
              "*PrintSchemaNamespace: \"" +
                  ns +
                  "\"\r\n"
                  "*SpotDiameter: 100\r\n"
                  "*DPI: PAIR(300, 300)\r\n"
                  "*TextDPI: PAIR(300, 300)\r\n"
                  "}\r\n"
                  "*Option: ResOption2\r\n"
                  "{\r\n"
                  "*Name: \"100 x 100\"\r\n"
                  "*PrintSchemaNamespace: \"" +
                  ns +
                  "\"\r\n"
                  "*SpotDiameter: 100\r\n"
                  "*DPI: PAIR(100, 100)\r\n"
                  "*TextDPI: PAIR(100, 100)\r\n"
                  "}\r\n"
                  "}\r\n");
}

TEST(ResolutionFeatureTest, WrittenFeatureReadsBack) {
    std::string text =
        "x\r\n" + BuildResolutionFeature("ResOption1", {600, 400}) + "*Feature: Next\r\n";
    FeatureSplit split = SplitFeatureBlock(text, kResolutionHeader);
    ASSERT_TRUE(split.found);
    FeatureScan scan = ScanFeatureBlock(split.block);
    EXPECT_EQ(scan.defaultName, "ResOption1");
    ASSERT_EQ(scan.options.size(), 2u);
    ASSERT_TRUE(scan.options[0].window && scan.options[1].window);
    EXPECT_EQ(ReadResolutionText(*scan.options[0].window), "600");
    EXPECT_EQ(ReadResolutionText(*scan.options[1].window), "400");
}

TEST(PageResolutionFragmentTest, NumberedOptionsWithDefault) {
    EXPECT_EQ(BuildPageResolutionFragment("ResOption2", {400, 100}),
              "<psk:PageResolution psf2:psftype=\"Feature\">\r\n"
              "    <ns0000:ResOption1 psf2:psftype=\"Option\">\r\n"
              "      <psk:ResolutionX psf2:psftype=\"ScoredProperty\" "
              "xsi:type=\"xsd:integer\">400</psk:ResolutionX>\r\n"
              "      <psk:ResolutionY psf2:psftype=\"ScoredProperty\" "
              "xsi:type=\"xsd:integer\">400</psk:ResolutionY>\r\n"
              "    </ns0000:ResOption1>\r\n"
              "    <ns0000:ResOption2 psf2:psftype=\"Option\" psf2:default=\"true\">\r\n"
              "      <psk:ResolutionX psf2:psftype=\"ScoredProperty\" "
              "xsi:type=\"xsd:integer\">100</psk:ResolutionX>\r\n"
              "      <psk:ResolutionY psf2:psftype=\"ScoredProperty\" "
              "xsi:type=\"xsd:integer\">100</psk:ResolutionY>\r\n"
              "    </ns0000:ResOption2>\r\n"
              "  </psk:PageResolution>");
}

TEST(PageResolutionFragmentTest, WrittenFragmentSplitsAgain) {
    std::string doc = "<x>\r\n  " + BuildPageResolutionFragment("", {600}) + "\r\n</x>\r\n";
    CapabilitySplit split =
        SplitCapabilityFeature(doc, kPageResolutionOpenTag, kPageResolutionCloseTag);
    ASSERT_TRUE(split.found);
    EXPECT_EQ(split.before, "<x>\r\n  ");
    EXPECT_EQ(split.after, "\r\n</x>\r\n");
}

}  // namespace
}  // namespace quellin::driverconfig
