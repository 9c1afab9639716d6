// The user interface of quellin-cli: the message boxes the program's own functions show are
// recorded (they become the command's messages or its refusal), questions are answered as the
// command line decided, file dialogs choose the file named on the command line, and no web
// page is opened.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace quellin::cli {

struct ShownMessage {
    std::string caption;
    std::string text;
    bool question = false;
    int answer = 0;
};

class ConsoleUi final : public win::UserInterface {
  public:
    // Installs itself for its lifetime.
    ConsoleUi();
    ~ConsoleUi() override;
    ConsoleUi(const ConsoleUi&) = delete;
    ConsoleUi& operator=(const ConsoleUi&) = delete;

    int MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                   win::DWORD flags) override;
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::optional<std::string> FileDialog(const win::FileDialogRequest& request) override;
    void OpenUrl(const std::string& url) override { declinedUrls.push_back(url); }

    // Answers a yes/no question from its caption and text; unset or unmatched: No.
    std::function<int(const std::string& caption, const std::string& text)> answerQuestion;

    std::vector<ShownMessage> messages;
    std::vector<std::string> errors;
    std::vector<std::string> declinedUrls;
};

// The installed console interface, or null when quellin-cli is not running a command.
ConsoleUi* CurrentConsoleUi();

}  // namespace quellin::cli
