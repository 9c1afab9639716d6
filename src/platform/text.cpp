#include "platform/text.h"

namespace quellin::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One UTF-8 sequence at `i`; U+FFFD (one byte consumed) for a malformed, overlong or
// surrogate one.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const int more = lead < 0x80             ? 0
                     : (lead & 0xE0) == 0xC0 ? 1
                     : (lead & 0xF0) == 0xE0 ? 2
                     : (lead & 0xF8) == 0xF0 ? 3
                                             : -1;
    if (more == 0) {
        ++i;
        return lead;
    }
    if (more < 0 || i + more >= s.size()) {
        ++i;
        return kReplacement;
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    char32_t u = lead & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
        const auto next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        u = (u << 6) | (next & 0x3F);
    }
    if (u < kMin[more] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += more + 1;
    return u;
}

void AppendUtf8(std::string& out, char32_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

}  // namespace

std::u16string Utf8ToWide(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t u = NextUtf8(utf8, i);
        if (u >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(u);
        }
    }
    return out;
}

std::string WideToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t u = wide[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (wide[++i] - 0xDC00);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    return WideToUtf8(AnsiToWide(ansi));
}

std::string Utf8ToAnsi(std::string_view utf8, bool* exact) {
    // U+FFFD has no ANSI form, so a malformed sequence clears `exact` like any such character.
    return WideToAnsi(Utf8ToWide(utf8), exact);
}

namespace {

// Where the path's last backslash character begins, or npos.
std::size_t LastBackslash(std::string_view path) {
    // CharNextA reads up to a terminating zero, which a view need not have.
    const std::string text(path);
    std::size_t last = std::string_view::npos;
    for (const char* p = text.c_str(); *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\')
            last = static_cast<std::size_t>(p - text.c_str());
    }
    return last;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperAnsi(a) == UpperAnsi(b);
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = LastBackslash(path);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string NameOf(std::string_view path) {
    const std::size_t slash = LastBackslash(path);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty())
        return std::string(name);
    std::string joined(folder);
    if (!EndsWithBackslash(joined))
        joined += '\\';
    return joined.append(name);
}

std::vector<std::string> SplitPath(std::string_view path) {
    const std::string text(path);
    std::vector<std::string> names(1);
    for (const char* p = text.c_str(); *p != '\0';) {
        const char* next = CharNextA(p);
        if (*p == '\\')
            names.emplace_back();
        else
            names.back().append(p, next);
        p = next;
    }
    return names;
}

std::string BackslashesToSlashes(std::string_view path) {
    const std::string text(path);
    std::string out;
    out.reserve(text.size());
    for (const char* p = text.c_str(); *p != '\0';) {
        const char* next = CharNextA(p);
        if (*p == '\\')
            out += '/';
        else
            out.append(p, next);
        p = next;
    }
    return out;
}

bool HasPathSeparator(std::string_view name) {
    // Slash and colon are below every trail byte; only the backslash needs the walk.
    return name.find_first_of("/:") != std::string_view::npos ||
           LastBackslash(name) != std::string_view::npos;
}

bool EndsWithBackslash(std::string_view path) {
    if (path.empty())
        return false;
    const std::string text(path);
    return *CharPrevA(text.c_str(), text.c_str() + text.size()) == '\\';
}

}  // namespace quellin::platform
