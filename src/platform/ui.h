// What the user sees of the system: message boxes, the application's error box, the common
// file dialogs, and the browser. The program installs a Qt implementation; tests and scripts
// install one that answers from a queue and records what was asked.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD MB_OK = 0x0;
inline constexpr DWORD MB_YESNO = 0x4;
inline constexpr DWORD MB_ICONERROR = 0x10;
inline constexpr DWORD MB_ICONQUESTION = 0x20;
inline constexpr DWORD MB_ICONWARNING = 0x30;
inline constexpr DWORD MB_ICONINFORMATION = 0x40;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct FileDialogRequest {
    enum class Kind { Open, Save } kind = Kind::Open;
    HWND owner = 0;
    std::string title;
    std::string filter;  // "Printer Settings (*.roy)|*.roy"
    std::string defaultExtension;
    std::string initialDir;
    std::string fileName;
    bool overwritePrompt = false;
};

class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // MessageBoxA: `owner` is 0 for no owner window. Returns IDOK, IDYES or IDNO.
    virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption,
                           DWORD flags) = 0;
    // The application's default box for an error that a handler did not catch.
    virtual void ShowError(const std::string& text) = 0;
    // A Windows path, or nothing when the user cancelled.
    virtual std::optional<std::string> FileDialog(const FileDialogRequest& request) = 0;
    // Shows a web address in the user's browser.
    virtual void OpenUrl(const std::string& url) = 0;
};

// The current implementation; a default that refuses every question until one is installed.
UserInterface& ui();
void SetUserInterface(UserInterface* ui);

// File dialogs show the files of the machine the program runs on: these translate between
// the Windows paths of the logic (ANSI) and the paths the dialog shows (UTF-8; on Windows the
// same path in the other encoding).
std::string DialogPathFromWindows(const std::string& windowsPath);
std::string WindowsPathFromDialog(const std::string& dialogPath);

// Convenience forwarders with the Windows name.
inline int MessageBoxA(HWND owner, const std::string& text, const std::string& caption,
                       DWORD flags) {
    return ui().MessageBox(owner, text, caption, flags);
}

}  // namespace quellin::platform
