// String helpers of the simulated Windows: case folding, the ANSI code page and Windows path
// parsing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Case folding of the ANSI code page (1252): ASCII and its accented letters.
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);
bool IEquals(std::string_view a, std::string_view b);

// The simulated machine's ANSI code page is 1252; the host's names are UTF-8. Every name
// that crosses between the two goes through these, so host names round-trip.
std::string AnsiToUtf8(std::string_view ansi);
// A character with no 1252 form, and a byte that is not UTF-8, becomes '?', as Windows' ANSI
// functions show such a name; `exact` (when given) then turns false. A name with '?' in it is
// refused wherever it is used (ERROR_INVALID_NAME), as on Windows.
std::string Utf8ToAnsi(std::string_view utf8, bool* exact = nullptr);

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

}  // namespace sim
