#include "driverconfig/paper_size_editor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "driverconfig/text.h"
#include "platform/registry.h"
#include "platform/sim/registry_store.h"
#include "support/sandbox_fixture.h"

namespace quellin::driverconfig {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr win::DWORD kWow64 = win::KEY_WOW64_64KEY;

// A description with one PaperSize feature of the given options (each "NAME|width|height")
// and default, between two other features.
std::string Description(const Names& options, const std::string& defaultName,
                        const std::string& tail = "*Feature: Resolution\r\n{\r\n}\r\n") {
    std::string text = "*GPDFileVersion: \"1.0\"\r\n*Feature: PaperSize\r\n{\r\n";
    text += "*DefaultOption: " + defaultName + "\r\n";
    for (const std::string& option : options) {
        std::size_t a = option.find('|');
        std::size_t b = option.find('|', a + 1);
        text += "*Option: " + option.substr(0, a) + "\r\n{\r\n*rcNameID: =X\r\n*Map: \"K\"\r\n" +
                "*PrintableOrigin: PAIR(0, 0)\r\n*PrintableArea: PAIR(" +
                option.substr(a + 1, b - a - 1) + ", " + option.substr(b + 1) + ")\r\n}\r\n";
    }
    return text + "}\r\n" + tail;
}

struct ReadCase {
    const char* label;
    std::string description;
    PaperSettings before;
    Names chosen;
    std::string defaultName;
    PaperSettings after;
};

class ReadPaperSizesTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadPaperSizesTest, ListsOptionsAndUpdatesSettings) {
    const ReadCase& c = GetParam();
    PaperSettings settings = c.before;
    PaperSizeReading reading = ReadPaperSizes(c.description, settings);
    EXPECT_EQ(reading.chosen, c.chosen);
    EXPECT_EQ(reading.defaultName, c.defaultName);
    EXPECT_EQ(settings.internationalUnits, c.after.internationalUnits);
    EXPECT_EQ(settings.customWidthMm, c.after.customWidthMm);
    EXPECT_EQ(settings.customHeightMm, c.after.customHeightMm);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, ReadPaperSizesTest,
    ::testing::ValuesIn(std::vector<ReadCase>{
        {"custom_size_read_in_mm",
         Description({"LETTER|3886200|5029200", "A4|3780000|5346000", "CUSTOMSIZE|3888000|5040000"},
                     "A4"),
         {},
         {"LETTER", "A4", "CUSTOMSIZE"},
         "A4",
         {false, 216, 280}},
        {"letter_with_metric_width_means_international",
         Description({"LETTER|3888000|5029200"}, "LETTER"),
         {},
         {"LETTER"},
         "LETTER",
         {true, 0, 0}},
        {"us_widths_never_switch_back",
         Description({"LETTER|3886200|5029200", "TABLOID|5029200|7772400"}, "LETTER"),
         {true, 50, 60},
         {"LETTER", "TABLOID"},
         "LETTER",
         {true, 50, 60}},
        {"zero_width_is_no_evidence",
         Description({"LEGAL|0|6400800"}, "LEGAL"),
         {},
         {"LEGAL"},
         "LEGAL",
         {false, 0, 0}},
        {"lower_case_names_upper_cased",
         Description({"letter|3886200|5029200", "a4|1|1"}, "a4"),
         {},
         {"LETTER", "A4"},
         "A4",
         {false, 0, 0}},
        {"of_two_custom_sizes_the_last_gives_the_size",
         Description({"CUSTOMSIZE|1800000|2700000", "CUSTOMSIZE|3600000|5400000"}, "A4"),
         {},
         {"CUSTOMSIZE", "CUSTOMSIZE"},
         "A4",
         {false, 200, 300}},
        {"custom_rounds_half_to_even",
         Description({"customsize|1809000|2727000"}, "A4"),
         {},
         {"CUSTOMSIZE"},
         "A4",
         {false, 100, 152}},
        {"a4_at_its_exact_width_means_international",
         Description({"A4|3779901|5345811"}, "A4"),
         {},
         {"A4"},
         "A4",
         {true, 0, 0}},
        {"huge_custom_is_not_taken",
         Description({"CUSTOMSIZE|99999999999999999999|5"}, "CUSTOMSIZE"),
         {false, 30, 40},
         {"CUSTOMSIZE"},
         "CUSTOMSIZE",
         {false, 30, 40}},
        {"no_block_reads_nothing_and_keeps_settings",
         "*Feature: PaperSize\r\n{\r\n}\r\n*Feature: X\r\n",
         {true, 7, 8},
         {},
         "",
         {true, 7, 8}},
        {"last_feature_still_read",
         Description({"A5|1|1"}, "A5", "*% end\r\n"),
         {},
         {"A5"},
         "A5",
         {false, 0, 0}},
    }),
    [](const auto& info) { return std::string(info.param.label); });

