#include "platform/sim/strings.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace quellin::platform::sim {

namespace {
// 1252's capitals outside the Latin-1 block and their small letters: S-caron, OE, Z-caron,
// Y-diaeresis.
constexpr unsigned char kCapitals1252[] = {0x8A, 0x8C, 0x8E, 0x9F};
constexpr unsigned char kSmalls1252[] = {0x9A, 0x9C, 0x9E, 0xFF};

char Lower(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
        return static_cast<char>(u + 32);
    }
    for (std::size_t i = 0; i < std::size(kCapitals1252); ++i) {
        if (u == kCapitals1252[i]) {
            return static_cast<char>(kSmalls1252[i]);
        }
    }
    return c;
}
char Upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
        return static_cast<char>(u - 32);
    }
    for (std::size_t i = 0; i < std::size(kSmalls1252); ++i) {
        if (u == kSmalls1252[i]) {
            return static_cast<char>(kCapitals1252[i]);
        }
    }
    return c;
}

std::vector<std::string> Split(std::string_view s) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : s) {
        if (c == '\\' || c == '/') {
            if (!current.empty()) {
                parts.push_back(std::move(current));
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        parts.push_back(std::move(current));
    }
    return parts;
}
}  // namespace

std::string ToLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = Lower(c);
    }
    return out;
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = Upper(c);
    }
    return out;
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string WindowsPath::ToString() const {
    std::string s(1, drive);
    s += ':';
    if (parts.empty()) {
        s += '\\';
    }
    for (const std::string& p : parts) {
        s += '\\';
        s += p;
    }
    return s;
}

WindowsPath ParseWindowsPath(std::string_view path) {
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
        throw std::invalid_argument("not an absolute Windows path: " + std::string(path));
    }
    if (path.size() > 2 && path[2] != '\\' && path[2] != '/') {
        throw std::invalid_argument("not an absolute Windows path: " + std::string(path));
    }
    WindowsPath out;
    out.drive = Upper(path[0]);
    for (std::string& part : Split(path.substr(2))) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!out.parts.empty()) {
                out.parts.pop_back();
            }
            continue;
        }
        // Windows drops trailing dots and spaces from a name.
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) {
            part.pop_back();
        }
        const bool refused = std::any_of(part.begin(), part.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c);
        });
        if (part.empty() || refused) {
            throw std::invalid_argument("invalid name in path: " + std::string(path));
        }
        out.parts.push_back(std::move(part));
    }
    return out;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*.*" || mask == "*") {
        return true;
    }
    // Iterative wildcard match with backtracking to the last '*'.
    std::size_t n = 0, m = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            mark = n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (m < mask.size() && (mask[m] == '*' || mask[m] == '.')) {
        ++m;
    }
    return m == mask.size();
}

RegistryPath ParseRegistryPath(std::string_view path) {
    std::vector<std::string> parts = Split(path);
    if (parts.empty()) {
        throw std::invalid_argument("empty registry path");
    }
    std::string root = ToUpper(parts.front());
    if (root == "HKLM") {
        root = "HKEY_LOCAL_MACHINE";
    } else if (root == "HKCU") {
        root = "HKEY_CURRENT_USER";
    } else if (root == "HKU") {
        root = "HKEY_USERS";
    } else if (root == "HKCR") {
        root = "HKEY_CLASSES_ROOT";
    }
    if (root != "HKEY_LOCAL_MACHINE" && root != "HKEY_CURRENT_USER" && root != "HKEY_USERS" &&
        root != "HKEY_CLASSES_ROOT") {
        throw std::invalid_argument("unknown registry root: " + parts.front());
    }
    parts.erase(parts.begin());
    return RegistryPath{root, std::move(parts)};
}

}  // namespace quellin::platform::sim
