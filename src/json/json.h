// The one JSON string writer of the program and its tools. Documents are plain ASCII (every
// other character as a \u escape, with surrogate pairs), so they are valid UTF-8 wherever
// they are read.
#pragma once

#include <string>
#include <string_view>

namespace quellin::json {

// A string literal of the program's text (the ANSI code page).
std::string QuoteAnsi(std::string_view ansi);
// A string literal of UTF-8 text (a window's or the host's); a malformed sequence is written
// as U+FFFD.
std::string QuoteUtf8(std::string_view utf8);
// A string literal of UTF-16 text.
std::string QuoteWide(std::u16string_view wide);

}  // namespace quellin::json
