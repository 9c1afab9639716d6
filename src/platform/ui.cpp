#include "platform/ui.h"

#include <cstdio>

namespace quellin::platform {

namespace {

// Until the program installs its windows, questions go to the terminal's error stream and
// take the cautious answer.
class ConsoleUserInterface final : public UserInterface {
  public:
    int MessageBox(HWND, const std::string& text, const std::string& caption,
                   DWORD flags) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        return (flags & 0xF) == MB_YESNO ? IDNO : IDOK;
    }
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
    std::optional<std::string> FileDialog(const FileDialogRequest&) override {
        return std::nullopt;
    }
    void OpenUrl(const std::string& url) override {
        std::fprintf(stderr, "open %s\n", url.c_str());
    }
};

ConsoleUserInterface g_console;
UserInterface* g_current = &g_console;

}  // namespace

UserInterface& ui() {
    return *g_current;
}

void SetUserInterface(UserInterface* ui) {
    g_current = ui ? ui : &g_console;
}

}  // namespace quellin::platform
