// The sandbox's ANSI code page, 1252 or 932 as the sandbox was made: the one table of each in
// the program. 932's double-byte characters come from the C library's table of it.
#include "platform/text.h"

#include <iconv.h>

#include <atomic>
#include <iterator>
#include <unordered_map>

#include "platform/sim/sandbox.h"

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

std::atomic<unsigned> g_codePage{1252};

bool Is932() {
    return g_codePage.load(std::memory_order_relaxed) == 932;
}

// ---- 932 ----

bool IsLead932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The single bytes beyond ASCII: half-width katakana, and the four Windows maps to itself.
int SingleByte932(unsigned char c) {
    if (c < 0x80)
        return c;
    if (c >= 0xA1 && c <= 0xDF)
        return 0xFF61 + (c - 0xA1);
    switch (c) {
        case 0x80:
            return 0x0080;
        case 0xA0:
            return 0xF8F0;
        case 0xFD:
        case 0xFE:
        case 0xFF:
            return 0xF8F1 + (c - 0xFD);
        default:
            return -1;
    }
}

struct Table932 {
    std::unordered_map<std::uint16_t, char16_t> toWide;  // lead << 8 | trail
    std::unordered_map<char16_t, std::uint16_t> toAnsi;  // the first pair of each character
};

const Table932& Pairs932() {
    static const Table932 table = [] {
        Table932 t;
        iconv_t cd = ::iconv_open("UTF-16LE", "CP932");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return t;
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLead932(static_cast<unsigned char>(lead)))
                continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                unsigned char out[4];
                char* inPtr = in;
                char* outPtr = reinterpret_cast<char*>(out);
                std::size_t inLeft = 2, outLeft = sizeof out;
                ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) ==
                        static_cast<std::size_t>(-1) ||
                    inLeft != 0 || outLeft != 2)
                    continue;
                const auto u = static_cast<char16_t>(out[0] | (out[1] << 8));
                const auto pair = static_cast<std::uint16_t>(lead << 8 | trail);
                t.toWide.emplace(pair, u);
                t.toAnsi.emplace(u, pair);
            }
        }
        ::iconv_close(cd);
        return t;
    }();
    return table;
}

// The character at `p`: its UTF-16 unit and byte length; a lead byte without a valid trail
// stands alone as the code page's default character.
char16_t Decode932(const unsigned char* p, std::size_t left, std::size_t* length) {
    *length = 1;
    if (IsLead932(p[0])) {
        if (left >= 2) {
            const auto it = Pairs932().toWide.find(static_cast<std::uint16_t>(p[0] << 8 | p[1]));
            if (it != Pairs932().toWide.end()) {
                *length = 2;
                return it->second;
            }
        }
        return 0x30FB;
    }
    const int single = SingleByte932(p[0]);
    return single >= 0 ? static_cast<char16_t>(single) : 0x30FB;
}

// The 932 bytes of a UTF-16 unit, or nothing.
std::string Encode932(char16_t u) {
    if (u < 0x80)
        return std::string(1, static_cast<char>(u));
    if (u >= 0xFF61 && u <= 0xFF9F)
        return std::string(1, static_cast<char>(0xA1 + (u - 0xFF61)));
    if (u == 0x0080 || u == 0xF8F0)
        return std::string(1, static_cast<char>(u == 0x0080 ? 0x80 : 0xA0));
    if (u >= 0xF8F1 && u <= 0xF8F3)
        return std::string(1, static_cast<char>(0xFD + (u - 0xF8F1)));
    const auto it = Pairs932().toAnsi.find(u);
    if (it == Pairs932().toAnsi.end())
        return {};
    return {static_cast<char>(it->second >> 8), static_cast<char>(it->second & 0xFF)};
}

// Letter case of the double-byte letters 932 holds: full-width Latin, Greek and Cyrillic.
char16_t Case932(char16_t u, bool upper) {
    struct Range {
        char16_t small, capital, count;
    };
    static constexpr Range kRanges[] = {
        {0xFF41, 0xFF21, 26}, {0x03B1, 0x0391, 17}, {0x03C3, 0x03A3, 7},
        {0x0430, 0x0410, 32}, {0x0451, 0x0401, 1},
    };
    for (const Range& r : kRanges) {
        const char16_t from = upper ? r.small : r.capital;
        if (u >= from && u < from + r.count)
            return static_cast<char16_t>(u - from + (upper ? r.capital : r.small));
    }
    return u;
}

std::string Fold932(std::string_view ansi, bool upper) {
    std::string out(ansi);
    const auto* bytes = reinterpret_cast<const unsigned char*>(out.data());
    for (std::size_t i = 0; i < out.size();) {
        std::size_t length = 1;
        const char16_t u = Decode932(bytes + i, out.size() - i, &length);
        if (length == 1) {
            const char c = out[i];
            if (upper && c >= 'a' && c <= 'z')
                out[i] = static_cast<char>(c - 32);
            else if (!upper && c >= 'A' && c <= 'Z')
                out[i] = static_cast<char>(c + 32);
        } else if (const std::string folded = Encode932(Case932(u, upper)); folded.size() == 2) {
            out.replace(i, 2, folded);
        }
        i += length;
    }
    return out;
}

}  // namespace

}  // namespace quellin::platform

namespace quellin::platform::sim {

void SetAnsiCodePage(unsigned codePage) {
    g_codePage = codePage == 932 ? 932 : 1252;
}

unsigned AnsiCodePage() {
    return g_codePage;
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

std::u16string AnsiToWide(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    if (Is932()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(ansi.data());
        for (std::size_t i = 0, length = 1; i < ansi.size(); i += length)
            out += Decode932(bytes + i, ansi.size() - i, &length);
        return out;
    }
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
        if (Is932()) {
            const std::string bytes = (u >= 0xD800 && u <= 0xDFFF) ? std::string() : Encode932(u);
            lossless = lossless && !bytes.empty();
            out += bytes.empty() ? std::string("?") : bytes;
            continue;
        }
        const int byte = AnsiByte(u);
        lossless = lossless && byte >= 0;
        out += byte >= 0 ? static_cast<char>(byte) : '?';
    }
    if (exact)
        *exact = lossless;
    return out;
}

std::string UpperAnsi(std::string_view ansi) {
    if (Is932())
        return Fold932(ansi, true);
    std::string out(ansi);
    for (char& c : out)
        c = Upper(c);
    return out;
}

std::string LowerAnsi(std::string_view ansi) {
    if (Is932())
        return Fold932(ansi, false);
    std::string out(ansi);
    for (char& c : out)
        c = Lower(c);
    return out;
}

const char* CharNextA(const char* lpsz) {
    if (*lpsz == '\0')
        return lpsz;
    return Is932() && IsLead932(static_cast<unsigned char>(*lpsz)) && lpsz[1] != '\0' ? lpsz + 2
                                                                                      : lpsz + 1;
}

// As Windows does in a double-byte code page: from the start forward, since a byte alone does
// not tell whether it is a trail byte.
const char* CharPrevA(const char* lpszStart, const char* lpszCurrent) {
    if (lpszCurrent <= lpszStart)
        return lpszStart;
    if (!Is932())
        return lpszCurrent - 1;
    const char* previous = lpszStart;
    for (const char* p = lpszStart; p < lpszCurrent && *p != '\0';) {
        previous = p;
        p = CharNextA(p);
    }
    return previous;
}

}  // namespace quellin::platform
