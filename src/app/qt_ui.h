// The user interface of the program on a desktop: Qt message boxes, file dialogs, and the
// user's browser.
#pragma once

#include <QWidget>
#include <functional>

#include "platform/ui.h"

namespace quellin::app {

class QtUserInterface final : public win::UserInterface {
  public:
    // `windowFor` finds the widget that stands for a window handle (the owner of a box).
    explicit QtUserInterface(std::function<QWidget*(win::HWND)> windowFor);

    int MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                   win::DWORD flags) override;
    void ShowError(const std::string& text) override;
    std::optional<std::string> FileDialog(const win::FileDialogRequest& request) override;
    void OpenUrl(const std::string& url) override;

  private:
    std::function<QWidget*(win::HWND)> windowFor_;
};

// "Printer Settings (*.roy)|*.roy" as Qt writes filters: "Printer Settings (*.roy)".
QString QtFilter(const std::string& windowsFilter);

}  // namespace quellin::app
