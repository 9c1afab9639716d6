// A command that mends something, as data: the argument list to run, and the same command
// quoted for PowerShell and for POSIX shells, so no name can break out of its argument.
#pragma once

#include <string>
#include <vector>

#include "cli/json.h"

namespace quellin::cli {

struct Remedy {
    std::vector<std::string> args;  // after the program's name: {"job", "cancel", "2", ...}

    bool operator==(const Remedy&) const = default;
};

Remedy MakeRemedy(std::vector<std::string> args);

// One argument as PowerShell reads it: bare when safe, else in single quotes, each character
// PowerShell takes as a single quote (' and U+2018 to U+201B) doubled.
std::string QuotePowerShell(const std::string& argument);
// One argument as a POSIX shell reads it: bare when safe, else in single quotes, a quote as
// '\''.
std::string QuotePosix(const std::string& argument);

// "quellin-cli job cancel 2 --printer 'Lab B'", the form the human lines show.
std::string RemedyText(const Remedy& remedy);

// {"command": ["quellin-cli", ...], "display": {"powershell": ..., "posix": ...}}
Json RemedyJson(const Remedy& remedy);

}  // namespace quellin::cli
