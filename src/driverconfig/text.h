// Small 8-bit text helpers shared by the driver-file readers, writers and the paper catalogue.
//
// Strings are bytes in the system's ANSI code page; only ASCII letters change case, as the
// driver's own keywords are ASCII.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellin::driverconfig {

// Removes spaces and control characters (every byte up to 0x20) at both ends.
std::string Trim(std::string_view text);

std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

// Removes every space character.
std::string StripSpaces(std::string_view text);

// Removes every occurrence of `what` (non-empty) from `text`.
std::string RemoveAll(std::string_view text, std::string_view what);

// Keeps only the digits of the trimmed text and reads them as one decimal number, so "-5"
// reads 5 and "3,886,200" reads 3886200; no digits read 0. A number too large for 64 bits
// saturates at the largest value rather than wrapping.
std::int64_t DigitsToInt(std::string_view text);

// Reads an optional sign followed by decimal digits and nothing else; nullopt for anything
// else, the empty text included, or a value outside 64 bits.
std::optional<std::int64_t> ParseStrictInt(std::string_view text);

// numerator / denominator rounded to the nearest integer, ties to the even neighbour. Every
// unit conversion goes through here. `denominator` must be positive.
std::int64_t DivideRoundHalfEven(std::int64_t numerator, std::int64_t denominator);

// Nearest multiple of 10^exponent, ties to even (exponent 0 to 18).
std::int64_t RoundToMultipleOfPowerOfTen(std::int64_t value, int exponent);

// Text form of the above: trims, reads a strict decimal integer, rounds, writes it back in
// decimal. The empty text gives the empty text; a text that is not an integer gives nullopt.
std::optional<std::string> RoundToPowerOfTen(std::string_view text, int exponent);

// Description units (1/18000 mm) to whole millimetres and to micrometres, and back.
inline constexpr std::int64_t kUnitsPerMillimetre = 18000;
inline constexpr std::int64_t kUnitsPerMicrometre = 18;
std::int64_t UnitsToMillimetres(std::int64_t units);
std::int64_t UnitsToMicrometres(std::int64_t units);
std::int64_t MillimetresToUnits(std::int64_t millimetres);

}  // namespace quellin::driverconfig
