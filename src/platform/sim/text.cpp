// The sandbox's ANSI code page, 1252: the one table of it in the program.
#include "platform/text.h"

#include <iterator>

namespace quellin::platform {

namespace {

// 0x80..0x9F; the five unassigned bytes carry the C1 controls, as Windows maps them.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The 1252 byte of a UTF-16 unit, or -1 when it has none.
int AnsiByte(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == u)
            return 0x80 + i;
    return -1;
}

// 1252's capitals outside the Latin-1 block and their small letters: S-caron, OE, Z-caron,
// Y-diaeresis.
constexpr unsigned char kCapitals1252[] = {0x8A, 0x8C, 0x8E, 0x9F};
constexpr unsigned char kSmalls1252[] = {0x9A, 0x9C, 0x9E, 0xFF};

char Lower(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<char>(u + 32);
    for (std::size_t i = 0; i < std::size(kCapitals1252); ++i) {
        if (u == kCapitals1252[i])
            return static_cast<char>(kSmalls1252[i]);
    }
    return c;
}

char Upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return static_cast<char>(u - 32);
    for (std::size_t i = 0; i < std::size(kSmalls1252); ++i) {
        if (u == kSmalls1252[i])
            return static_cast<char>(kCapitals1252[i]);
    }
    return c;
}

}  // namespace

std::u16string AnsiToWide(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi)
        out += (c >= 0x80 && c < 0xA0) ? kHigh1252[c - 0x80] : static_cast<char16_t>(c);
    return out;
}

std::string WideToAnsi(std::u16string_view wide, bool* exact) {
    std::string out;
    out.reserve(wide.size());
    bool lossless = true;
    // One '?' per UTF-16 unit, as Windows writes a character beyond the BMP: "??".
    for (char16_t u : wide) {
        const int byte = AnsiByte(u);
        lossless = lossless && byte >= 0;
        out += byte >= 0 ? static_cast<char>(byte) : '?';
    }
    if (exact)
        *exact = lossless;
    return out;
}

std::string UpperAnsi(std::string_view ansi) {
    std::string out(ansi);
    for (char& c : out)
        c = Upper(c);
    return out;
}

std::string LowerAnsi(std::string_view ansi) {
    std::string out(ansi);
    for (char& c : out)
        c = Lower(c);
    return out;
}

const char* CharNextA(const char* lpsz) {
    return *lpsz == '\0' ? lpsz : lpsz + 1;
}

const char* CharPrevA(const char* lpszStart, const char* lpszCurrent) {
    return lpszCurrent > lpszStart ? lpszCurrent - 1 : lpszStart;
}

}  // namespace quellin::platform
