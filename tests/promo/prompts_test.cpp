#include "promo/prompts.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "support/sandbox_fixture.h"

namespace quellin::promo {
namespace {

constexpr win::HWND kOwner = 0x2A;
const std::string kSite = "https://maker.test";
const std::string kCompanion = "https://maker.test/printer.html";

PromptContext Context(std::vector<std::string> entries = {}) {
    PromptContext context;
    context.owner = kOwner;
    context.applicationTitle = "Quellin";
    context.siteAddress = kSite;
    context.companionPrinterAddress = kCompanion;
    context.printerListEntries = std::move(entries);
    return context;
}

class PromptsTest : public ::testing::Test {
  protected:
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const auto& box : ui.boxes)
            captions.push_back(box.caption);
        return captions;
    }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
};

struct StoredCounterCase {
    const char* label;
    std::int32_t stored;
    std::int32_t next;
    std::vector<std::string> captions;
};

class StoredCounterTest : public PromptsTest,
                          public ::testing::WithParamInterface<StoredCounterCase> {};

TEST_P(StoredCounterTest, NextCloseShowsThePromptOfTheAdvancedCounter) {
    const StoredCounterCase& c = GetParam();
    EXPECT_EQ(ShowNextPrompt(c.stored, Context()), c.next);
    EXPECT_EQ(Captions(), c.captions);
    EXPECT_TRUE(ui.urls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Counters, StoredCounterTest,
    ::testing::ValuesIn(std::vector<StoredCounterCase>{
        {"negative_counts_as_zero", -5, 1, {"Quellin"}},
        {"first_run", 0, 1, {"Quellin"}},
        {"second_upgrade_offer", 1, 2, {"Quellin"}},
        {"alternative_printer", 2, 3, {"Quellin"}},
        {"first_product_then_reminder", 3, 4, {kProductCaption, kUpgradeReminderCaption}},
        {"last_product_then_reminder", 24, 25, {kProductCaption, kUpgradeReminderCaption}},
        {"silent_turn_resets", 25, 0, {}},
        {"far_past_the_cycle_resets", 1000, 0, {}},
        {"top_of_range_resets_without_wrapping", INT_MAX, 0, {}},
    }),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(PromptsTest, FullCycleIs26ClosesAndThe27thStartsAgain) {
    std::int32_t rotation = 0;
    std::vector<std::size_t> boxesPerClose;
    for (int close = 1; close <= 27; ++close) {
        const std::size_t before = ui.boxes.size();
        rotation = ShowNextPrompt(rotation, Context());
        boxesPerClose.push_back(ui.boxes.size() - before);
    }
    std::vector<std::size_t> expected = {1, 1, 1};
    expected.insert(expected.end(), kProductCount, 2);
    expected.push_back(0);
    expected.push_back(1);
    EXPECT_EQ(boxesPerClose, expected);
    EXPECT_EQ(rotation, 1);
    EXPECT_EQ(ui.boxes.back().text, kUpgradeOffer);

    // Product questions come in table order, each once per cycle.
    std::vector<std::string> questions;
    for (const auto& box : ui.boxes) {
        if (box.caption == kProductCaption)
            questions.push_back(box.text);
    }
    ASSERT_EQ(questions.size(), static_cast<std::size_t>(kProductCount));
    for (int row = 0; row < kProductCount; ++row)
        EXPECT_EQ(questions[static_cast<std::size_t>(row)], ProductTable()[row].question);
}

TEST_F(PromptsTest, EveryBoxIsAPlainYesNoOwnedByTheMainWindow) {
    std::int32_t rotation = 0;
    for (int close = 0; close < 26; ++close)
        rotation = ShowNextPrompt(rotation, Context());
    ASSERT_FALSE(ui.boxes.empty());
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.owner, kOwner) << box.text;
        EXPECT_EQ(box.flags, win::MB_YESNO) << box.text;
    }
}

struct ThirdCloseCase {
    const char* label;
    std::vector<std::string> entries;
    const char* text;
    const char* caption;
};

class ThirdCloseTest : public PromptsTest, public ::testing::WithParamInterface<ThirdCloseCase> {};

TEST_P(ThirdCloseTest, WordingFollowsThePrinterListAndYesOpensTheCompanionPrinter) {
    ui.QueueAnswer(win::IDYES);
    EXPECT_EQ(ShowNextPrompt(2, Context(GetParam().entries)), 3);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, GetParam().text);
    EXPECT_EQ(ui.boxes[0].caption, GetParam().caption);
    EXPECT_EQ(ui.urls, std::vector<std::string>{kCompanion});
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ThirdCloseTest,
    ::testing::ValuesIn(std::vector<ThirdCloseCase>{
        {"empty_list_offers_alternative", {}, kAlternativePrinterOffer, "Quellin"},
        {"listed_printer_offers_more_power",
         {"Other PDF", "Microsoft Print to PDF"},
         kMorePowerfulOffer,
         kMorePowerfulCaption},
        {"letter_case_ignored",
         {"MICROSOFT PRINT TO pdf"},
         kMorePowerfulOffer,
         kMorePowerfulCaption},
        {"longer_name_is_not_the_entry",
         {"Microsoft Print to PDF (copy 1)"},
         kAlternativePrinterOffer,
         "Quellin"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

struct AnswerCase {
    const char* label;
    std::int32_t stored;
    std::vector<int> answers;
    std::vector<std::string> urls;
    std::size_t boxes;
};

class AnswerTest : public PromptsTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, OnlyYesOpensAPage) {
    for (int answer : GetParam().answers)
        ui.QueueAnswer(answer);
    ShowNextPrompt(GetParam().stored, Context());
    EXPECT_EQ(ui.urls, GetParam().urls);
    EXPECT_EQ(ui.boxes.size(), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerTest,
    ::testing::ValuesIn(std::vector<AnswerCase>{
        {"upgrade_offer_yes", 0, {win::IDYES}, {kSite + "/upgrade-to-velloran-pro.html"}, 1},
        {"upgrade_offer_no", 1, {win::IDNO}, {}, 1},
        {"alternative_no", 2, {win::IDNO}, {}, 1},
        {"product_yes_then_reminder_no",
         3,
         {win::IDYES, win::IDNO},
         {kSite + "/" + ProductTable()[0].page},
         2},
        {"product_no_still_reminds_and_reminder_yes_upgrades",
         3,
         {win::IDNO, win::IDYES},
         {kSite + "/upgrade-to-velloran-pro.html"},
         2},
        {"product_yes_and_reminder_yes",
         10,
         {win::IDYES, win::IDYES},
         {kSite + "/" + ProductTable()[7].page, kSite + "/upgrade-to-velloran-pro.html"},
         2},
    }),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quellin::promo
