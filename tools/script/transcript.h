// The transcript of a scripted run: one JSON object a line, in the order things happened.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "json/json.h"

namespace quellin::script {

// One JSON object of the transcript, built by the program's one writer. Text from the program
// is in the ANSI code page; text taken from Qt widgets, and every key, is UTF-8.
class JsonObject {
  public:
    JsonObject& Text(std::string_view key, std::string_view value8);
    JsonObject& Utf8(std::string_view key, std::string_view value);
    JsonObject& Int(std::string_view key, long long value);
    JsonObject& Bool(std::string_view key, bool value);
    JsonObject& Null(std::string_view key);
    JsonObject& Set(std::string_view key, json::Value value);
    // The value, or null when absent.
    JsonObject& OptionalText(std::string_view key, const std::optional<std::string>& value8);

    const json::Value& Json() const { return value_; }
    std::string Str() const { return value_.Dump(); }

  private:
    json::Value value_ = json::Value::Object();
};

// Writes events to a file, each flushed at once so that a crash leaves what happened before it.
// After Seal only the closing "end" event is written: what the program does while it winds
// down after a failure is not part of the run.
class Transcript {
  public:
    // Nothing is written when the file cannot be opened; Ok tells.
    explicit Transcript(const std::string& path);
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    bool Ok() const { return file_ != nullptr; }

    void Write(const JsonObject& event);
    void Failed(int line, const std::string& reason);
    void End(int exitCode);
    void Seal();
    bool Sealed() const;

  private:
    void WriteLine(const std::string& line);

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    bool sealed_ = false;
    bool ended_ = false;
};

}  // namespace quellin::script
