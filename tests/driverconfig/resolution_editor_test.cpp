#include "driverconfig/resolution_editor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry.h"
#include "support/sandbox_fixture.h"

namespace quellin::driverconfig {
namespace {

namespace fs = std::filesystem;
using Ticks = std::array<bool, kResolutionCount>;

constexpr win::DWORD kWow64 = win::KEY_WOW64_64KEY;

// Ticks by resolution, for readable rows.
Ticks Ticked(std::initializer_list<int> dpis) {
    Ticks ticks{};
    for (int dpi : dpis) {
        for (std::size_t i = 0; i < kResolutionCount; ++i) {
            if (kResolutionsByPosition[i] == dpi) {
                ticks[i] = true;
            }
        }
    }
    return ticks;
}

std::string ResolutionOption(const std::string& name, const std::string& dpi) {
    return "*Option: " + name + "\r\n{\r\n*Name: \"x\"\r\n*PrintSchemaNamespace: \"u\"\r\n" +
           "*SpotDiameter: 100\r\n*DPI: PAIR(" + dpi + ", " + dpi + ")\r\n*TextDPI: PAIR(" + dpi +
           ", " + dpi + ")\r\n}\r\n";
}

std::string Description(const std::string& options, const std::string& defaultName) {
    return "*%\r\n*Feature: Resolution\r\n{\r\n*DefaultOption: " + defaultName + "\r\n" + options +
           "}\r\n*Feature: ColorMode\r\n{\r\n}\r\n";
}

struct OpenCase {
    const char* label;
    std::string description;
    Ticks ticked;
    int selected;
};

class OpenResolutionTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenResolutionTest, TicksKnownResolutionsAndSelectsDefault) {
    ResolutionDialog dialog;
    PrepareResolutionDialog(dialog, ReadResolutions(GetParam().description));
    EXPECT_EQ(dialog.ticked, GetParam().ticked);
    EXPECT_EQ(dialog.selected, GetParam().selected);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, OpenResolutionTest,
    ::testing::ValuesIn(std::vector<OpenCase>{
        {"one_600", Description(ResolutionOption("ResOption1", "600"), "ResOption1"), Ticked({600}),
         1},
        {"default_300_of_two",
         Description(ResolutionOption("ResOption1", "600") + ResolutionOption("ResOption2", "300"),
                     "ResOption2"),
         Ticked({600, 300}), 3},
        {"unknown_500_ticks_nothing", Description(ResolutionOption("A", "500"), "B"), Ticked({}),
         1},
        {"default_at_500_leaves_no_selection", Description(ResolutionOption("A", "500"), "A"),
         Ticked({}), -1},
        {"default_name_is_case_sensitive", Description(ResolutionOption("A", "300"), "a"),
         Ticked({300}), 1},
        {"1200_from_description", Description(ResolutionOption("R", "1200"), "R"), Ticked({1200}),
         0},
        {"no_block", "*Feature: Resolution\r\n{\r\n}\r\n", Ticked({}), 1},
    }),
    [](const auto& info) { return std::string(info.param.label); });

struct SaveCase {
    const char* label;
    Ticks ticked;
    int selected;
    std::vector<int> answers;  // for the yes/no boxes, in order
    bool closes;
    std::vector<std::string> boxes;  // "title: text start"
    Ticks tickedAfter;
    std::vector<std::string> urls;
};

class SaveResolutionTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveResolutionTest, RunsTheThreeTestsInOrder) {
    const SaveCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    for (int answer : c.answers) {
        ui.QueueAnswer(answer);
    }
    ResolutionDialog dialog{c.ticked, c.selected};
    EXPECT_EQ(SaveResolutionDialog(dialog, {"https://site", "https://site/companion.html"}, 0),
              c.closes);
    std::vector<std::string> boxes;
    for (const auto& box : ui.boxes) {
        boxes.push_back(box.caption + ": " + box.text);
    }
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(dialog.ticked, c.tickedAfter);
    EXPECT_EQ(dialog.selected, c.selected);
    EXPECT_EQ(ui.urls, c.urls);
}

const std::string k1200 =
    "Unsupported resolution: The version of Microsoft Print to PDF installed on your computer does "
    "not support 1200 x 1200 DPI resolution.\r\nDo you want to try Corvandel software, which "
    "supports high-resolution printing for up to 2540 x 2540 DPI?";
const std::string kSeveral =
    "Warning: It is suggested to select only one resolution other than several, as the version of "
    "Microsoft Print to PDF installed on your computer would not function at all with multiple "
    "resolutions, although it allows multiple resolutions appear in the drop down list of "
    "Graphics Resolution. Do you wish to continue?";
const std::string kMultiple =
    "Unsupported resolutions: Do you want to try Corvandel software, which supports multiple "
    "resolutions?";

INSTANTIATE_TEST_SUITE_P(
    States, SaveResolutionTest,
    ::testing::ValuesIn(std::vector<SaveCase>{
        {"one_ticked_default", Ticked({300}), 3, {}, true, {}, Ticked({300}), {}},
        {"default_not_ticked",
         Ticked({300}),
         1,
         {},
         false,
         {"Quellin: Default resolution is not selected. Please select 600 x 600"},
         Ticked({300}),
         {}},
        {"no_default_selected",
         Ticked({300}),
         -1,
         {},
         false,
         {"Quellin: Default resolution is not selected. Please select "},
         Ticked({300}),
         {}},
        {"1200_cleared_and_yes_opens_preview",
         Ticked({1200, 600}),
         1,
         {win::IDYES},
         false,
         {k1200},
         Ticked({600}),
         {"https://site/preview.html"}},
        {"1200_default_fails_default_test_only_after_clearing",
         Ticked({1200}),
         0,
         {win::IDNO},
         false,
         {k1200},
         Ticked({}),
         {}},
        {"several_yes_closes",
         Ticked({100, 400}),
         8,
         {win::IDYES},
         true,
         {kSeveral},
         Ticked({100, 400}),
         {}},
        {"several_no_leaves_600_and_offers_companion",
         Ticked({300, 200}),
         3,
         {win::IDNO, win::IDYES},
         false,
         {kSeveral, kMultiple},
         Ticked({600}),
         {"https://site/companion.html"}},
    }),
    [](const auto& info) { return std::string(info.param.label); });

