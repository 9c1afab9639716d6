#include "transcript.h"

#include <utility>

namespace quellin::script {

JsonObject& JsonObject::Text(std::string_view key, std::string_view value8) {
    return Set(key, json::Value(value8));
}

JsonObject& JsonObject::Utf8(std::string_view key, std::string_view value) {
    return Set(key, json::Value::Utf8(value));
}

JsonObject& JsonObject::Int(std::string_view key, long long value) {
    return Set(key, value);
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
    return Set(key, value);
}

JsonObject& JsonObject::Null(std::string_view key) {
    return Set(key, nullptr);
}

JsonObject& JsonObject::Set(std::string_view key, json::Value value) {
    value_.SetUtf8(key, std::move(value));
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
