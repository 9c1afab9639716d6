#include "platform/sim/strings.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "platform/text.h"

namespace quellin::platform::sim {

namespace {
// By character: in a double-byte code page a trail byte may be 0x5C.
std::vector<std::string> Split(std::string_view s) {
    std::vector<std::string> parts;
    std::string current;
    const std::string text(s);
    for (const char* c = text.c_str(); *c != '\0';) {
        const char* next = CharNextA(c);
        if (*c == '\\' || *c == '/') {
            if (!current.empty()) {
                parts.push_back(std::move(current));
            }
            current.clear();
        } else {
            current.append(c, next);
        }
        c = next;
    }
    if (!current.empty()) {
        parts.push_back(std::move(current));
    }
    return parts;
}
}  // namespace

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
    out.drive = UpperAnsi(path.substr(0, 1))[0];
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
        bool refused = false;
        for (const char* c = part.c_str(); *c != '\0'; c = CharNextA(c)) {
            const bool single = CharNextA(c) == c + 1;
            refused =
                refused ||
                (single && (static_cast<unsigned char>(*c) < 0x20 || std::strchr("<>:\"|?*", *c)));
        }
        if (part.empty() || refused) {
            throw std::invalid_argument("invalid name in path: " + std::string(path));
        }
        out.parts.push_back(std::move(part));
    }
    return out;
}

bool MatchesMask(std::string_view nameText, std::string_view maskText) {
    if (maskText == "*.*" || maskText == "*") {
        return true;
    }
    const std::string name = UpperAnsi(nameText);
    const std::string mask = UpperAnsi(maskText);
    // Iterative wildcard match with backtracking to the last '*'.
    std::size_t n = 0, m = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
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
    std::string root = UpperAnsi(parts.front());
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
