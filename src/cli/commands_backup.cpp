// backup and restore: the settings archive commands without their file dialogs, which the
// command line's file name answers.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "archive/zip_errors.h"
#include "backup/settings_backup.h"
#include "cli/command.h"
#include "cli/console_ui.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/security.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/system_commands.h"

namespace quellin::cli {

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
    if (win::NameOf(path).find('.') == std::string::npos)
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
    } catch (const quellin::archive::EZipperError& error) {
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

// The account whose HKEY_CURRENT_USER the command saves or replaces, named in the result.
// SYSTEM's own printer settings are rarely what a script run as SYSTEM means to save.
void RequireIntendedUser(const Invocation& invocation, Reporter& reporter) {
    std::string user;
    if (!win::GetUserNameA(&user))
        user.clear();
    const bool system = win::IsLocalSystemAccount();
    reporter.data.Set("user", Json::Object().Set("name", user).Set("localSystem", system));
    reporter.Progress("acting on the printer settings of " + (user.empty() ? "this user" : user));
    if (system && !invocation.Has("as-system"))
        throw UsageError(
            "running as SYSTEM, this would act on SYSTEM's own printer settings, not a "
            "user's; run it as the user, or give --as-system if SYSTEM's are meant");
}

// The archive's bytes, to tell whether a save changed it.
std::optional<std::string> ArchiveBytes(const std::string& path) {
    return quellin::system::ReadWholeFile(path);
}

void ReportCheck(const std::vector<std::string>& writes, const std::string& step,
                 Reporter& reporter) {
    reporter.data.Set("plan", Json::Object()
                                  .Set("steps", Json::StringArray({step}))
                                  .Set("write", Json::StringArray(writes))
                                  .Set("delete", Json::Array())
                                  .Set("jobs", Json::Array()));
    reporter.Line("would " + step);
}

}  // namespace

void BackupCommand(const Invocation& invocation, Reporter& reporter) {
    RequireAdministrator();
    const std::string archive = ArchivePath(invocation.positionals.at(0));
    RequireIntendedUser(invocation, reporter);
    if (reporter.check) {
        reporter.data.Set("archive", archive);
        ReportCheck({archive}, "save the printer settings to " + archive, reporter);
        return;
    }
    CurrentConsoleUi()->chosenFile = archive;
    reporter.Progress("saving the printer settings to " + archive);
    const std::optional<std::string> before = ArchiveBytes(archive);
    quellin::backup::SettingsBackup backup;
    // The archive always holds the same keys and files, whichever printer a window selects.
    const auto result = ArchiveStep([&] {
        struct Compare {
            const std::string& archive;
            const std::optional<std::string>& before;
            Reporter& reporter;
            ~Compare() { reporter.changed = ArchiveBytes(archive) != before; }
        } compare{archive, before, reporter};
        return backup.Save(Context(), true);
    });
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
    RequireIntendedUser(invocation, reporter);
    if (reporter.check) {
        reporter.data.Set("archive", archive);
        ReportCheck({}, "restore the printer settings and driver files from " + archive, reporter);
        return;
    }
    CurrentConsoleUi()->chosenFile = archive;
    reporter.Progress("restoring the printer settings from " + archive);
    quellin::backup::SettingsBackup backup;
    const auto result = ArchiveStep([&] { return backup.Restore(Context()); });
    // The keys and files are replaced only once the archive was read in full.
    reporter.changed = result == quellin::backup::SettingsResult::Complete ||
                       result == quellin::backup::SettingsResult::Incomplete;
    reporter.data.Set("keysNotRestored", RestoreErrorCount());
    Report(result, archive, reporter);
}

}  // namespace quellin::cli
