// Letter case and path splitting of Windows names in the ANSI code page (1252 in the sandbox).
#include "platform/text.h"

#include <gtest/gtest.h>

#include <random>

namespace quellin::platform {
namespace {

struct NameCase {
    const char* label;
    std::string a;
    std::string b;
    bool same;
};

class Names : public testing::TestWithParam<NameCase> {};

TEST_P(Names, CompareAsWindowsDoes) {
    EXPECT_EQ(SameName(GetParam().a, GetParam().b), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Names,
    testing::Values(NameCase{"Ascii", "Datei.TXT", "datei.txt", true},
                    NameCase{"Latin1Letters", "\xC9mile\xC4", "\xE9mile\xE4", true},
                    NameCase{"CapitalsOutsideLatin1", "\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", true},
                    NameCase{"TimesIsNotDivide", "\xD7", "\xF7", false},
                    NameCase{"SharpSHasNoCapital", "\xDF", "SS", false},
                    NameCase{"Length", "a", "ab", false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Text, FoldingAndSplittingHoldForRandomText) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> length(0, 12);
    const auto text = [&](bool noBackslash) {
        std::string s(static_cast<std::size_t>(length(random)), 'x');
        for (char& c : s) {
            do
                c = static_cast<char>(byte(random));
            while (noBackslash && c == '\\');
        }
        return s;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string a = text(false);
        const std::string b = round % 2 ? LowerAnsi(a) : text(false);
        EXPECT_EQ(UpperAnsi(UpperAnsi(a)), UpperAnsi(a));
        EXPECT_EQ(LowerAnsi(UpperAnsi(a)), LowerAnsi(a));
        EXPECT_EQ(SameName(a, b), UpperAnsi(a) == UpperAnsi(b));
        std::string path = "C:";
        for (int depth = length(random) % 4; depth >= 0; --depth)
            path.append("\\").append(text(true)).append("x");
        EXPECT_EQ(JoinPath(FolderOf(path), NameOf(path)), path);
        EXPECT_EQ(NameOf(path).find('\\'), std::string::npos);
    }
    EXPECT_EQ(JoinPath("C:\\", "a"), "C:\\a");
    EXPECT_EQ(FolderOf("name"), "");
    EXPECT_EQ(NameOf("name"), "name");
}

}  // namespace
}  // namespace quellin::platform
