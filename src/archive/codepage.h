// Name conversion between the Windows character set (the system's ANSI code page, converted by
// the platform layer), the OEM character set (code page 437) and UTF-8, as archive entry names
// need it. Letter case is the platform's (platform/text.h).
//
// Conversions never guess: a character without an exact counterpart becomes '?', so callers
// detect loss by converting back and comparing.
#pragma once

#include <string>
#include <string_view>

namespace quellin::archive {

std::string AnsiToOem(std::string_view ansi);
std::string OemToAnsi(std::string_view oem);
std::string AnsiToUtf8(std::string_view ansi);
// Invalid or overlong sequences and characters outside the ANSI set each become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// True when the ANSI name survives the trip to OEM and back (letter case ignored).
bool OemLossless(std::string_view ansi);
// True when the OEM bytes survive the trip to ANSI and back (letter case ignored).
bool AnsiLossless(std::string_view oem);

}  // namespace quellin::archive
