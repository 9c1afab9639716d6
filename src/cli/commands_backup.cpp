// backup and restore: the settings archive commands without their file dialogs, which the
// command line's file name answers.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "archive/crc32.h"
#include "archive/zip_errors.h"
#include "backup/settings_backup.h"
#include "cli/command.h"
#include "cli/repair_plan.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/plain_file.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/identity.h"
#include "system/redirection.h"
#include "system/system_commands.h"

namespace quellin::cli {

namespace {

// The archive as the logic names it; a name without an extension gets ".roy", as the dialogs'
// default extension gives it.
std::string ArchivePath(const std::string& argument) {
    std::string path = CommandLinePath(argument);
    if (win::NameOf(path).find('.') == std::string::npos)
        path += ".roy";
    return path;
}

// The closing box's text as one line: its list, one name a line, joined by "; ".
std::string OneLine(std::string text) {
    for (std::size_t at; (at = text.find(":\r\n")) != std::string::npos;)
        text.replace(at, 3, ": ");
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, "; ");
    return text;
}

// Archive and file errors end the command with exit 5; what they leave behind has been put
// right by the backup logic before they arrive here.
template <typename Step>
auto ArchiveStep(Step&& step) {
    try {
        return step();
    } catch (const quellin::archive::EZipperError& error) {
        throw CommandFailure(kExitFileError, error.what());
    } catch (const quellin::system::SystemError& error) {
        throw CommandFailure(kExitFileError, error.what(), error.code());
    }
}

// Tells the outcome as the window's boxes would (the document's messages), then reports it.
void Report(const quellin::backup::SettingsOutcome& outcome, bool restore,
            const std::string& archive, Reporter& reporter) {
    using quellin::backup::SettingsResult;
    quellin::backup::TellOutcome(outcome, restore, 0);
    const std::string text = OneLine(quellin::backup::ClosingText(outcome, restore));
    reporter.data.Set("archive", archive);
    switch (outcome.result) {
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

// The archive's content as a checksum and size, to tell whether a save changed it: read in
// pieces, with the user's rights and never through a link, so that neither a huge file nor a
// device at that name is taken into memory.
std::optional<std::pair<std::uint32_t, std::uint64_t>> ArchivePrint(const std::string& path) {
    quellin::system::UserRightsSpan asUser;
    win::UniqueFileHandle file = win::OpenPlainFile(
        path, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING);
    const auto print = file ? quellin::archive::FingerprintOfHandle(file.get()) : std::nullopt;
    if (!print)
        return std::nullopt;
    return std::pair{print->crc, print->size};
}

// What a restore replaces, as text: the three keys' trees and the two driver files' checksums
// and sizes, to tell whether a restore changed anything.
std::string RestoredState(const std::vector<std::string>& files) {
    std::string text;
    for (const quellin::backup::SettingsKey& key : quellin::backup::kSettingsKeys) {
        text += RegistryTreeText(win::HKEY_CURRENT_USER, key.keyPath);
    }
    quellin::system::FsRedirectionSpan span(Wow64KeyFlag() != 0);
    for (const std::string& file : files) {
        const auto print = quellin::archive::FingerprintOfFile(file);
        text += file + ": " +
                (print ? std::to_string(print->crc) + "/" + std::to_string(print->size)
                       : std::string("missing")) +
                "\n";
    }
    return text;
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
    reporter.Progress("saving the printer settings to " + archive);
    const auto before = ArchivePrint(archive);
    quellin::backup::SettingsBackup backup;
    // The archive always holds the same keys and files, whichever printer a window selects.
    const auto outcome = ArchiveStep([&] {
        struct Compare {
            const std::string& archive;
            const std::optional<std::pair<std::uint32_t, std::uint64_t>>& before;
            Reporter& reporter;
            ~Compare() { reporter.changed = ArchivePrint(archive) != before; }
        } compare{archive, before, reporter};
        return quellin::backup::ExecuteSave(quellin::backup::PlanSave(archive, Wow64KeyFlag()),
                                            backup.Zipper1);
    });
    Report(outcome, false, archive, reporter);
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
    reporter.data.Set("archive", archive);
    quellin::backup::SettingsBackup backup;
    const std::string tempPath = quellin::system::GetTempPathText();
    if (tempPath.empty())
        throw CommandFailure(kExitFileError,
                             "I/O error " + std::to_string(win::ERROR_PATH_NOT_FOUND),
                             win::ERROR_PATH_NOT_FOUND);
    const int first = backup.Random(2004);
    const int second = backup.Random(5999);
    const quellin::backup::SettingsPlan plan =
        quellin::backup::PlanRestore(archive, Wow64KeyFlag(), tempPath, first, second);
    // The archive is judged before anything is touched, so that --check meets the same end
    // as the real run: an unreadable archive is a file error either way.
    const auto preview =
        ArchiveStep([&] { return quellin::backup::PreviewRestore(plan, backup.Zipper1); });
    if (preview.entryCount == 0)
        throw CommandFailure(kExitFileError,
                             "the archive " + archive + " holds no entries; nothing was restored");
    std::vector<std::string> writes = preview.keys;
    writes.insert(writes.end(), preview.files.begin(), preview.files.end());
    if (reporter.check) {
        if (!preview.unreadable.empty())
            throw CommandFailure(
                kExitFileError,
                OneLine(quellin::backup::ClosingText(
                    {quellin::backup::SettingsResult::Damaged, {}, preview.unreadable}, true)));
        ReportCheck(writes, "restore the printer settings and driver files from " + archive,
                    reporter);
        return;
    }
    reporter.Progress("restoring the printer settings from " + archive);
    const std::vector<std::string> files = {plan.paths.deviceCapabilitiesPath,
                                            plan.paths.mergedConfigPath};
    const std::string before = RestoredState(files);
    const auto outcome =
        ArchiveStep([&] { return quellin::backup::ExecuteRestore(plan, backup.Zipper1); });
    // Rewriting a key or file with what it held already changes nothing.
    reporter.changed = RestoredState(files) != before;
    reporter.data.Set("keysNotRestored", static_cast<int>(outcome.keysNotRestored.size()));
    Report(outcome, true, archive, reporter);
}

}  // namespace quellin::cli
