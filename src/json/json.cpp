#include "json/json.h"

#include <cstdio>

#include "platform/text.h"

namespace quellin::json {

namespace {

std::string Quote(std::u16string_view wide) {
    std::string out = "\"";
    for (char16_t c : wide) {
        switch (c) {
            case u'"':
                out += "\\\"";
                break;
            case u'\\':
                out += "\\\\";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace

Value::Value(std::string_view ansi) : kind_(Kind::String), text_(Quote(win::AnsiToWide(ansi))) {}

Value Value::Utf8(std::string_view utf8) {
    Value value(Kind::String);
    value.text_ = Quote(win::Utf8ToWide(utf8));
    return value;
}

Value Value::StringArray(const std::vector<std::string>& ansi) {
    Value array = Array();
    for (const std::string& item : ansi)
        array.Push(item);
    return array;
}

Value& Value::Set(std::string_view name, Value value) {
    return SetQuoted(Quote(win::AnsiToWide(name)), std::move(value));
}

Value& Value::SetUtf8(std::string_view name, Value value) {
    return SetQuoted(Quote(win::Utf8ToWide(name)), std::move(value));
}

Value& Value::SetQuoted(std::string name, Value value) {
    for (auto& member : members_) {
        if (member.first == name) {
            member.second = std::move(value);
            return *this;
        }
    }
    members_.emplace_back(std::move(name), std::move(value));
    return *this;
}

Value& Value::Push(Value value) {
    items_.push_back(std::move(value));
    return *this;
}

Value& Value::OnLines() {
    onLines_ = true;
    return *this;
}

std::string Value::Dump(Layout layout) const {
    std::string out;
    DumpTo(out, layout, 0);
    return out;
}

void Value::DumpTo(std::string& out, Layout layout, int depth) const {
    if (kind_ != Kind::Array && kind_ != Kind::Object) {
        out += text_;
        return;
    }
    const bool readable = layout == Layout::Readable;
    const bool lines = readable && onLines_;
    const char* comma = readable && !lines ? ", " : ",";
    auto newLine = [&](int level) {
        if (lines)
            out.append(1, '\n').append(2 * level, ' ');
    };
    bool first = true;
    auto separate = [&] {
        out += first ? "" : comma;
        newLine(depth + 1);
        first = false;
    };
    if (kind_ == Kind::Array) {
        out += '[';
        for (const Value& item : items_) {
            separate();
            item.DumpTo(out, layout, depth + 1);
        }
    } else {
        out += '{';
        for (const auto& [name, value] : members_) {
            separate();
            out += name;
            out += readable ? ": " : ":";
            value.DumpTo(out, layout, depth + 1);
        }
    }
    newLine(depth);
    out += kind_ == Kind::Array ? ']' : '}';
}

}  // namespace quellin::json
