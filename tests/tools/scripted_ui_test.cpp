#include "scripted_ui.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace quellin::script {

namespace {

using script::BoxAnswer;

constexpr win::HWND kMain = 0x1234;

class ScriptedUiTest : public testing::Test {
  protected:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("scripted_ui_test_" + std::to_string(::getpid()) + ".jsonl");
    std::unique_ptr<script::Transcript> transcript_ =
        std::make_unique<script::Transcript>(path_.string());
    std::vector<std::string> failures_;
    script::ScriptedUi ui_{
        *transcript_,
        [](win::HWND h) { return h == kMain ? std::string("TForm1") : std::string(); },
        [this](const std::string& reason) { failures_.push_back(reason); }};

    void TearDown() override { std::filesystem::remove(path_); }
    std::vector<std::string> Lines() {
        transcript_.reset();
        std::ifstream in(path_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

TEST_F(ScriptedUiTest, BoxesTakeTheQueuedAnswersInOrder) {
    ui_.QueueAnswer(BoxAnswer::Yes, 2);
    ui_.QueueAnswer(BoxAnswer::No, 3);
    ui_.QueueAnswer(BoxAnswer::Ok, 4);
    EXPECT_EQ(ui_.MessageBox(kMain, "Upgrade?", "Quellin", win::MB_YESNO), win::IDYES);
    EXPECT_EQ(ui_.MessageBox(kMain, "Reminder?", "Pro Version Upgrade", win::MB_YESNO), win::IDNO);
    EXPECT_EQ(
        ui_.MessageBox(0, "Permission denied.", "Quellin 1.1", win::MB_OK | win::MB_ICONERROR),
        win::IDOK);
    EXPECT_TRUE(failures_.empty());
    EXPECT_FALSE(ui_.FirstUnusedLine());
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              R"({"event":"messagebox","owner":"TForm1","caption":"Quellin","text":"Upgrade?",)"
              R"("buttons":"YESNO","icon":"none","answer":"yes"})");
    EXPECT_NE(lines[1].find(R"("answer":"no")"), std::string::npos);
    EXPECT_EQ(lines[2],
              R"({"event":"messagebox","owner":null,"caption":"Quellin 1.1",)"
              R"("text":"Permission denied.","buttons":"OK","icon":"error","answer":"ok"})");
}

TEST_F(ScriptedUiTest, AnOwnerOtherThanTheMainWindowIsNull) {
    ui_.QueueAnswer(BoxAnswer::Ok, 1);
    ui_.MessageBox(0x999, "text", "caption", win::MB_OK | win::MB_ICONINFORMATION);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(R"("owner":null)"), std::string::npos);
    EXPECT_NE(lines[0].find(R"("icon":"none")"), std::string::npos);
}

TEST_F(ScriptedUiTest, AnUnansweredBoxFailsAndChangesNothing) {
    EXPECT_EQ(ui_.MessageBox(kMain, "Uninstall?\r\nReally.", "Quellin", win::MB_YESNO), win::IDNO);
    ASSERT_EQ(failures_.size(), 1u);
    EXPECT_EQ(failures_[0], "unexpected yes/no box \"Quellin\" (no answer was queued): Uninstall?");
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(R"("answer":null)"), std::string::npos);
}

TEST_F(ScriptedUiTest, AnAnswerThatDoesNotFitTheButtonsFails) {
    ui_.QueueAnswer(BoxAnswer::Ok, 7);
    EXPECT_EQ(ui_.MessageBox(kMain, "Sure?", "Quellin", win::MB_YESNO), win::IDNO);
    ui_.QueueAnswer(BoxAnswer::Yes, 8);
    EXPECT_EQ(ui_.MessageBox(kMain, "Done.", "Quellin", win::MB_OK), win::IDOK);
    ASSERT_EQ(failures_.size(), 2u);
    EXPECT_NE(failures_[0].find("'ok' queued on line 7 does not fit the yes/no box"),
              std::string::npos);
    EXPECT_NE(failures_[1].find("'yes' queued on line 8 does not fit the OK box"),
              std::string::npos);
}

TEST_F(ScriptedUiTest, TheErrorBoxNeedsAnOk) {
    ui_.QueueAnswer(BoxAnswer::Ok, 1);
    ui_.ShowError("System Error.  Code: 5.\r\nAccess is denied.");
    EXPECT_TRUE(failures_.empty());
    ui_.ShowError("again");
    ASSERT_EQ(failures_.size(), 1u);
    EXPECT_NE(failures_[0].find("unexpected error box"), std::string::npos);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              R"({"event":"error","text":"System Error.  Code: 5.\r\nAccess is denied."})");
}

TEST_F(ScriptedUiTest, FileDialogsTakeTheirOwnQueue) {
    ui_.QueueAnswer(BoxAnswer::Yes, 1);
    ui_.QueueFile(std::string("C:\\backup.roy"), 2);
    ui_.QueueFile(std::nullopt, 3);
    win::FileDialogRequest save;
    save.kind = win::FileDialogRequest::Kind::Save;
    save.title = "Save Settings";
    save.filter = "Printer Settings (*.roy)|*.roy";
    save.initialDir = "C:\\Users\\User";
    EXPECT_EQ(ui_.FileDialog(save), "C:\\backup.roy");
    EXPECT_EQ(ui_.FileDialog(win::FileDialogRequest{}), std::nullopt);
    EXPECT_TRUE(failures_.empty());
    // The yes queued first is still waiting for its box.
    EXPECT_EQ(ui_.FirstUnusedLine(), 1);
    EXPECT_EQ(ui_.FileDialog(win::FileDialogRequest{}), std::nullopt);
    EXPECT_EQ(failures_.size(), 1u);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              R"({"event":"filedialog","kind":"save","title":"Save Settings",)"
              R"("filter":"Printer Settings (*.roy)|*.roy","initialdir":"C:\\Users\\User",)"
              R"("answer":"C:\\backup.roy"})");
    EXPECT_NE(lines[1].find(R"("kind":"open")"), std::string::npos);
    EXPECT_NE(lines[1].find(R"("answer":null)"), std::string::npos);
}

}  // namespace

}  // namespace quellin::script
