#include "transcript.h"

#include <cstdint>

#include "json/json.h"

namespace quellin::script {

std::string JsonUtf8(std::string_view utf8) {
    return quellin::json::QuoteUtf8(utf8);
}

std::string JsonText8(std::string_view text8) {
    return quellin::json::QuoteAnsi(text8);
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

}  // namespace quellin::script
