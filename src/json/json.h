// The one JSON writer of the program and its tools: a value built in code, written out whole.
// Documents are plain ASCII (every other character as a \u escape, with surrogate pairs), so
// they are valid UTF-8 wherever they are read. Object members keep the order they were first
// set in, so a document reads the same on every run.
#pragma once

#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quellin::json {

class Value {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };
    enum class Layout {
        Compact,  // one line, no spaces between tokens
        // A space after each comma and colon; the members of a container made OnLines each
        // on a line of their own, indented two spaces a level.
        Readable,
    };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool value) : kind_(Kind::Bool), text_(value ? "true" : "false") {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) Value(T value)
        : kind_(Kind::Number), text_(std::to_string(value)) {}
    // Strings of the program's text, in the ANSI code page.
    Value(const char* ansi) : Value(std::string_view(ansi)) {}
    Value(const std::string& ansi) : Value(std::string_view(ansi)) {}
    Value(std::string_view ansi);
    // A string of UTF-8 text (a window's or the host's); a malformed sequence is written as
    // U+FFFD.
    static Value Utf8(std::string_view utf8);

    static Value Array() { return Value(Kind::Array); }
    static Value Object() { return Value(Kind::Object); }
    static Value StringArray(const std::vector<std::string>& ansi);

    Kind kind() const { return kind_; }

    // Object member, named in the program's text: replaces a member of that name or appends.
    Value& Set(std::string_view name, Value value);
    // The same, named in UTF-8.
    Value& SetUtf8(std::string_view name, Value value);
    // Array element.
    Value& Push(Value value);
    // In the Readable layout, each member on a line of its own.
    Value& OnLines();

    std::string Dump(Layout layout = Layout::Compact) const;

  private:
    explicit Value(Kind kind) : kind_(kind) {}
    Value& SetQuoted(std::string name, Value value);
    void DumpTo(std::string& out, Layout layout, int depth) const;

    Kind kind_ = Kind::Null;
    bool onLines_ = false;
    std::string text_ = "null";  // a scalar as written
    std::vector<Value> items_;
    std::vector<std::pair<std::string, Value>> members_;  // names as written
};

}  // namespace quellin::json
