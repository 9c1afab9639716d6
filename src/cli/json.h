// The JSON documents quellin-cli writes: a small value type that keeps object members in the
// order they were set, so the output reads the same on every run.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quellin::cli {

class Json {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool value) : kind_(Kind::Bool), bool_(value) {}
    Json(int value) : kind_(Kind::Number), number_(value) {}
    Json(long value) : kind_(Kind::Number), number_(value) {}
    Json(long long value) : kind_(Kind::Number), number_(value) {}
    Json(unsigned value) : kind_(Kind::Number), number_(value) {}
    Json(unsigned long value) : kind_(Kind::Number), number_(static_cast<std::int64_t>(value)) {}
    Json(const char* value) : kind_(Kind::String), string_(value) {}
    Json(std::string value) : kind_(Kind::String), string_(std::move(value)) {}
    Json(std::string_view value) : kind_(Kind::String), string_(value) {}

    static Json Array() { return Json(Kind::Array); }
    static Json Object() { return Json(Kind::Object); }
    static Json StringArray(const std::vector<std::string>& items);

    Kind kind() const { return kind_; }

    // Object member: replaces a member of that name or appends a new one.
    Json& Set(std::string_view name, Json value);
    // Array element.
    Json& Push(Json value);

    // One line, no spaces between tokens.
    std::string Dump() const;

  private:
    explicit Json(Kind kind) : kind_(kind) {}
    void DumpTo(std::string& out) const;

    Kind kind_ = Kind::Null;
    bool bool_ = false;
    std::int64_t number_ = 0;
    std::string string_;
    std::vector<Json> items_;
    std::vector<std::pair<std::string, Json>> members_;
};

// A JSON string literal of the program's ANSI text, written by the program's one JSON writer:
// characters outside ASCII as \u escapes, so the document is plain ASCII.
std::string JsonQuote(std::string_view text);

}  // namespace quellin::cli
