// The user of a scripted run: answers message boxes and file dialogs from the script's queue
// and writes each one, with its answer, to the transcript.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/ui.h"
#include "script.h"
#include "transcript.h"

namespace quellin::script {

class ScriptedUi final : public win::UserInterface {
  public:
    // `windowName` names the window an owner handle belongs to (empty when none is known). `fail`
    // is called when a box or dialog finds no fitting answer; the script has failed then.
    ScriptedUi(Transcript& transcript, std::function<std::string(win::HWND)> windowName,
               std::function<void(const std::string& reason)> fail);

    void QueueAnswer(BoxAnswer answer, int line);
    void QueueFile(std::optional<std::string> path, int line);
    // The first answer that nothing has used yet, for the end-of-script check.
    std::optional<int> FirstUnusedLine() const;

    int MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                   win::DWORD flags) override;
    void ShowError(const std::string& text) override;
    std::optional<std::string> FileDialog(const win::FileDialogRequest& request) override;
    // The shell event that the launch itself writes is all the user sees of it.
    void OpenUrl(const std::string&) override {}

  private:
    struct QueuedAnswer {
        BoxAnswer answer;
        int line;
    };
    struct QueuedFile {
        std::optional<std::string> path;
        int line;
    };

    Transcript& transcript_;
    std::function<std::string(win::HWND)> windowName_;
    std::function<void(const std::string&)> fail_;
    std::deque<QueuedAnswer> answers_;
    std::deque<QueuedFile> files_;
};

}  // namespace quellin::script
