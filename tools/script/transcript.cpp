#include "transcript.h"

#include <cstdint>

namespace script {

namespace {

void AppendEscaped(std::string& out, std::uint32_t c) {
    char buffer[16];
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (c >= 0x20 && c < 0x7F) {
        out += static_cast<char>(c);
    } else if (c < 0x10000) {
        std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
        out += buffer;
    } else {
        c -= 0x10000;
        std::snprintf(buffer, sizeof buffer, "\\u%04x\\u%04x",
                      static_cast<unsigned>(0xD800 + (c >> 10)),
                      static_cast<unsigned>(0xDC00 + (c & 0x3FF)));
        out += buffer;
    }
}

}  // namespace

std::string JsonUtf8(std::string_view utf8) {
    std::string out = "\"";
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
        std::uint32_t c = extra == 0 ? byte : byte & (0x3F >> extra);
        bool valid = byte < 0x80 || extra > 0;
        for (int k = 1; valid && k <= extra; ++k) {
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        if (!valid) {
            // Not UTF-8 after all: keep the byte readable rather than lose the line.
            AppendEscaped(out, byte);
            ++i;
            continue;
        }
        AppendEscaped(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out + "\"";
}

std::string JsonText8(std::string_view text8) {
    std::string out = "\"";
    for (unsigned char c : text8)
        AppendEscaped(out, c);
    return out + "\"";
}

JsonObject& JsonObject::Key(std::string_view key) {
    if (!body_.empty())
        body_ += ',';
    body_ += JsonUtf8(key);
    body_ += ':';
    return *this;
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value8) {
    Key(key).body_ += JsonText8(value8);
    return *this;
}

JsonObject& JsonObject::Utf8(std::string_view key, std::string_view value) {
    Key(key).body_ += JsonUtf8(value);
    return *this;
}

JsonObject& JsonObject::Int(std::string_view key, long long value) {
    Key(key).body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
    Key(key).body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Null(std::string_view key) {
    Key(key).body_ += "null";
    return *this;
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
    Key(key).body_ += json;
    return *this;
}

JsonObject& JsonObject::OptionalText(std::string_view key,
                                     const std::optional<std::string>& value8) {
    return value8 ? Text(key, *value8) : Null(key);
}

Transcript::Transcript(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

Transcript::~Transcript() {
    if (file_)
        std::fclose(file_);
}

void Transcript::WriteLine(const std::string& line) {
    if (!file_ || ended_)
        return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void Transcript::Write(const JsonObject& event) {
    std::lock_guard lock(mutex_);
    if (!sealed_)
        WriteLine(event.Str());
}

void Transcript::Failed(int line, const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (sealed_)
        return;
    JsonObject event;
    event.Text("event", "failed");
    if (line > 0)
        event.Int("line", line);
    else
        event.Null("line");
    event.Utf8("reason", reason);
    WriteLine(event.Str());
    sealed_ = true;
}

void Transcript::End(int exitCode) {
    std::lock_guard lock(mutex_);
    WriteLine(JsonObject().Text("event", "end").Int("exit", exitCode).Str());
    sealed_ = true;
    ended_ = true;
}

void Transcript::Seal() {
    std::lock_guard lock(mutex_);
    sealed_ = true;
}

bool Transcript::Sealed() const {
    std::lock_guard lock(mutex_);
    return sealed_;
}

}  // namespace script
