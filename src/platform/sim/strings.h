// String helpers of the simulated Windows: Windows path parsing. Its ANSI code page and letter
// case are platform/text.h's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_namespace.h"
#include "platform/text.h"

namespace quellin::platform::sim {

struct WindowsPath {
    char drive = 0;  // upper case
    std::vector<std::string> parts;
    std::string ToString() const;  // "C:\a\b"
};

// Parses an absolute drive path; "." parts vanish and ".." climbs but never above the drive.
// Throws std::invalid_argument for anything else (relative, UNC, empty) and for a name with a
// character that Windows refuses in names (wildcards, <>:"|, control characters).
WindowsPath ParseWindowsPath(std::string_view path);

// "*" and "?" masks as FindFirstFileA matches them, ignoring case; "*.*" matches every name.
bool MatchesMask(std::string_view name, std::string_view mask);

// Splits "HKLM\Software\X" into the root's full name and the subkey parts.
struct RegistryPath {
    std::string root;  // "HKEY_LOCAL_MACHINE", ...
    std::vector<std::string> parts;
};
RegistryPath ParseRegistryPath(std::string_view path);

}  // namespace quellin::platform::sim