struct FindCase {
    const char* label;
    std::string listText;
    std::string options;
    std::string expected;
};

class FindResolutionOptionTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindResolutionOptionTest, NamesTheMatchingOption) {
    EXPECT_EQ(FindResolutionOption(GetParam().listText, GetParam().options), GetParam().expected);
}

const std::string kTwoOptions =
    ResolutionOption("ResOption1", "400") + ResolutionOption("ResOption2", "100");

INSTANTIATE_TEST_SUITE_P(Texts, FindResolutionOptionTest,
                         ::testing::ValuesIn(std::vector<FindCase>{
                             {"second", "100 x 100", kTwoOptions, "ResOption2"},
                             {"first", "400 x 400", kTwoOptions, "ResOption1"},
                             {"absent", "600 x 600", kTwoOptions, ""},
                             {"no_separator", "600x600", kTwoOptions, ""},
                             {"separator_first", " x 600", kTwoOptions, ""},
                             {"not_digits", "6a0 x 600", kTwoOptions, ""},
                             {"both_empty", "", "", ""},
                             {"indented_lines", "100 x 100",
                              "  *Option: R7\r\n  {\r\n  *DPI: PAIR(100, 100)\r\n", "R7"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ResolutionChangeTest, OutputOrderPutsTwelveHundredLast) {
    ResolutionDialog dialog{Ticked({100, 1200, 600, 180}), 8};
    EXPECT_EQ(ChosenResolutions(dialog), (std::vector<int>{600, 180, 100, 1200}));
    FeatureReplacement change = ResolutionChange(dialog);
    EXPECT_NE(change.feature.find("*DefaultOption: ResOption3\r\n"), std::string::npos);
    EXPECT_NE(change.fragment.find("<ns0000:ResOption3 psf2:psftype=\"Option\" "
                                   "psf2:default=\"true\">"),
              std::string::npos);
}

TEST(ResolutionChangeTest, LoadDefaultTicksOnly600) {
    ResolutionDialog dialog{Ticked({100, 1200}), -1};
    LoadDefaultResolutions(dialog);
    EXPECT_EQ(dialog.ticked, Ticked({600}));
    EXPECT_EQ(dialog.selected, 1);
}

class ResolutionFilesTest : public ::testing::Test {
  public:
    std::string Bytes(const std::string& windowsPath) const {
        return testsupport::ReadHostFile(sandbox_.HostPath(windowsPath)).value_or("<missing>");
    }

    testsupport::ScopedSandbox sandbox_;
    testsupport::RecordingUi ui_;
};

TEST_F(ResolutionFilesTest, WritesTicked400And100WithDefault100) {
    std::optional<ResolutionSession> session = BeginResolutionEdit({kWow64, 0});
    ASSERT_TRUE(session.has_value());
    ResolutionDialog dialog;
    PrepareResolutionDialog(dialog, session->reading);
    EXPECT_EQ(dialog.ticked, Ticked({600}));
    dialog.ticked = Ticked({100, 400});
    dialog.selected = 8;
    EXPECT_EQ(FinishResolutionEdit(*session, dialog, {kWow64, 0}), ReplaceResult::Written);

    const std::string ns =
        "*PrintSchemaNamespace: \"http://schemas.microsoft.com/windows/2015/02/printing/"
        "printschemakeywords/microsoftprinttopdf\"\r\n";
    const std::string feature =
        "*Feature: Resolution\r\n{\r\n*rcNameID: =RESOLUTION_DISPLAY\r\n"
        "*PrintSchemaKeywordMap: \"PageResolution\"\r\n*DefaultOption: ResOption2\r\n"
        "*Option: ResOption1\r\n{\r\n*Name: \"400 x 400\"\r\n" +
        ns +
        "*SpotDiameter: 100\r\n*DPI: PAIR(400, 400)\r\n*TextDPI: PAIR(400, 400)\r\n}\r\n"
        "*Option: ResOption2\r\n{\r\n*Name: \"100 x 100\"\r\n" +
        ns +
        "*SpotDiameter: 100\r\n*DPI: PAIR(100, 100)\r\n*TextDPI: PAIR(100, 100)\r\n}\r\n}\r\n"
        "*Feature: ColorMode\r\n";
    EXPECT_NE(Bytes(session->paths.mergedConfigPath).find(feature), std::string::npos);
    const std::string element =
        "  <psk:PageResolution psf2:psftype=\"Feature\">\r\n"
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
        "  </psk:PageResolution>\r\n  <psk:PageOutputColor";
    EXPECT_NE(Bytes(session->paths.deviceCapabilitiesPath).find(element), std::string::npos);
    EXPECT_FALSE(fs::exists(sandbox_.HostPath(session->paths.cachePath)));
    EXPECT_TRUE(ui_.boxes.empty());
}

}  // namespace
}  // namespace quellin::driverconfig
