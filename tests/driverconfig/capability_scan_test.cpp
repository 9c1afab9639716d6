// Reading the options back out of a capabilities element, as written by the editors and as
// damaged by hand.
#include <gtest/gtest.h>

#include "driverconfig/capability_scan.h"
#include "driverconfig/feature_writer.h"
#include "driverconfig/text_model.h"

namespace quellin::driverconfig {

namespace {

using driverconfig::CapabilityOption;
using driverconfig::ScanCapabilityOptions;

TEST(CapabilityScan, ReadsTheFragmentsTheEditorsWrite) {
    const std::vector<driverconfig::PaperOption> sizes = {
        {"LETTER", "NorthAmericaLetter", 3886200, 5029200},
        {"A4", "ISOA4", 3780000, 5346000},
        {"CUSTOMSIZE", "UserDefinedSize", 1800000, 2700000}};
    const std::vector<CapabilityOption> paper =
        ScanCapabilityOptions(driverconfig::BuildPageMediaSizeFragment("A4", sizes));
    ASSERT_EQ(paper.size(), 3u);
    EXPECT_EQ(paper[0].name, "NorthAmericaLetter");
    EXPECT_FALSE(paper[0].isDefault);
    EXPECT_EQ(paper[0].widthUm, 215900);
    EXPECT_EQ(paper[0].heightUm, 279400);
    EXPECT_TRUE(paper[1].isDefault);
    EXPECT_EQ(paper[2].name, "UserDefinedSize");
    EXPECT_EQ(paper[2].widthUm, 100000);

    const std::vector<CapabilityOption> resolutions =
        ScanCapabilityOptions(driverconfig::BuildPageResolutionFragment("ResOption2", {400, 100}));
    ASSERT_EQ(resolutions.size(), 2u);
    EXPECT_EQ(resolutions[0].name, "ResOption1");
    EXPECT_EQ(resolutions[0].resolutionX, 400);
    EXPECT_FALSE(resolutions[0].isDefault);
    EXPECT_EQ(resolutions[1].resolutionX, 100);
    EXPECT_TRUE(resolutions[1].isDefault);
}

struct ScanCase {
    const char* name;
    std::string element;
    std::vector<std::string> names;
    std::optional<std::int64_t> firstResolution;
};

class CapabilityScanCases : public ::testing::TestWithParam<ScanCase> {};

TEST_P(CapabilityScanCases, NamesInDocumentOrder) {
    const std::vector<CapabilityOption> options = ScanCapabilityOptions(GetParam().element);
    std::vector<std::string> names;
    for (const CapabilityOption& option : options)
        names.push_back(option.name);
    EXPECT_EQ(names, GetParam().names);
    if (!options.empty()) {
        EXPECT_EQ(options[0].resolutionX, GetParam().firstResolution);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Driverconfig, CapabilityScanCases,
    ::testing::Values(
        ScanCase{"Empty", "", {}, std::nullopt},
        ScanCase{"PropertiesBeforeAnyOptionAreIgnored",
                 "<psk:ResolutionX psf2:psftype=\"ScoredProperty\">600</psk:ResolutionX>"
                 "<a:B psf2:psftype=\"Option\"/>",
                 {"B"},
                 std::nullopt},
        ScanCase{"NotANumber",
                 "<x:R psf2:psftype=\"Option\"><psk:ResolutionX>6OO</psk:ResolutionX></x:R>",
                 {"R"},
                 std::nullopt},
        ScanCase{"UnclosedTagEndsTheScan",
                 "<x:A psf2:psftype=\"Option\"></x:A><x:B psf2:psftype=\"Option\"",
                 {"A"},
                 std::nullopt},
        ScanCase{"CommentsAndDeclarationsSkipped",
                 "<!-- <x:C psf2:psftype=\"Feature\"> --><?pi?><Unprefixed psf2:psftype=\"Option\">"
                 "<psk:ResolutionX> 300 </psk:ResolutionX>",
                 {"Unprefixed"},
                 300}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return info.param.name; });

TEST(CapabilityScan, ElementTextAndKeywordMap) {
    const std::string document =
        "<?xml?>\r\n  <psk:PageResolution psf2:psftype=\"Feature\">x"
        "</psk:PageResolution>\r\nrest";
    EXPECT_EQ(driverconfig::CapabilityElementText(document, driverconfig::kPageResolutionOpenTag,
                                                  driverconfig::kPageResolutionCloseTag),
              "<psk:PageResolution psf2:psftype=\"Feature\">x</psk:PageResolution>");
    EXPECT_FALSE(driverconfig::CapabilityElementText(
        "no element", driverconfig::kPageResolutionOpenTag, driverconfig::kPageResolutionCloseTag));
    EXPECT_EQ(driverconfig::ReadKeywordMap("{*rcNameID: =X*PrintSchemaKeywordMap: \"ISOA4\"*Pr"),
              "ISOA4");
    EXPECT_EQ(driverconfig::ReadKeywordMap("*PrintSchemaKeywordMap: \"unclosed"), "");
    EXPECT_EQ(driverconfig::ReadKeywordMap("{*rcNameID: =USER_DEFINED_SIZE_DISPLAY"), "");
}

}  // namespace

}  // namespace quellin::driverconfig
