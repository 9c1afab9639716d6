#include "cli/json.h"

#include "json/json.h"

namespace quellin::cli {

std::string JsonQuote(std::string_view text) {
    return quellin::json::QuoteAnsi(text);
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

}  // namespace quellin::cli
