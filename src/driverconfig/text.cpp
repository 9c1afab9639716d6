#include "driverconfig/text.h"

#include <limits>

namespace quellin::driverconfig {

namespace {

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string Trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && IsTrimmed(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string StripSpaces(std::string_view text) {
    return RemoveAll(text, " ");
}

std::string RemoveAll(std::string_view text, std::string_view what) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t hit = text.find(what, pos);
        if (hit == std::string_view::npos || what.empty()) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, hit - pos));
        pos = hit + what.size();
    }
    return out;
}

std::int64_t DigitsToInt(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (char c : Trim(text)) {
        if (!IsDigit(c)) {
            continue;
        }
        int digit = c - '0';
        if (value > (kMax - digit) / 10) {
            return kMax;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> ParseStrictInt(std::string_view text) {
    bool negative = false;
    std::size_t pos = 0;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size()) {
        return std::nullopt;
    }
    // Accumulate negatively so that the smallest 64-bit value reads too.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDigit(text[pos])) {
            return std::nullopt;
        }
        int digit = text[pos] - '0';
        if (value < (kMin + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == kMin) {
            return std::nullopt;
        }
        return -value;
    }
    return value;
}

std::int64_t DivideRoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t quotient = numerator / denominator;
    std::int64_t remainder = numerator % denominator;
    // Compare 2*|remainder| with the denominator without overflowing.
    std::int64_t magnitude = remainder < 0 ? -remainder : remainder;
    std::int64_t rest = denominator - magnitude;
    bool roundAway = magnitude > rest || (magnitude == rest && quotient % 2 != 0);
    if (roundAway) {
        quotient += numerator < 0 ? -1 : 1;
    }
    return quotient;
}

std::int64_t RoundToMultipleOfPowerOfTen(std::int64_t value, int exponent) {
    std::int64_t scale = 1;
    for (int i = 0; i < exponent; ++i) {
        scale *= 10;
    }
    std::int64_t quotient = DivideRoundHalfEven(value, scale);
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    // Rounding the largest values up can pass the 64-bit range; keep the nearest multiple
    // that still fits.
    if (quotient > kMax / scale) {
        quotient = kMax / scale;
    } else if (quotient < kMin / scale) {
        quotient = kMin / scale;
    }
    return quotient * scale;
}

std::optional<std::string> RoundToPowerOfTen(std::string_view text, int exponent) {
    std::string trimmed = Trim(text);
    if (trimmed.empty()) {
        return std::string();
    }
    std::optional<std::int64_t> value = ParseStrictInt(trimmed);
    if (!value || exponent < 0 || exponent > 18) {
        return std::nullopt;
    }
    return std::to_string(RoundToMultipleOfPowerOfTen(*value, exponent));
}

std::int64_t UnitsToMillimetres(std::int64_t units) {
    return DivideRoundHalfEven(units, kUnitsPerMillimetre);
}

std::int64_t UnitsToMicrometres(std::int64_t units) {
    return DivideRoundHalfEven(units, kUnitsPerMicrometre);
}

std::int64_t MillimetresToUnits(std::int64_t millimetres) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max() / kUnitsPerMillimetre;
    if (millimetres > kMax) {
        millimetres = kMax;
    } else if (millimetres < -kMax) {
        millimetres = -kMax;
    }
    return millimetres * kUnitsPerMillimetre;
}

}  // namespace quellin::driverconfig
