#include "cli/console_ui.h"

namespace quellin::cli {

namespace {
ConsoleUi* g_current = nullptr;
}

ConsoleUi::ConsoleUi() {
    win::SetUserInterface(this);
    g_current = this;
}

ConsoleUi::~ConsoleUi() {
    win::SetUserInterface(nullptr);
    g_current = nullptr;
}

int ConsoleUi::MessageBox(win::HWND, const std::string& text, const std::string& caption,
                          win::DWORD flags) {
    const bool question = (flags & 0xF) == win::MB_YESNO;
    int answer = win::IDOK;
    if (question)
        answer = answerQuestion ? answerQuestion(caption, text) : win::IDNO;
    messages.push_back({caption, text, question, answer});
    return answer;
}

std::optional<std::string> ConsoleUi::FileDialog(const win::FileDialogRequest&) {
    // No command asks through a dialog: each drives its logic with the file it was given.
    return std::nullopt;
}

ConsoleUi* CurrentConsoleUi() {
    return g_current;
}

}  // namespace quellin::cli
