// backup and restore: the settings archive commands without their file dialogs, which the
// command line's file name answers.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "backup/settings_backup.h"
#include "backup/zip_errors.h"
#include "cli/command.h"
#include "cli/console_ui.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "system/appinfo.h"
#include "system/errors.h"

namespace cli {

namespace {

bool IsWindowsPath(const std::string& path) {
    return (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
            path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           path.rfind("\\\\", 0) == 0;
}

// The archive as the logic names it: a Windows path as given, anything else a path of the
// machine the command runs on, made absolute. A name without an extension gets ".roy", as the
// dialogs' default extension gives it.
std::string ArchivePath(const std::string& argument) {
    std::string path = argument;
    if (!IsWindowsPath(path)) {
        // A host path: the dialog side of the conversion takes and gives UTF-8.
        const std::string utf8 = win::AnsiToUtf8(path);
        const std::filesystem::path host(std::u8string(utf8.begin(), utf8.end()));
        const std::u8string absolute =
            std::filesystem::absolute(host).lexically_normal().u8string();
        path = win::WindowsPathFromDialog(std::string(absolute.begin(), absolute.end()));
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::size_t slash = path.rfind('\\');
    if (path.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        path += ".roy";
    return path;
}

quellin::backup::SettingsContext Context() {
    quellin::backup::SettingsContext context;
    context.wow64KeyFlag = Wow64KeyFlag();
    context.caption = quellin::system::kMainCaption;
    return context;
}

// The closing box of the command: its report.
std::string ClosingText() {
    const ConsoleUi* ui = CurrentConsoleUi();
    if (!ui || ui->messages.empty())
        return {};
    std::string text = ui->messages.back().text;
    // The box's list, one name a line, as one line.
    for (std::size_t at; (at = text.find(":\r\n")) != std::string::npos;)
        text.replace(at, 3, ": ");
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, "; ");
    return text;
}

// The keys the restore could not load: one "RESTORE ERROR!" box each.
int RestoreErrorCount() {
    const auto& messages = CurrentConsoleUi()->messages;
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](const auto& m) {
        return m.text == quellin::backup::kRestoreErrorText;
    }));
}

// Archive and file errors end the command with exit 5; what they leave behind has been put
// right by the backup logic before they arrive here.
template <typename Step>
quellin::backup::SettingsResult ArchiveStep(Step&& step) {
    try {
        return step();
    } catch (const quellin::backup::EZipperError& error) {
        throw CommandFailure(kExitFileError, error.what());
    } catch (const quellin::system::SystemError& error) {
        throw CommandFailure(kExitFileError, error.what(), error.code());
    }
}

void Report(quellin::backup::SettingsResult result, const std::string& archive,
            Reporter& reporter) {
    using quellin::backup::SettingsResult;
    const std::string text = ClosingText();
    reporter.data.Set("archive", archive);
    switch (result) {
        case SettingsResult::Complete:
            reporter.data.Set("complete", true);
            reporter.Line(text);
            return;
        case SettingsResult::Incomplete:
            reporter.data.Set("complete", false);
            throw CommandFailure(kExitFinding, text);
        case SettingsResult::PathTooLong:
        case SettingsResult::Damaged:
            reporter.data.Set("complete", false);
            throw CommandFailure(kExitFileError, text);
        case SettingsResult::NotAdministrator:
            RequireAdministrator();
            break;
        case SettingsResult::NoSelection:
        case SettingsResult::Cancelled:
            break;
    }
    throw CommandFailure(kExitFinding, text.empty() ? "nothing was done" : text);
}

}  // namespace

void BackupCommand(const Invocation& invocation, Reporter& reporter) {
    RequireAdministrator();
    const std::string archive = ArchivePath(invocation.positionals.at(0));
    CurrentConsoleUi()->chosenFile = archive;
    reporter.Progress("saving the printer settings to " + archive);
    quellin::backup::SettingsBackup backup;
    // The archive always holds the same keys and files, whichever printer a window selects.
    const auto result = ArchiveStep([&] { return backup.Save(Context(), true); });
    Report(result, archive, reporter);
}

void RestoreCommand(const Invocation& invocation, Reporter& reporter) {
    RequireAdministrator();
    const std::string archive = ArchivePath(invocation.positionals.at(0));
    const win::DWORD attributes = win::GetFileAttributesA(archive);
    if (attributes == win::INVALID_FILE_ATTRIBUTES ||
        (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0)
        throw CommandFailure(kExitFileError, "there is no archive " + archive,
                             win::ERROR_FILE_NOT_FOUND);
    CurrentConsoleUi()->chosenFile = archive;
    reporter.Progress("restoring the printer settings from " + archive);
    quellin::backup::SettingsBackup backup;
    const auto result = ArchiveStep([&] { return backup.Restore(Context()); });
    reporter.data.Set("keysNotRestored", RestoreErrorCount());
    Report(result, archive, reporter);
}

}  // namespace cli
