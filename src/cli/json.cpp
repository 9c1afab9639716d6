#include "cli/json.h"

#include <cstdio>

namespace cli {

namespace {

// Windows-1252's bytes 0x80..0x9F; 0 marks the five the code page leaves undefined, which
// are written as the C1 control of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendEscape(std::string& out, unsigned code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
    out += buffer;
}

}  // namespace

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    AppendEscape(out, c);
                } else if (c >= 0x80 && c < 0xA0) {
                    const char16_t mapped = kCp1252High[c - 0x80];
                    AppendEscape(out, mapped ? mapped : c);
                } else if (c >= 0xA0) {
                    AppendEscape(out, c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

Json Json::StringArray(const std::vector<std::string>& items) {
    Json array = Array();
    for (const std::string& item : items)
        array.Push(item);
    return array;
}

Json& Json::Set(std::string_view name, Json value) {
    for (auto& member : members_) {
        if (member.first == name) {
            member.second = std::move(value);
            return *this;
        }
    }
    members_.emplace_back(std::string(name), std::move(value));
    return *this;
}

Json& Json::Push(Json value) {
    items_.push_back(std::move(value));
    return *this;
}

std::string Json::Dump() const {
    std::string out;
    DumpTo(out);
    return out;
}

void Json::DumpTo(std::string& out) const {
    switch (kind_) {
        case Kind::Null:
            out += "null";
            break;
        case Kind::Bool:
            out += bool_ ? "true" : "false";
            break;
        case Kind::Number:
            out += std::to_string(number_);
            break;
        case Kind::String:
            out += JsonQuote(string_);
            break;
        case Kind::Array: {
            out += '[';
            bool first = true;
            for (const Json& item : items_) {
                if (!first)
                    out += ',';
                first = false;
                item.DumpTo(out);
            }
            out += ']';
            break;
        }
        case Kind::Object: {
            out += '{';
            bool first = true;
            for (const auto& [name, value] : members_) {
                if (!first)
                    out += ',';
                first = false;
                out += JsonQuote(name);
                out += ':';
                value.DumpTo(out);
            }
            out += '}';
            break;
        }
    }
}

}  // namespace cli
