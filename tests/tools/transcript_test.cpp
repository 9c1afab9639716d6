#include "transcript.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quellin::script {

namespace {

TEST(TranscriptJson, ObjectKeepsFieldOrder) {
    script::JsonObject event;
    event.Text("event", "filedialog").Int("show", 5).Bool("ok", false).Null("answer");
    event.OptionalText("path", std::string("C:\\x")).Set("items", json::Value::Array().Push(1));
    EXPECT_EQ(
        event.Str(),
        R"({"event":"filedialog","show":5,"ok":false,"answer":null,"path":"C:\\x","items":[1]})");
}

class TranscriptFile : public testing::Test {
  protected:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("transcript_test_" + std::to_string(::getpid()) + ".jsonl");
    void TearDown() override { std::filesystem::remove(path_); }
    std::string Read() {
        std::ifstream in(path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(TranscriptFile, AfterAFailureOnlyTheEndIsWritten) {
    {
        script::Transcript transcript(path_.string());
        ASSERT_TRUE(transcript.Ok());
        transcript.Write(script::JsonObject().Text("event", "shown"));
        transcript.Failed(4, "first");
        transcript.Failed(5, "second");
        transcript.Write(script::JsonObject().Text("event", "closed"));
        transcript.End(1);
        transcript.End(0);
        transcript.Write(script::JsonObject().Text("event", "late"));
    }
    EXPECT_EQ(Read(),
              "{\"event\":\"shown\"}\n"
              "{\"event\":\"failed\",\"line\":4,\"reason\":\"first\"}\n"
              "{\"event\":\"end\",\"exit\":1}\n");
}

TEST_F(TranscriptFile, FailureOutsideAnyLineHasANullLine) {
    {
        script::Transcript transcript(path_.string());
        transcript.Failed(0, "at the end");
    }
    EXPECT_EQ(Read(), "{\"event\":\"failed\",\"line\":null,\"reason\":\"at the end\"}\n");
}

TEST(TranscriptOpen, UnwritablePathIsReported) {
    script::Transcript transcript("/nonexistent-dir/for/transcript.jsonl");
    EXPECT_FALSE(transcript.Ok());
}

}  // namespace

}  // namespace quellin::script
