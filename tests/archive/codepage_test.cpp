#include "archive/codepage.h"

#include <gtest/gtest.h>

namespace quellin::archive {
namespace {

struct NameCase {
    const char* label;
    std::string ansi;
    bool oemLossless;
    std::string oem;  // expected OEM bytes when lossless
};

class OemConversion : public ::testing::TestWithParam<NameCase> {};

TEST_P(OemConversion, ConvertsWhenLosslessAndRoundTrips) {
    const auto& c = GetParam();
    EXPECT_EQ(OemLossless(c.ansi), c.oemLossless);
    if (c.oemLossless) {
        EXPECT_EQ(AnsiToOem(c.ansi), c.oem);
        EXPECT_EQ(OemToAnsi(c.oem), c.ansi);
    }
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(c.ansi)), c.ansi);
}

INSTANTIATE_TEST_SUITE_P(Names, OemConversion,
                         ::testing::ValuesIn(std::vector<NameCase>{
                             {"plain_ascii_is_unchanged", "1.reg", true, "1.reg"},
                             {"german_umlauts_exist_in_oem",
                              "Gr\xF6\xDF"
                              "e.gpd",
                              true,
                              "Gr\x94\xE1"
                              "e.gpd"},
                             {"capital_umlaut", "\xC4nderung", true, "\x8Enderung"},
                             {"euro_sign_has_no_oem_form", "\x80uro.txt", false, ""},
                             {"a_grave_capital_has_no_oem_form", "\xC0propos", false, ""},
                             {"box_free_nbsp_maps",
                              "a\xA0"
                              "b",
                              true,
                              "a\xFF"
                              "b"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Utf8ToAnsi, MalformedSequencesBecomeQuestionMarks) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xC3\xA4", "\xE4"},        // a-umlaut
        {"\xE2\x82\xAC", "\x80"},    // euro sign to its 1252 byte
        {"\xC0\xAF", "??"},          // overlong slash must not turn into '/'
        {"\xE0\x80\xAF", "???"},     // overlong three-byte slash
        {"\xC3", "?"},               // cut short at the end
        {"\xED\xA0\x80", "???"},     // surrogate
        {"\xF0\x9F\x98\x80", "??"},  // outside the ANSI set: one per UTF-16 unit, as Windows
        {"\xE4\xB8\xAD", "?"},       // CJK, outside the ANSI set
        {"a\xFF"
         "b",
         "a?b"},
    };
    for (const auto& [in, want] : cases) {
        EXPECT_EQ(Utf8ToAnsi(in), want) << "input bytes " << in.size();
    }
}

}  // namespace
}  // namespace quellin::archive
