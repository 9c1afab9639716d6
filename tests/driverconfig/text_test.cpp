#include "driverconfig/text.h"

#include <gtest/gtest.h>

#include <limits>

namespace quellin::driverconfig {
namespace {

struct DigitsCase {
    const char* label;
    const char* text;
    std::int64_t expected;
};

class DigitsToIntTest : public ::testing::TestWithParam<DigitsCase> {};

TEST_P(DigitsToIntTest, KeepsOnlyDigits) {
    EXPECT_EQ(DigitsToInt(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, DigitsToIntTest,
                         ::testing::ValuesIn(std::vector<DigitsCase>{
                             {"letters_between_digits", " 1 2 a 3 ", 123},
                             {"empty", "", 0},
                             {"no_digits", "abc", 0},
                             {"minus_sign_dropped", "-5", 5},
                             {"digit_groups_join", "3,886,200", 3886200},
                             {"leading_zeros", "007", 7},
                             {"too_long_saturates", "99999999999999999999999",
                              std::numeric_limits<std::int64_t>::max()},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

struct RoundingCase {
    const char* label;
    std::int64_t numerator;
    std::int64_t denominator;
    std::int64_t expected;
};

class RoundHalfEvenTest : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(RoundHalfEvenTest, RoundsToNearestTiesToEven) {
    const RoundingCase& c = GetParam();
    EXPECT_EQ(DivideRoundHalfEven(c.numerator, c.denominator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Quotients, RoundHalfEvenTest,
                         ::testing::ValuesIn(std::vector<RoundingCase>{
                             {"letter_height_to_mm", 5029200, 18000, 279},
                             {"letter_width_to_um", 3886200, 18, 215900},
                             {"a4_width_tie_goes_down_to_even", 3779901, 18, 209994},
                             {"a4_height_tie_goes_up_to_even", 5345811, 18, 296990},
                             {"monarch_height_190_5_mm_to_even", 3429000, 18000, 190},
                             {"half_above_odd_rounds_up", 3, 2, 2},
                             {"half_above_even_stays", 5, 2, 2},
                             {"below_half_rounds_down", 14, 10, 1},
                             {"above_half_rounds_up", 16, 10, 2},
                             {"negative_tie_to_even", -5, 2, -2},
                             {"negative_tie_from_odd", -7, 2, -4},
                             {"negative_above_half", -17, 10, -2},
                             {"aspect_of_letter", 21600, 279, 77},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

struct PowerCase {
    const char* label;
    const char* text;
    int exponent;
    std::optional<std::string> expected;
};

class RoundToPowerOfTenTest : public ::testing::TestWithParam<PowerCase> {};

TEST_P(RoundToPowerOfTenTest, Rounds) {
    const PowerCase& c = GetParam();
    EXPECT_EQ(RoundToPowerOfTen(c.text, c.exponent), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, RoundToPowerOfTenTest,
                         ::testing::ValuesIn(std::vector<PowerCase>{
                             {"a4_width", "3779901", 3, "3780000"},
                             {"a4_height", "5345811", 3, "5346000"},
                             {"csheet_rounds_down", "7772400", 3, "7772000"},
                             {"tie_to_even_down", "2500", 3, "2000"},
                             {"tie_to_even_up", "3500", 3, "4000"},
                             {"trimmed", "  1499 ", 3, "1000"},
                             {"negative", "-1500", 3, "-2000"},
                             {"exponent_zero_unchanged", "42", 0, "42"},
                             {"empty_gives_empty", "", 3, ""},
                             {"blank_gives_empty", "   ", 3, ""},
                             {"not_a_number", "12a", 3, std::nullopt},
                             {"digit_groups_are_not_strict", "3,886,200", 3, std::nullopt},
                             {"near_the_limit_stays_in_range", "9223372036854775807", 3,
                              "9223372036854775000"},
                             {"beyond_64_bits", "99999999999999999999", 3, std::nullopt},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ParseStrictIntTest, AcceptsOnlyASignAndDigits) {
    EXPECT_EQ(ParseStrictInt("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(ParseStrictInt("+12"), 12);
    EXPECT_EQ(ParseStrictInt("9223372036854775808"), std::nullopt);
    EXPECT_EQ(ParseStrictInt("-"), std::nullopt);
    EXPECT_EQ(ParseStrictInt(" 1"), std::nullopt);
    EXPECT_EQ(ParseStrictInt(""), std::nullopt);
}

TEST(TextHelpersTest, TrimRemovesControlCharactersButKeepsHighBytes) {
    EXPECT_EQ(Trim("\t\r\n x y \x01"), "x y");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
    EXPECT_EQ(StripSpaces(" I S O  B4 "), "ISOB4");
    EXPECT_EQ(AsciiUpper("a4_\xE9"), "A4_\xE9");
}

TEST(UnitConversionTest, MillimetresToUnitsIsExactAndSaturates) {
    EXPECT_EQ(MillimetresToUnits(216), 3888000);
    EXPECT_EQ(MillimetresToUnits(2147483647), 2147483647LL * 18000);
    EXPECT_EQ(MillimetresToUnits(std::numeric_limits<std::int64_t>::max()) % 18000, 0);
}

}  // namespace
}  // namespace quellin::driverconfig
