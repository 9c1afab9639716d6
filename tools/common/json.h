// JSON for the command-line tools' output: the program's one writer, under the tools' name.
#pragma once

#include <string>
#include <string_view>

#include "json/json.h"

namespace quellin::tools {

// A string literal of the program's ANSI text.
inline std::string JsonString(std::string_view ansi) {
    return quellin::json::QuoteAnsi(ansi);
}

}  // namespace quellin::tools
