#include "cli/console_ui.h"

namespace quellin::cli {

namespace {
ConsoleUi* g_current = nullptr;
}

ConsoleUi::ConsoleUi() {
    platform::SetUserInterface(this);
    g_current = this;
}

ConsoleUi::~ConsoleUi() {
    platform::SetUserInterface(nullptr);
    g_current = nullptr;
}

int ConsoleUi::MessageBox(platform::HWND, const std::string& text, const std::string& caption,
                          platform::DWORD flags) {
    const bool question = (flags & 0xF) == platform::MB_YESNO;
    int answer = platform::IDOK;
    if (question)
        answer = answerQuestion ? answerQuestion(caption, text) : platform::IDNO;
    messages.push_back({caption, text, question, answer});
    return answer;
}

std::optional<std::string> ConsoleUi::FileDialog(const platform::FileDialogRequest&) {
    return chosenFile;
}

ConsoleUi* CurrentConsoleUi() {
    return g_current;
}

}  // namespace quellin::cli
