// Test fixtures: a fresh temporary sandbox per test, and a user interface that answers from a
// queue and records what the program showed.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sandbox.h"
#include "platform/ui.h"

namespace quellin::testsupport {

// Creates and seeds a sandbox in a new temporary folder and makes it this process's sandbox;
// removes it again at the end of the scope.
class ScopedSandbox {
  public:
    explicit ScopedSandbox(sim::InitOptions options = {});
    ScopedSandbox(const ScopedSandbox&) = delete;
    ScopedSandbox& operator=(const ScopedSandbox&) = delete;
    ~ScopedSandbox();

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path HostPath(const std::string& windowsPath) const;
    void SetConfig(const sim::Config& config);

  private:
    std::filesystem::path root_;
};

struct MessageBoxCall {
    win::HWND owner = 0;
    std::string text;
    std::string caption;
    win::DWORD flags = 0;
    int answer = 0;
};

// Installs itself as the user interface for its lifetime.
class RecordingUi : public win::UserInterface {
  public:
    RecordingUi();
    ~RecordingUi() override;

    // Answers for the next boxes and dialogs, in order. A box with no queued answer gets IDNO
    // for yes/no and IDOK otherwise; a dialog with none is cancelled.
    void QueueAnswer(int answer) { answers_.push_back(answer); }
    void QueueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }

    int MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                   win::DWORD flags) override;
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::optional<std::string> FileDialog(const win::FileDialogRequest& request) override;
    void OpenUrl(const std::string& url) override { urls.push_back(url); }

    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> errors;
    std::vector<win::FileDialogRequest> dialogs;
    std::vector<std::string> urls;

  private:
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> files_;
    win::UserInterface* previous_ = nullptr;
};

// Bytes of a host file, or nothing when it cannot be read.
std::optional<std::string> ReadHostFile(const std::filesystem::path& path);
void WriteHostFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace quellin::testsupport