PaperSizeDialog OpenOn(const std::string& description, PaperSettings& settings) {
    PaperSizeReading reading = ReadPaperSizes(description, settings);
    PaperSizeDialog dialog = CreatePaperSizeDialog(settings, '.');
    PreparePaperSizeDialog(dialog, reading, settings);
    return dialog;
}

TEST(PaperSizeDialogTest, OpensWithDescriptionSizesAndDefaultSelected) {
    PaperSettings settings;
    PaperSizeDialog dialog = OpenOn(
        Description({"LETTER|3886200|5029200", "A4|3780000|5346000", "CUSTOMSIZE|3888000|5040000"},
                    "A4"),
        settings);
    EXPECT_EQ(dialog.chosen, (Names{"LETTER", "A4", "CUSTOMSIZE"}));
    EXPECT_EQ(dialog.chosenRow, 1);
    EXPECT_EQ(dialog.defaultName, "A4");
    EXPECT_EQ(dialog.available.size(), 113u);
    EXPECT_EQ(dialog.available.front(), "LETTER_EXTRA_TRANSVERSE");
    EXPECT_EQ(std::count(dialog.available.begin(), dialog.available.end(), "A4"), 0);
    EXPECT_EQ(dialog.widthText, "210");
    EXPECT_EQ(dialog.heightText, "297");
    EXPECT_FALSE(dialog.customEditing);

    SelectPaperRow(dialog, PaperList::Chosen, 2);
    ClickPaperList(dialog, PaperList::Chosen);
    EXPECT_TRUE(dialog.customEditing);
    EXPECT_EQ(dialog.widthText, "216");
    EXPECT_EQ(dialog.heightText, "280");
}

TEST(PaperSizeDialogTest, DefaultMissingFromListSelectsNothing) {
    PaperSettings settings{true, 0, 0};
    PaperSizeDialog dialog = OpenOn(Description({"A4|1|1"}, "LETTER"), settings);
    EXPECT_EQ(dialog.chosenRow, -1);
    EXPECT_EQ(dialog.defaultName, "LETTER");
    EXPECT_TRUE(dialog.internationalUnits);
    EXPECT_EQ(dialog.aspectRatio, "");
}

struct ShowCase {
    const char* label;
    std::string name;
    char separator;
    std::string width;
    std::string height;
    std::string ratio;
};

class ShowPaperSizeTest : public ::testing::TestWithParam<ShowCase> {};

