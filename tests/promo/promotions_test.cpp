#include "promo/promotions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quellin::promo {
namespace {

struct DateCase {
    const char* label;
    int year;
    int month;
    bool shown;
};

class PromotionsShownTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(PromotionsShownTest, FollowsThePauseOf2020) {
    win::SYSTEMTIME today;
    today.wYear = static_cast<win::WORD>(GetParam().year);
    today.wMonth = static_cast<win::WORD>(GetParam().month);
    today.wDay = 15;
    EXPECT_EQ(PromotionsShown(today), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Dates, PromotionsShownTest,
                         ::testing::ValuesIn(std::vector<DateCase>{
                             {"january_2020_paused", 2020, 1, false},
                             {"october_2020_paused", 2020, 10, false},
                             {"november_2020_shown", 2020, 11, true},
                             {"december_2020_shown", 2020, 12, true},
                             {"january_2021_shown", 2021, 1, true},
                             {"june_2019_shown", 2019, 6, true},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

struct NoticeCase {
    const char* label;
    const char* design;
    int year;
    const char* shown;
};

class NoticeCaptionTest : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(NoticeCaptionTest, RangeEndsInTheCurrentYearFrom2021) {
    EXPECT_EQ(NoticeCaption(GetParam().design, GetParam().year), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Years, NoticeCaptionTest,
    ::testing::ValuesIn(std::vector<NoticeCase>{
        {"design_year_kept", "(C) 2014-2020 Maker", 2020, "(C) 2014-2020 Maker"},
        {"year_2021_replaces", "(C) 2014-2020 Maker", 2021, "(C) 2014-2021 Maker"},
        {"far_future_replaces", "(C) 2014-2020 Maker", 2035, "(C) 2014-2035 Maker"},
        {"clock_before_design_keeps", "(C) 2014-2020 Maker", 2019, "(C) 2014-2020 Maker"},
        {"every_occurrence", "2020 and 2020", 2022, "2022 and 2022"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quellin::promo