TEST_P(ShowPaperSizeTest, ShowsMillimetresAndRatio) {
    const ShowCase& c = GetParam();
    PaperSizeDialog dialog;
    dialog.decimalSeparator = c.separator;
    dialog.widthText = "old";
    dialog.heightText = "old";
    dialog.aspectRatio = "old";
    ShowPaperSize(dialog, c.name);
    EXPECT_EQ(dialog.widthText, c.width);
    EXPECT_EQ(dialog.heightText, c.height);
    EXPECT_EQ(dialog.aspectRatio, c.ratio);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ShowPaperSizeTest,
                         ::testing::ValuesIn(std::vector<ShowCase>{
                             {"letter", "LETTER", '.', "216", "279", "0.77"},
                             {"ledger", "ledger", '.', "432", "279", "1.55"},
                             {"comma_separator", "LETTER", ',', "216", "279", "0,77"},
                             {"monarch_tie_to_even", "ENV_MONARCH", '.', "98", "190", "0.52"},
                             {"square_shows_whole_number", "ENV_INVITE", '.', "220", "220", "1"},
                             {"display_table_name", "11x15", '.', "279", "381", "0.73"},
                             {"display_table_with_space", "iso b0", '.', "1000", "1414", "0.71"},
                             {"unknown_keeps_old", "CUSTOMSIZE", '.', "old", "old", "old"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PaperSizeDialogTest, AspectRatioFollowsTheRegionalDecimalSeparator) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_EQ(SystemDecimalSeparator(), '.');
    sim::reg::SetString("HKCU\\Control Panel\\International", "sDecimal", ",");
    PaperSettings settings;
    PaperSizeDialog dialog = CreatePaperSizeDialog(settings, SystemDecimalSeparator());
    ShowPaperSize(dialog, "LETTER");
    EXPECT_EQ(dialog.aspectRatio, "0,77");
}

struct DropCase {
    const char* label;
    Names chosen;
    Names available;
    PaperList source;
    int sourceRow;
    bool moved;
    Names chosenAfter;
    Names availableAfter;
    int chosenRowAfter;
    int availableRowAfter;
};

class DropPaperSizeTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropPaperSizeTest, MovesTheSelectedEntry) {
    const DropCase& c = GetParam();
    PaperSizeDialog dialog;
    dialog.chosen = c.chosen;
    dialog.available = c.available;
    dialog.defaultName = "LETTER";
    SelectPaperRow(dialog, c.source, c.sourceRow);
    PaperList target = c.source == PaperList::Chosen ? PaperList::Available : PaperList::Chosen;
    EXPECT_TRUE(AcceptsDrop(target, c.source));
    EXPECT_FALSE(AcceptsDrop(c.source, c.source));
    EXPECT_EQ(DropPaperSize(dialog, target), c.moved);
    EXPECT_EQ(dialog.chosen, c.chosenAfter);
    EXPECT_EQ(dialog.available, c.availableAfter);
    EXPECT_EQ(dialog.chosenRow, c.chosenRowAfter);
    EXPECT_EQ(dialog.availableRow, c.availableRowAfter);
    EXPECT_EQ(dialog.defaultName, "LETTER");
}

INSTANTIATE_TEST_SUITE_P(Drops, DropPaperSizeTest,
                         ::testing::ValuesIn(std::vector<DropCase>{
                             {"available_to_chosen_appends",
                              {"LETTER"},
                              {"A3", "A4"},
                              PaperList::Available,
                              0,
                              true,
                              {"LETTER", "A3"},
                              {"A4"},
                              1,
                              -1},
                             {"default_to_available_keeps_default",
                              {"A4", "LETTER"},
                              {"A3"},
                              PaperList::Chosen,
                              1,
                              true,
                              {"A4"},
                              {"A3", "LETTER"},
                              -1,
                              1},
                             {"already_held_selects_existing_copy",
                              {"LETTER", "A3"},
                              {"B4", "a3"},
                              PaperList::Available,
                              1,
                              true,
                              {"LETTER", "A3"},
                              {"B4"},
                              1,
                              -1},
                             {"no_selection_does_nothing",
                              {"LETTER"},
                              {"A3"},
                              PaperList::Available,
                              -1,
                              false,
                              {"LETTER"},
                              {"A3"},
                              -1,
                              -1},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PaperSizeDialogTest, DoubleClickMakesSelectedChosenSizeTheDefault) {
    PaperSizeDialog dialog;
    dialog.chosen = {"LETTER", "A3"};
    dialog.defaultName = "LETTER";
    EXPECT_FALSE(ChooseDefaultSize(dialog));
    SelectPaperRow(dialog, PaperList::Chosen, 1);
    EXPECT_TRUE(ChooseDefaultSize(dialog));
    EXPECT_EQ(dialog.defaultName, "A3");
}

TEST(PaperSizeDialogTest, AddCustomSizeOnceAndShowsDialogCopy) {
    PaperSizeDialog dialog = CreatePaperSizeDialog({false, 100, 150}, '.');
    dialog.chosen = {"LETTER"};
    SelectPaperRow(dialog, PaperList::Available, 3);
    AddCustomSize(dialog);
    EXPECT_EQ(dialog.chosen, (Names{"LETTER", "CUSTOMSIZE"}));
    EXPECT_EQ(dialog.chosenRow, 1);
    EXPECT_EQ(dialog.availableRow, -1);
    EXPECT_TRUE(dialog.customEditing);
    EXPECT_EQ(dialog.widthText, "100");
    EXPECT_EQ(dialog.heightText, "150");
    AddCustomSize(dialog);
    EXPECT_EQ(dialog.chosen.size(), 2u);
    // One side unset: the dialog's copy stays empty.
    EXPECT_EQ(CreatePaperSizeDialog({false, 100, 0}, '.').customWidthMm, 0);
}

struct ApplyCase {
    const char* label;
    std::string width;
    std::string height;
    bool accepted;
    std::int32_t widthMm;
    std::int32_t heightMm;
};

class ApplyCustomSizeTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyCustomSizeTest, AcceptsDigitsOnly) {
    const ApplyCase& c = GetParam();
    testsupport::RecordingUi ui;
    PaperSizeDialog dialog;
    dialog.customWidthMm = 7;
    dialog.customHeightMm = 9;
    dialog.widthText = c.width;
    dialog.heightText = c.height;
    EXPECT_EQ(ApplyCustomSize(dialog, 0), c.accepted);
    EXPECT_EQ(dialog.customWidthMm, c.accepted ? c.widthMm : 7);
    EXPECT_EQ(dialog.customHeightMm, c.accepted ? c.heightMm : 9);
    ASSERT_EQ(ui.boxes.size(), c.accepted ? 0u : 1u);
    if (!c.accepted) {
        EXPECT_EQ(ui.boxes[0].text, "Invalid value. Integer value is needed.");
        EXPECT_EQ(ui.boxes[0].caption, "Quellin");
    }
}

INSTANTIATE_TEST_SUITE_P(Edits, ApplyCustomSizeTest,
                         ::testing::ValuesIn(std::vector<ApplyCase>{
                             {"plain", "100", "150", true, 100, 150},
                             {"spaces_trimmed", " 100 ", "150\t", true, 100, 150},
                             {"one_empty_side_is_zero", "", "150", true, 0, 150},
                             {"double_zero_passes", "00", "5", true, 0, 5},
                             {"largest_side", "119304", "119304", true, 119304, 119304},
                             {"both_empty", "", "", false, 0, 0},
                             {"single_zero", "0", "150", false, 0, 0},
                             {"letter", "10a", "150", false, 0, 0},
                             {"minus", "-5", "150", false, 0, 0},
                             {"decimal", "100", "1.5", false, 0, 0},
                             {"overflows_units", "119305", "100", false, 0, 0},
                             {"far_too_long", "100", "99999999999999999999999", false, 0, 0},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PaperSizeDialogTest, RestoreDefaultRefillsBothListsAndKeepsCustomSize) {
    PaperSizeDialog dialog = CreatePaperSizeDialog({true, 100, 150}, '.');
    dialog.chosen = {"A2", "CUSTOMSIZE"};
    dialog.internationalUnits = true;
    dialog.defaultName = "A2";
    RestoreDefaultSizes(dialog);
    EXPECT_EQ(dialog.chosen, (Names{"TABLOID", "LEGAL", "STATEMENT", "EXECUTIVE", "A3", "A4", "A5",
                                    "B4", "B5", "LETTER"}));
    EXPECT_EQ(dialog.available.size(), 105u);
    EXPECT_NE(std::find(dialog.available.begin(), dialog.available.end(), "A2"),
              dialog.available.end());
    EXPECT_EQ(dialog.defaultName, "LETTER");
    EXPECT_EQ(dialog.chosenRow, 9);
    EXPECT_FALSE(dialog.internationalUnits);
    EXPECT_EQ(dialog.widthText, "216");
    EXPECT_EQ(dialog.customWidthMm, 100);
}

struct SaveCase {
    const char* label;
    Names chosen;
    std::string defaultName;
    const char* refusal;  // nullptr: saved
};

class SavePaperSizeTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SavePaperSizeTest, RefusesStatesWithoutAValidDefault) {
    const SaveCase& c = GetParam();
    testsupport::RecordingUi ui;
    PaperSizeDialog dialog;
    dialog.chosen = c.chosen;
    dialog.defaultName = c.defaultName;
    dialog.customWidthMm = 100;
    dialog.customHeightMm = 150;
    dialog.internationalUnits = true;
    PaperSettings settings;
    EXPECT_EQ(SavePaperSizeDialog(dialog, settings, 0), c.refusal == nullptr);
    if (c.refusal) {
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, c.refusal);
        EXPECT_EQ(settings.customWidthMm, 0);
        EXPECT_FALSE(settings.internationalUnits);
    } else {
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(settings.customWidthMm, 100);
        EXPECT_EQ(settings.customHeightMm, 150);
        EXPECT_TRUE(settings.internationalUnits);
    }
}

INSTANTIATE_TEST_SUITE_P(States, SavePaperSizeTest,
                         ::testing::ValuesIn(std::vector<SaveCase>{
                             {"valid", {"LETTER", "A4"}, "A4", nullptr},
                             {"default_differs_in_case", {"LETTER"}, "letter", nullptr},
                             {"empty_list", {}, "LETTER", kNoChosenSizeText},
                             {"default_moved_away", {"A4"}, "LETTER", kDefaultNotChosenText},
                             {"no_default", {"A4"}, "", kDefaultNotChosenText},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

// The whole command on the sandbox's seeded files.
class PaperSizeFilesTest : public ::testing::Test {
  public:
    fs::path Host(const std::string& windowsPath) const { return sandbox_.HostPath(windowsPath); }
    std::string Bytes(const std::string& windowsPath) const {
        return testsupport::ReadHostFile(Host(windowsPath)).value_or("<missing>");
    }
    void WriteDescription(const std::string& text) {
        testsupport::WriteHostFile(Host(session_->paths.mergedConfigPath), text);
    }
    void Begin() {
        session_ = BeginPaperSizeEdit({kWow64, 0}, settings_);
        ASSERT_TRUE(session_.has_value());
    }
    // The description's PaperSize feature and the capabilities document's element as written.
    std::string WrittenFeature() const {
        std::string text = Bytes(session_->paths.mergedConfigPath);
        std::size_t from = text.find("*Feature: PaperSize");
        return text.substr(from, text.find("*Feature: Resolution") - from);
    }
    std::string WrittenElement() const {
        std::string text = Bytes(session_->paths.deviceCapabilitiesPath);
        std::size_t from = text.find("<psk:PageMediaSize");
        std::size_t to = text.find("</psk:PageMediaSize>") + 20;
        return text.substr(from, to - from);
    }
    ReplaceResult Save(const Names& chosen, const std::string& defaultName) {
        PaperSizeDialog dialog = CreatePaperSizeDialog(settings_, '.');
        dialog.chosen = chosen;
        dialog.defaultName = defaultName;
        return FinishPaperSizeEdit(*session_, dialog, settings_, {kWow64, 0});
    }

    testsupport::ScopedSandbox sandbox_;
    testsupport::RecordingUi ui_;
    PaperSettings settings_;
    std::optional<PaperSizeSession> session_;
};

const std::string kLetterOption =
    "*Option: LETTER\r\n{\r\n*rcNameID: =RCID_DMPAPER_SYSTEM_NAME\r\n"
    "*PrintSchemaKeywordMap: \"NorthAmericaLetter\"\r\n*PrintableOrigin: PAIR(0, 0)\r\n"
    "*PrintableArea: PAIR(3886200, 5029200)\r\n}\r\n";
const std::string kFeatureHead =
    "*Feature: PaperSize\r\n{\r\n*rcNameID: =PAPER_SIZE_DISPLAY\r\n"
    "*PrintSchemaKeywordMap: \"PageMediaSize\"\r\n";

std::string Element(const std::string& keyword, bool isDefault, const std::string& w,
                    const std::string& h) {
    return "    <psk:" + keyword + " psf2:psftype=\"Option\"" +
           (isDefault ? " psf2:default=\"true\">" : ">") +
           "\r\n      <psk12:PortraitImageableSize psf2:psftype=\"Property\" "
           "xsi:type=\"psf2:ImageableAreaType\">0,0," +
           w + "," + h +
           "</psk12:PortraitImageableSize>\r\n      <psk:MediaSizeHeight "
           "psf2:psftype=\"ScoredProperty\" xsi:type=\"xsd:integer\">" +
           h +
           "</psk:MediaSizeHeight>\r\n      <psk:MediaSizeWidth psf2:psftype=\"ScoredProperty\" "
           "xsi:type=\"xsd:integer\">" +
           w + "</psk:MediaSizeWidth>\r\n    </psk:" + keyword + ">\r\n";
}

TEST_F(PaperSizeFilesTest, SeededFilesReadAsTheirTenSizes) {
    Begin();
    EXPECT_EQ(session_->reading.chosen, (Names{"TABLOID", "LEGAL", "STATEMENT", "EXECUTIVE", "A3",
                                               "A4", "A5", "B4", "B5", "LETTER"}));
    EXPECT_EQ(session_->reading.defaultName, "LETTER");
    EXPECT_FALSE(settings_.internationalUnits);
}

struct WriteCase {
    const char* label;
    Names chosen;
    std::string defaultName;
    PaperSettings settings;
    std::string feature;
    std::string element;
};

class PaperSizeWriteTest : public PaperSizeFilesTest,
                           public ::testing::WithParamInterface<WriteCase> {};

TEST_P(PaperSizeWriteTest, WritesBothFilesAndDeletesCache) {
    const WriteCase& c = GetParam();
    Begin();
    settings_ = c.settings;
    EXPECT_EQ(Save(c.chosen, c.defaultName), ReplaceResult::Written);
    EXPECT_EQ(WrittenFeature(),
              kFeatureHead + "*DefaultOption: " + c.defaultName + "\r\n" + c.feature + "}\r\n");
    EXPECT_EQ(WrittenElement(), "<psk:PageMediaSize psf2:psftype=\"Feature\">\r\n" + c.element +
                                    "  </psk:PageMediaSize>");
    EXPECT_FALSE(fs::exists(Host(session_->paths.cachePath)));
    EXPECT_TRUE(ui_.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PaperSizeWriteTest,
    ::testing::ValuesIn(std::vector<WriteCase>{
        {"letter_us",
         {"LETTER"},
         "LETTER",
         {},
         kLetterOption,
         Element("NorthAmericaLetter", true, "215900", "279400")},
        {"a4_us_rounded",
         {"A4"},
         "A4",
         {false, 0, 0},
         "*Option: A4\r\n{\r\n*rcNameID: =RCID_DMPAPER_SYSTEM_NAME\r\n"
         "*PrintSchemaKeywordMap: \"ISOA4\"\r\n*PrintableOrigin: PAIR(0, 0)\r\n"
         "*PrintableArea: PAIR(3780000, 5346000)\r\n}\r\n",
         Element("ISOA4", true, "210000", "297000")},
        {"a4_international_exact",
         {"A4", "LETTER"},
         "LETTER",
         {true, 0, 0},
         "*Option: A4\r\n{\r\n*rcNameID: =RCID_DMPAPER_SYSTEM_NAME\r\n"
         "*PrintSchemaKeywordMap: \"ISOA4\"\r\n*PrintableOrigin: PAIR(0, 0)\r\n"
         "*PrintableArea: PAIR(3779901, 5345811)\r\n}\r\n" +
             kLetterOption,
         Element("ISOA4", false, "209994", "296990") +
             Element("NorthAmericaLetter", true, "215900", "279400")},
        {"custom_100_by_150",
         {"CUSTOMSIZE"},
         "CUSTOMSIZE",
         {false, 100, 150},
         "*Option: CUSTOMSIZE\r\n{\r\n*rcNameID: =USER_DEFINED_SIZE_DISPLAY\r\n"
         "*MinSize: PAIR(936000, 1332000)\r\n*MaxSize: PAIR(5346000, 7560000)\r\n"
         "*MaxPrintableWidth: 5346000\r\n*PrintableArea: PAIR(1800000, 2700000)\r\n}\r\n",
         Element("UserDefinedSize", true, "100000", "150000")},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(PaperSizeFilesTest, SizeUnknownToCatalogueKeepsItsOldTextAndNoElement) {
    Begin();
    const std::string own =
        "  *Option: MYSIZE\r\n  {\r\n    *rcNameID: =MINE\r\n    *PrintableArea: PAIR(1, 2)\r\n"
        "  }\r\n";
    WriteDescription("*%\r\n*Feature: PaperSize\r\n{\r\n*DefaultOption: LETTER\r\n" + own +
                     kLetterOption + "}\r\n*Feature: Resolution\r\n{\r\n}\r\n");
    Begin();
    EXPECT_EQ(session_->reading.chosen, (Names{"MYSIZE", "LETTER"}));
    EXPECT_EQ(Save({"LETTER", "MYSIZE"}, "LETTER"), ReplaceResult::Written);
    EXPECT_EQ(WrittenFeature(),
              kFeatureHead + "*DefaultOption: LETTER\r\n" + kLetterOption + own + "}\r\n");
    EXPECT_EQ(WrittenElement(), "<psk:PageMediaSize psf2:psftype=\"Feature\">\r\n" +
                                    Element("NorthAmericaLetter", true, "215900", "279400") +
                                    "  </psk:PageMediaSize>");
}

TEST_F(PaperSizeFilesTest, QuotedBraceInAnUnknownSizeDoesNotSwallowTheNextOption) {
    Begin();
    const std::string own =
        "*Option: MYSIZE\r\n{\r\n*Name: \"Wide {\" *% not a brace }\r\n"
        "*PrintableArea: PAIR(1, 2)\r\n}\r\n";
    WriteDescription("*%\r\n*Feature: PaperSize\r\n{\r\n*DefaultOption: LETTER\r\n" + own +
                     kLetterOption + "}\r\n*Feature: Resolution\r\n{\r\n}\r\n");
    Begin();
    EXPECT_EQ(Save({"LETTER", "MYSIZE"}, "LETTER"), ReplaceResult::Written);
    EXPECT_EQ(WrittenFeature(),
              kFeatureHead + "*DefaultOption: LETTER\r\n" + kLetterOption + own + "}\r\n");
}

TEST_F(PaperSizeFilesTest, EntriesAfterTheFeatureSurviveCommentsDoNot) {
    Begin();
    WriteDescription("*%\r\n*Feature: PaperSize\r\n{\r\n*DefaultOption: LETTER\r\n" +
                     kLetterOption +
                     "}\r\n*% a comment\r\n\r\n*InvalidCombination: LIST(PaperSize.A3, X.Y)\r\n"
                     "*Command: CmdStartDoc { *Cmd: \"}\" }\r\n*Feature: Resolution\r\n{\r\n}\r\n");
    Begin();
    EXPECT_EQ(Save({"LETTER"}, "LETTER"), ReplaceResult::Written);
    EXPECT_EQ(Bytes(session_->paths.mergedConfigPath),
              "*%\r\n" + kFeatureHead + "*DefaultOption: LETTER\r\n" + kLetterOption +
                  "}\r\n*InvalidCombination: LIST(PaperSize.A3, X.Y)\r\n"
                  "*Command: CmdStartDoc { *Cmd: \"}\" }\r\n*Feature: Resolution\r\n{\r\n}\r\n");
}

TEST_F(PaperSizeFilesTest, LastFeatureIsReplacedUpToItsClosingBrace) {
    Begin();
    WriteDescription(
        "*%\r\n*Feature: PaperSize\r\n{\r\n*DefaultOption: A4\r\n*Option: A4\r\n{\r\n"
        "*rcNameID: =\"{\"\r\n}\r\n}\r\n*Command: Keep\r\n*% tail\r\n");
    Begin();
    EXPECT_EQ(session_->reading.chosen, Names{"A4"});
    EXPECT_EQ(Save({"LETTER"}, "LETTER"), ReplaceResult::Written);
    EXPECT_EQ(Bytes(session_->paths.mergedConfigPath),
              "*%\r\n" + kFeatureHead + "*DefaultOption: LETTER\r\n" + kLetterOption +
                  "}\r\n*Command: Keep\r\n*% tail\r\n");
}

TEST_F(PaperSizeFilesTest, UnclosedLastFeatureRefusesAndWritesNothing) {
    Begin();
    const std::string description = "*%\r\n*Feature: PaperSize\r\n{\r\n*Option: A4\r\n{\r\n}\r\n";
    WriteDescription(description);
    Begin();
    EXPECT_FALSE(session_->reading.blockFound);
    EXPECT_EQ(Save({"LETTER"}, "LETTER"), ReplaceResult::NoFeatureBlock);
    EXPECT_EQ(Bytes(session_->paths.mergedConfigPath), description);
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].caption, "Quellin");
}

// Descriptions a little different from the seed's, saved with nothing changed in the dialog.
struct UnchangedSaveCase {
    const char* label;
    std::string feature;  // stands where the PaperSize feature stands
    std::string element;  // added to the capabilities document's PageMediaSize element
    ReplaceResult result;
    Names descriptionHolds;
    Names capabilitiesHold;
};

class PaperSizeUnchangedSaveTest : public PaperSizeFilesTest,
                                   public ::testing::WithParamInterface<UnchangedSaveCase> {};

const std::string kA4Option =
    "*Option: A4\r\n{\r\n*rcNameID: =RCID_DMPAPER_SYSTEM_NAME\r\n"
    "*PrintSchemaKeywordMap: \"ISOA4\"\r\n*PrintableOrigin: PAIR(0, 0)\r\n"
    "*PrintableArea: PAIR(3780000, 5346000)\r\n}\r\n";
const std::string kMyPaperOption =
    "*Option: myPaper\r\n*% a size of the user's own\r\n{\r\n*rcNameID: =MINE\r\n"
    "*PrintSchemaKeywordMap: \"MyPaper\"\r\n*PrintableArea: PAIR(1, 2)\r\n}\r\n";
const std::string kMyPaperElement =
    "    <ns0000:MyPaper psf2:psftype=\"Option\">\r\n      <psk:MediaSizeWidth "
    "psf2:psftype=\"ScoredProperty\" xsi:type=\"xsd:integer\">1</psk:MediaSizeWidth>\r\n"
    "    </ns0000:MyPaper>\r\n";
const std::string kFeatureTail = "PAIR(3780000, 5346000)\r\n}\r\n}\r\n*Feature: Resolution";

TEST_P(PaperSizeUnchangedSaveTest, KeepsEverySizeAndGivesTheSameBytesOnEverySave) {
    const UnchangedSaveCase& c = GetParam();
    Begin();
    const std::string description =
        "*%\r\n" + c.feature +
        "*Feature: Resolution\r\n{\r\n}\r\n*Feature: ColorMode\r\n{\r\n}\r\n";
    WriteDescription(description);
    const std::string capsPath = session_->paths.deviceCapabilitiesPath;
    std::string capabilities = Bytes(capsPath);
    const std::size_t open = capabilities.find("<psk:PageMediaSize psf2:psftype=\"Feature\">\r\n");
    capabilities.insert(open + 44, c.element);
    testsupport::WriteHostFile(Host(capsPath), capabilities);
    // Temporary files of an interrupted save.
    testsupport::WriteHostFile(Host(TemporaryPathFor(session_->paths.mergedConfigPath)), "cut");
    testsupport::WriteHostFile(Host(TemporaryPathFor(capsPath)), "cut");

    std::vector<std::string> saved;
    for (int save = 0; save < 3; ++save) {
        Begin();
        PaperSizeDialog dialog = CreatePaperSizeDialog(settings_, '.');
        PreparePaperSizeDialog(dialog, session_->reading, settings_);
        ASSERT_EQ(FinishPaperSizeEdit(*session_, dialog, settings_, {kWow64, 0}), c.result);
        saved.push_back(Bytes(session_->paths.mergedConfigPath) + Bytes(capsPath));
    }
    EXPECT_EQ(saved[1], saved[0]);
    EXPECT_EQ(saved[2], saved[0]);
    if (c.result != ReplaceResult::Written) {
        EXPECT_EQ(Bytes(session_->paths.mergedConfigPath), description);
        ASSERT_FALSE(ui_.boxes.empty());
        EXPECT_NE(ui_.boxes[0].text.find(session_->paths.mergedConfigPath), std::string::npos);
        return;
    }
    for (const std::string& text : c.descriptionHolds) {
        EXPECT_NE(Bytes(session_->paths.mergedConfigPath).find(text), std::string::npos)
            << Bytes(session_->paths.mergedConfigPath);
    }
    for (const std::string& text : c.capabilitiesHold) {
        EXPECT_NE(Bytes(capsPath).find(text), std::string::npos) << text;
    }
    EXPECT_FALSE(fs::exists(Host(TemporaryPathFor(session_->paths.mergedConfigPath))));
    EXPECT_FALSE(fs::exists(Host(TemporaryPathFor(capsPath))));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PaperSizeUnchangedSaveTest,
    ::testing::ValuesIn(std::vector<UnchangedSaveCase>{
        {"stray_brace_after_an_option",
         kFeatureHead + "*DefaultOption: LETTER\r\n" + kLetterOption + "}\r\n" + kA4Option +
             "}\r\n",
         "",
         ReplaceResult::Written,
         {kLetterOption + kA4Option + "}\r\n*Feature: Resolution"},
         {"<psk:ISOA4 "}},
        {"missing_brace_of_an_option",
         kFeatureHead +
             "*DefaultOption: LETTER\r\n*Option: LETTER\r\n"
             "*PrintableArea: PAIR(3886200, 5029200)\r\n}\r\n" +
             kA4Option + "}\r\n",
         "",
         ReplaceResult::Written,
         {kLetterOption + kA4Option + "}\r\n*Feature: Resolution"},
         {"<psk:ISOA4 "}},
        {"unknown_default_in_another_case_with_a_comment_before_its_body",
         kFeatureHead + "*DefaultOption: MYPAPER\r\n" + kMyPaperOption + kA4Option + "}\r\n",
         kMyPaperElement,
         ReplaceResult::Written,
         {"*DefaultOption: myPaper\r\n" + kMyPaperOption + kA4Option + "}\r\n*Feature: Resolution"},
         {"    <ns0000:MyPaper psf2:psftype=\"Option\" psf2:default=\"true\">\r\n"
          "      <psk:MediaSizeWidth"}},
        {"custom_size_beyond_the_bound",
         kFeatureHead +
             "*DefaultOption: CUSTOMSIZE\r\n*Option: CUSTOMSIZE\r\n{\r\n"
             "*rcNameID: =USER_DEFINED_SIZE_DISPLAY\r\n*MinSize: PAIR(936000, 1332000)\r\n"
             "*MaxSize: PAIR(5346000, 7560000)\r\n*MaxPrintableWidth: 5346000\r\n"
             "*PrintableArea: PAIR(99999999999999, 2700000)\r\n}\r\n" +
             kA4Option + "}\r\n",
         "    <psk:UserDefinedSize psf2:psftype=\"Option\">\r\n    </psk:UserDefinedSize>\r\n",
         ReplaceResult::Written,
         {"*PrintableArea: PAIR(99999999999999, 2700000)\r\n", kFeatureTail},
         {"<psk:UserDefinedSize psf2:psftype=\"Option\" psf2:default=\"true\">"}},
        {"nul_byte_after_the_feature",
         kFeatureHead + "*DefaultOption: A4\r\n" + kA4Option + "}\r\n" + std::string(1, '\0'),
         "",
         ReplaceResult::TextCutShort,
         {},
         {}},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(PaperSizeFilesTest, NotAdministratorEndsBeforeReading) {
    sim::Config config = sim::ReadConfig();
    config.user = "standard";
    sandbox_.SetConfig(config);
    EXPECT_FALSE(BeginPaperSizeEdit({kWow64, 0}, settings_).has_value());
    ASSERT_EQ(ui_.boxes.size(), 1u);
}

}  // namespace
}  // namespace quellin::driverconfig
