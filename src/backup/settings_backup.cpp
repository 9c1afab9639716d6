#include "backup/settings_backup.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <string_view>
#include <utility>

#include "archive/crc32.h"
#include "audit/audit.h"
#include "backup/restore_extract.h"
#include "driverconfig/driver_files.h"
#include "platform/filesystem.h"
#include "platform/plain_file.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "system/admin.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/identity.h"
#include "system/redirection.h"
#include "system/system_commands.h"

namespace quellin::backup {

namespace {

using win::FolderOf;
using win::NameOf;
using win::SameName;

bool IsFile(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributesA(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributesA(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ShowPlain(const SettingsContext& context, const std::string& text) {
    win::MessageBoxA(context.owner, text, system::kApplicationTitle, win::MB_OK);
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += "\r\n" + line;
    }
    return text;
}

// Hides the button panel for its life; Show() brings it back early, before a closing box.
class PanelHidden {
  public:
    explicit PanelHidden(const SettingsContext& context) : show_(context.showPanel) {
        if (show_) {
            show_(false);
        }
    }
    PanelHidden(const PanelHidden&) = delete;
    PanelHidden& operator=(const PanelHidden&) = delete;
    ~PanelHidden() { Show(); }
    void Show() {
        if (show_) {
            std::exchange(show_, nullptr)(true);
        }
    }

  private:
    std::function<void(bool)> show_;
};

// Removes the restore's extraction folder with its content on every way out, with the user's
// own rights (the folder lies in the user's temp folder). Until then it may hold the folder
// open without letting it be deleted or renamed, so that nobody can put another folder or a
// link in its place meanwhile.
class FolderCleanup {
  public:
    explicit FolderCleanup(std::string folder) : folder_(std::move(folder)) {}
    FolderCleanup(const FolderCleanup&) = delete;
    FolderCleanup& operator=(const FolderCleanup&) = delete;
    ~FolderCleanup() { Run(); }
    void Pin(win::UniqueFileHandle handle) { pin_ = std::move(handle); }
    win::HANDLE Pinned() const { return pin_.get(); }
    void Run() {
        pin_.reset();
        if (!folder_.empty()) {
            system::UserRightsSpan asUser;
            system::DeleteFolderTree(std::exchange(folder_, {}));
        }
    }

  private:
    std::string folder_;
    win::UniqueFileHandle pin_;
};

[[noreturn]] void RaiseIoError(win::DWORD code) {
    throw system::SystemError(code, "I/O error " + std::to_string(code));
}

// Holds the new extraction folder open, refusing others the right to delete or rename it, and
// checks through that handle that it is a real folder, not a link someone put in its place.
win::UniqueFileHandle PinFolder(const std::string& folder) {
    win::UniqueFileHandle pin(win::CreateFileA(
        folder, win::FILE_LIST_DIRECTORY | win::FILE_READ_ATTRIBUTES | win::SYNCHRONIZE,
        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING,
        win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT));
    win::BY_HANDLE_FILE_INFORMATION info;
    if (!pin || !win::GetFileInformationByHandle(pin.get(), &info))
        RaiseIoError(win::GetLastError());
    if ((info.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RaiseIoError(win::ERROR_ACCESS_DENIED);
    }
    return pin;
}

// The access list of the elevated steps' staging folder: administrators and SYSTEM only,
// nothing inherited from the folder above.
constexpr const char* kStagingAccess = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// A folder for the files that the elevated steps write and read (the saved hives, the
// restore's copies of the extracted entries), made fresh in the system's temp folder with an
// access list that shuts out the user's own processes, and removed with its content on every
// way out. Made and removed with the program's full rights.
class AdminStaging {
  public:
    AdminStaging() {
        static std::mt19937 engine{std::random_device{}()};
        const std::string base = system::GetWindowsFolder() + "\\Temp\\Quellin";
        win::DWORD error = win::ERROR_PATH_NOT_FOUND;
        for (int attempt = 0; attempt < 64 && path_.empty(); ++attempt) {
            const std::string candidate =
                base + std::to_string(std::uniform_int_distribution<int>(0, 999999)(engine));
            if (win::CreateDirectoryA(candidate, kStagingAccess)) {
                path_ = candidate;
            } else if ((error = win::GetLastError()) != win::ERROR_ALREADY_EXISTS) {
                break;
            }
        }
        if (path_.empty()) {
            throw system::SystemError(error, "I/O error " + std::to_string(error));
        }
    }
    AdminStaging(const AdminStaging&) = delete;
    AdminStaging& operator=(const AdminStaging&) = delete;
    ~AdminStaging() { system::DeleteFolderTree(path_); }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};

// Opens a file for reading when it is one plain file of one name: never a link, a folder, a
// device or another name of some other file.
win::UniqueFileHandle OpenForReading(const std::string& path) {
    return win::OpenPlainFile(path, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING,
                              true);
}

// Removes what earlier, interrupted runs left, through handles that follow no link; a
// mask's matches in `folder` (files and links only).
void RemoveLeftovers(const std::string& folder, const std::vector<std::string>& masks) {
    std::vector<std::string> found;
    for (const std::string& mask : masks) {
        win::WIN32_FIND_DATAA data;
        win::UniqueFindHandle find(win::FindFirstFileA(folder + "\\" + mask, &data));
        for (bool more = find.valid(); more; more = win::FindNextFileA(find.get(), &data)) {
            const bool link = (data.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (link || (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
                found.push_back(folder + "\\" + data.cFileName);
            }
        }
    }
    for (const std::string& path : found) {
        win::RemoveFileOrLink(path);
    }
}

// A driver file name usable in the driver folder: both the folder's and the file's registry
// names were found.
bool Named(const driverconfig::DriverFileNames& names, const std::string& fileName) {
    return !names.queueFolderName.empty() && !fileName.empty();
}

// Both names are one plain name each, as the editors require: any other leads out of the
// driver folder.
bool PlainlyNamed(const driverconfig::DriverFileNames& names, const std::string& fileName) {
    return driverconfig::IsPlainName(names.queueFolderName) && driverconfig::IsPlainName(fileName);
}

std::string NotPlainText(const driverconfig::DriverFileNames& names, const std::string& fileName) {
    const std::string& bad =
        driverconfig::IsPlainName(names.queueFolderName) ? fileName : names.queueFolderName;
    return "\"" + bad + "\" (the printer's registry gives a path, not a plain file name)";
}

bool HasExtensionOf(const std::string& name, const std::string& model) {
    const std::size_t dot = model.rfind('.');
    return dot != std::string::npos && name.size() > model.size() - dot &&
           SameName(name.substr(name.size() - (model.size() - dot)), model.substr(dot));
}

// The archive entry that holds the driver file now named `current`: the entry of that name,
// else the one entry of that name's extension that no other role claims. An archive taken
// before a reinstall holds the description under the name it had then.
const archive::TZipEntryInfo* EntryForRole(const std::vector<archive::TZipEntryInfo>& entries,
                                           const std::string& current,
                                           const std::string& otherCurrent) {
    const archive::TZipEntryInfo* found = nullptr;
    int candidates = 0;
    for (const archive::TZipEntryInfo& entry : entries) {
        if (SameName(entry.FileName, current)) {
            return &entry;
        }
        if (!entry.FileName.empty() && !SameName(entry.FileName, otherCurrent) &&
            HasExtensionOf(entry.FileName, current) && !HasExtensionOf(entry.FileName, ".reg")) {
            found = &entry;
            ++candidates;
        }
    }
    return candidates == 1 ? found : nullptr;
}

// Extraction folders that earlier restores left in the temp folder when they were stopped:
// "PrintToPDF<digits>D<digits>". A link of that name is removed as a link, never followed.
void RemoveLeftoverExtractionFolders(std::string tempPath) {
    while (win::EndsWithBackslash(tempPath)) {
        tempPath.pop_back();
    }
    std::vector<std::pair<std::string, bool>> leftovers;
    {
        win::WIN32_FIND_DATAA data;
        win::UniqueFindHandle find(win::FindFirstFileA(tempPath + "\\PrintToPDF*", &data));
        for (bool more = find.valid(); more; more = win::FindNextFileA(find.get(), &data)) {
            const std::string name = data.cFileName;
            const std::string rest = name.substr(std::string_view("PrintToPDF").size());
            const std::size_t d = rest.find('D');
            const auto digits = [](const std::string& text) {
                return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            };
            if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                d != std::string::npos && digits(rest.substr(0, d)) && digits(rest.substr(d + 1))) {
                leftovers.emplace_back(
                    tempPath + "\\" + name,
                    (data.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0);
            }
        }
    }
    for (const auto& [folder, isLink] : leftovers) {
        if (isLink) {
            win::RemoveDirectoryA(folder);
        } else {
            system::DeleteFolderTree(folder);
        }
    }
}

// Puts `source` in place of `target` through a temporary file beside the target, so that an
// interrupted restore leaves either the old or the new file, never part of one.
bool ReplaceDriverFile(const std::string& source, const std::string& target) {
    std::string temp;
    if (win::GetTempFileNameA(FolderOf(target), "qrs", 0, &temp) == 0) {
        return false;
    }
    bool done = win::CopyFileA(source, temp, false);
    if (done) {
        // The driver file keeps its own marks, not those the archive entry carried.
        const win::DWORD old = win::GetFileAttributesA(target);
        win::SetFileAttributesA(temp, old == win::INVALID_FILE_ATTRIBUTES
                                          ? win::FILE_ATTRIBUTE_ARCHIVE
                                          : old & ~win::FILE_ATTRIBUTE_READONLY);
        done = win::MoveFileExA(temp, target,
                                win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_WRITE_THROUGH);
    }
    if (!done) {
        const win::DWORD code = win::GetLastError();
        system::ClearFileAttributes(temp);
        win::DeleteFileA(temp);
        audit::Record(audit::kFileFailed, "could not restore " + audit::Quoted(target) + ": " +
                                              win::FormatSystemMessage(code));
    } else {
        audit::Record(audit::kFileWritten, "restored " + audit::Quoted(target));
    }
    return done;
}

using archive::Fingerprint;
using archive::FingerprintOfFile;

std::string ProgramFolder() {
    return FolderOf(win::GetModuleFileNameA());
}

std::string PathTooLongText(const std::string& path, const char* what) {
    return "The path of a registry hive file would be longer than 255 characters:\r\n" + path +
           "\r\n" + what;
}

// The backup and restore privileges ask the token for no more than adjusting them needs.
constexpr win::DWORD kPrivilegeTokenAccess = win::TOKEN_ADJUST_PRIVILEGES | win::TOKEN_QUERY;

}  // namespace

bool SaveHiveFile(const std::string& keyPath, const std::string& hivePath,
                  win::DWORD wow64KeyFlag) {
    system::EnablePrivilege(win::SE_BACKUP_NAME, kPrivilegeTokenAccess);
    if (win::GetFileAttributesA(hivePath) != win::INVALID_FILE_ATTRIBUTES) {
        win::DeleteFileA(hivePath);
    }
    win::UniqueHKey key;
    if (win::RegOpenKeyExA(win::HKEY_CURRENT_USER, keyPath, 0, win::KEY_ALL_ACCESS | wow64KeyFlag,
                           key.put()) != static_cast<win::LONG>(win::ERROR_SUCCESS)) {
        return false;
    }
    return win::RegSaveKeyA(key.get(), hivePath) == static_cast<win::LONG>(win::ERROR_SUCCESS);
}

bool LoadHiveFile(const std::string& keyPath, const std::string& hivePath) {
    // RegRestoreKeyA needs the backup privilege as well as the restore privilege.
    system::EnablePrivilege(win::SE_BACKUP_NAME, kPrivilegeTokenAccess);
    system::EnablePrivilege(win::SE_RESTORE_NAME, kPrivilegeTokenAccess);
    win::UniqueHKey key;
    win::LONG rc =
        win::RegOpenKeyExA(win::HKEY_CURRENT_USER, keyPath, 0, win::KEY_ALL_ACCESS, key.put());
    if (rc == static_cast<win::LONG>(win::ERROR_SUCCESS)) {
        rc = win::RegRestoreKeyA(key.get(), hivePath, 0);
    }
    const std::string what = audit::Quoted("HKEY_CURRENT_USER\\" + keyPath);
    if (rc == static_cast<win::LONG>(win::ERROR_SUCCESS))
        audit::Record(audit::kKeyRestored, "restored the key " + what);
    else
        audit::Record(audit::kKeyFailed, "could not restore the key " + what + ": " +
                                             win::FormatSystemMessage(static_cast<win::DWORD>(rc)));
    return rc == static_cast<win::LONG>(win::ERROR_SUCCESS);
}

bool RestoreHiveFile(const std::string& keyPath, const std::string& hivePath, win::HWND owner) {
    if (!LoadHiveFile(keyPath, hivePath)) {
        win::MessageBoxA(owner, kRestoreErrorText, system::kApplicationTitle, win::MB_OK);
        return false;
    }
    return true;
}

std::string ExtractionFolderPath(const std::string& tempPath, int first, int second) {
    return tempPath + "\\PrintToPDF" + std::to_string(first) + "D" + std::to_string(second);
}

SettingsBackup::SettingsBackup() {
    Zipper1.OverwriteMode = archive::TOverwriteMode::Always;
    Zipper1.OnProcessMessages = [] { win::ProcessPendingMessages(); };
    Zipper1.OnMessage = [](const std::string& text, const std::string& caption) {
        win::MessageBoxA(0, text, caption, win::MB_OK);
    };
    OpenDialog1.FileName = "*.roy";
    Random = [engine = std::make_shared<std::mt19937>(std::random_device{}())](int upTo) {
        return std::uniform_int_distribution<int>(0, upTo)(*engine);
    };
}

SettingsPlan PlanSave(const std::string& archive, win::DWORD wow64KeyFlag) {
    SettingsPlan plan;
    plan.archive = archive;
    plan.wow64KeyFlag = wow64KeyFlag;
    plan.names = driverconfig::ReadDriverFileNames(wow64KeyFlag);
    plan.paths = driverconfig::DriverFilePathsFor(plan.names);
    return plan;
}

SettingsOutcome ExecuteSave(const SettingsPlan& plan, archive::TZipper& zipper) {
    const driverconfig::DriverFileNames& names = plan.names;
    const driverconfig::DriverFilePaths& paths = plan.paths;
    // The hives are saved elevated into a folder only administrators may open; the archive
    // is written with the user's own rights, from handles the elevated side opened.
    AdminStaging staging;
    std::vector<win::UniqueFileHandle> hiveFiles;
    // Each saved key's hive content: an existing archive keeps its own entry of that name when
    // the entry is dated no earlier than the new file, and then holds some other state.
    std::vector<std::optional<Fingerprint>> saved;
    for (const SettingsKey& key : kSettingsKeys) {
        const std::string hive = staging.File(key.entryName);
        if (hive.size() > kMaxHivePath) {
            return {SettingsResult::PathTooLong, {}, {hive}};
        }
        hiveFiles.emplace_back(SaveHiveFile(key.keyPath, hive, plan.wow64KeyFlag)
                                   ? OpenForReading(hive)
                                   : win::UniqueFileHandle());
        saved.push_back(hiveFiles.back() ? archive::FingerprintOfHandle(hiveFiles.back().get())
                                         : std::nullopt);
        win::ProcessPendingMessages();
    }

    // The two driver files, in archive order; `wanted` is false where the registry names none
    // or gives more than one plain name.
    struct DriverFile {
        std::string path;
        std::string name;
        bool wanted = false;
        const char* role = "";
        win::UniqueFileHandle file = {};
        std::optional<Fingerprint> print = std::nullopt;
    };
    DriverFile driverFiles[] = {
        {paths.mergedConfigPath, names.mergedConfigName,
         PlainlyNamed(names, names.mergedConfigName), "the printer description file"},
        {paths.deviceCapabilitiesPath, names.deviceCapabilitiesName,
         PlainlyNamed(names, names.deviceCapabilitiesName), "the device capabilities file"},
    };
    {
        system::FsRedirectionSpan span(plan.wow64KeyFlag != 0);
        for (DriverFile& file : driverFiles) {
            if (file.wanted) {
                file.file = OpenForReading(file.path);
            }
        }
    }
    // An archive entry that differs from the file on disk is replaced even when its date is
    // not older: the archive must hold what is there now.
    zipper.ReplaceChangedContent = true;
    zipper.ZipName = plan.archive;
    zipper.FilesList.clear();
    zipper.Sources.clear();
    for (std::size_t i = 0; i < hiveFiles.size(); ++i) {
        if (hiveFiles[i]) {
            zipper.Sources.push_back({kSettingsKeys[i].entryName, hiveFiles[i].get()});
        }
    }
    for (const DriverFile& file : driverFiles) {
        if (file.file) {
            zipper.Sources.push_back({NameOf(file.path), file.file.get()});
        }
    }
    zipper.Recurse = false;
    zipper.StorePaths = false;
    zipper.PackLevel = 9;
    std::vector<archive::TZipEntryInfo> entries;
    {
        // Everything in the folder the user chose is made, written, renamed and removed with
        // the user's own rights: a link put there reaches only what the user could change.
        system::UserRightsSpan asUser;
        // Hive files that earlier versions staged beside the archive and an interrupted run
        // left there.
        RemoveLeftovers(FolderOf(plan.archive), {"1.reg", "2.reg", "3.reg"});
        zipper.Zip();
        entries = zipper.ReadZipDirectory();
    }
    for (DriverFile& file : driverFiles) {
        file.print = file.file ? archive::FingerprintOfHandle(file.file.get()) : std::nullopt;
    }

    auto entryOf = [&](const std::string& name) -> const archive::TZipEntryInfo* {
        for (const archive::TZipEntryInfo& entry : entries) {
            if (SameName(entry.FileName, name) && entry.FolderName.empty()) {
                return &entry;
            }
        }
        return nullptr;
    };
    auto holds = [&](const std::string& name, const Fingerprint& print) {
        const archive::TZipEntryInfo* entry = entryOf(name);
        return entry != nullptr && entry->Crc32 == print.crc &&
               entry->UncompressedSize == print.size;
    };
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (!saved[i] || !holds(kSettingsKeys[i].entryName, *saved[i])) {
            missing.push_back(std::string("HKEY_CURRENT_USER\\") + kSettingsKeys[i].keyPath);
        }
    }
    for (const DriverFile& file : driverFiles) {
        if (!Named(names, file.name)) {
            missing.push_back(std::string(file.role) + " (the printer's registry names none)");
        } else if (!file.wanted) {
            missing.push_back(std::string(file.role) + " " + NotPlainText(names, file.name));
        } else if (!file.print || !holds(NameOf(file.path), *file.print)) {
            missing.push_back(file.path);
        }
    }

    return {missing.empty() ? SettingsResult::Complete : SettingsResult::Incomplete, {}, missing};
}

std::string ClosingText(const SettingsOutcome& outcome, bool restore) {
    switch (outcome.result) {
        case SettingsResult::Complete:
            return restore ? kRestoreSuccessText : kBackupSuccessText;
        case SettingsResult::Incomplete:
            return (restore ? "The restore is incomplete. These were not restored:"
                            : "The backup is incomplete. These were not saved:") +
                   JoinLines(outcome.notDone);
        case SettingsResult::Damaged:
            return "The archive is damaged; nothing was restored. These entries could not be "
                   "read:" +
                   JoinLines(outcome.notDone);
        case SettingsResult::PathTooLong:
            return PathTooLongText(outcome.notDone.empty() ? std::string() : outcome.notDone[0],
                                   restore ? "Nothing was restored." : "Nothing was saved.");
        default:
            return {};
    }
}

void TellOutcome(const SettingsOutcome& outcome, bool restore, win::HWND owner) {
    for (std::size_t i = 0; i < outcome.keysNotRestored.size(); ++i) {
        win::MessageBoxA(owner, kRestoreErrorText, system::kApplicationTitle, win::MB_OK);
    }
    const std::string text = ClosingText(outcome, restore);
    if (!text.empty()) {
        win::MessageBoxA(owner, text, system::kApplicationTitle, win::MB_OK);
    }
}

SettingsResult SettingsBackup::Save(const SettingsContext& context, bool printerSelected) {
    if (!system::IsAdministrator()) {
        system::ShowPermissionDenied(context.caption);
        return SettingsResult::NotAdministrator;
    }
    if (!printerSelected) {
        ShowPlain(context, system::kSelectPrinterFirst);
        return SettingsResult::NoSelection;
    }
    PanelHidden panel(context);
    if (SaveDialog1.InitialDir.empty()) {
        SaveDialog1.InitialDir = ProgramFolder();
    }
    win::FileDialogRequest request;
    request.kind = win::FileDialogRequest::Kind::Save;
    request.owner = context.owner;
    request.title = "Save As";
    request.filter = kSettingsFilter;
    request.defaultExtension = kSettingsExtension;
    request.initialDir = SaveDialog1.InitialDir;
    request.fileName = NameOf(SaveDialog1.FileName);
    request.overwritePrompt = true;
    const std::optional<std::string> chosen = win::ui().FileDialog(request);
    if (!chosen) {
        return SettingsResult::Cancelled;
    }
    SaveDialog1.FileName = *chosen;

    const SettingsOutcome outcome = ExecuteSave(PlanSave(*chosen, context.wow64KeyFlag), Zipper1);
    panel.Show();
    TellOutcome(outcome, false, context.owner);
    return outcome.result;
}

SettingsPlan PlanRestore(const std::string& archive, win::DWORD wow64KeyFlag,
                         const std::string& tempPath, int first, int second) {
    SettingsPlan plan = PlanSave(archive, wow64KeyFlag);
    plan.tempPath = tempPath;
    plan.extractionFolder = ExtractionFolderPath(tempPath, first, second);
    return plan;
}

SettingsOutcome ExecuteRestore(const SettingsPlan& plan, archive::TZipper& zipper) {
    const driverconfig::DriverFileNames& names = plan.names;
    const driverconfig::DriverFilePaths& paths = plan.paths;
    const std::string& tempPath = plan.tempPath;
    const std::string& folder = plan.extractionFolder;
    for (const SettingsKey& key : kSettingsKeys) {
        const std::string hive = folder + "\\" + key.entryName;
        if (hive.size() > kMaxHivePath) {
            return {SettingsResult::PathTooLong, {}, {hive}};
        }
    }
    // The extraction folder is made, filled and removed with the user's own rights: it lies in
    // the user's temp folder, where any process of the user could put a link in its place.
    std::optional<system::UserRightsSpan> asUser(std::in_place);
    RemoveLeftoverExtractionFolders(tempPath);
    // A folder left by an earlier, failed restore is reused, but emptied first, so that no
    // stale hive file or driver file can stand in for one the archive lacks. A link in its
    // place is removed as a link: emptying it would delete, and extracting would write, in
    // whatever folder it leads to.
    const win::DWORD existing = win::GetFileAttributesA(folder);
    if (existing != win::INVALID_FILE_ATTRIBUTES &&
        (existing & win::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if ((existing & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            if (!win::RemoveDirectoryA(folder)) {
                const win::DWORD code = win::GetLastError();
                throw system::SystemError(code, "I/O error " + std::to_string(code));
            }
        } else {
            system::DeleteFolderTree(folder);
        }
    }
    if (!IsFolder(folder) && !win::CreateDirectoryA(folder)) {
        const win::DWORD code = win::GetLastError();
        throw system::SystemError(code, "I/O error " + std::to_string(code));
    }
    FolderCleanup cleanup(folder);
    cleanup.Pin(PinFolder(folder));

    // The archive's directory decides which entry plays each driver file's role (the names may
    // have changed with a reinstall since the archive was taken): the capabilities document
    // first, then the description.
    zipper.ZipName = plan.archive;
    zipper.FilesList.clear();
    const std::vector<archive::TZipEntryInfo> entries = zipper.ReadZipDirectory();
    struct DriverFile {
        const std::string& name;
        const std::string& path;
        const char* role;
        const archive::TZipEntryInfo* entry = nullptr;
    };
    DriverFile driverFiles[] = {
        {names.deviceCapabilitiesName, paths.deviceCapabilitiesPath,
         "the device capabilities file"},
        {names.mergedConfigName, paths.mergedConfigPath, "the printer description file"},
    };
    std::vector<std::string> notRestored;
    for (DriverFile& file : driverFiles) {
        if (!Named(names, file.name)) {
            continue;
        }
        if (!PlainlyNamed(names, file.name)) {
            notRestored.push_back(std::string(file.role) + " " + NotPlainText(names, file.name));
            continue;
        }
        const std::string& other = &file.name == &names.mergedConfigName
                                       ? names.deviceCapabilitiesName
                                       : names.mergedConfigName;
        file.entry = EntryForRole(entries, file.name, other);
    }

    // Only the entries the restore uses come out, each bounded in size: the three hives and
    // the entries that play the driver files' roles. Each must come out whole (a wrong CRC,
    // an unknown method, a size past the bound or two candidates leave no file); otherwise the
    // archive is damaged and nothing is changed.
    std::vector<std::string> wanted;
    for (const SettingsKey& key : kSettingsKeys) {
        wanted.push_back(key.entryName);
    }
    for (const DriverFile& file : driverFiles) {
        if (file.entry != nullptr && archive::IsSafeFileName(file.entry->FileName)) {
            wanted.push_back(file.entry->FileName);
        }
    }
    const std::vector<std::string> unreadable = ExtractNamedEntries(zipper, wanted, folder);
    // Still with the user's rights, each extracted entry is opened through a handle that
    // follows no link and must name a plain file of one name on the extraction folder's own
    // volume: what another process of the user put in its place is not read.
    win::BY_HANDLE_FILE_INFORMATION pinned;
    const bool pinKnown = win::GetFileInformationByHandle(cleanup.Pinned(), &pinned);
    std::vector<std::pair<std::string, win::UniqueFileHandle>> extracted;
    for (const std::string& name : wanted) {
        win::UniqueFileHandle file = OpenForReading(folder + "\\" + name);
        win::BY_HANDLE_FILE_INFORMATION info;
        if (file && pinKnown && win::GetFileInformationByHandle(file.get(), &info) &&
            info.dwVolumeSerialNumber == pinned.dwVolumeSerialNumber) {
            extracted.emplace_back(name, std::move(file));
        }
    }
    asUser.reset();
    if (!unreadable.empty()) {
        // Windows removes no file another handle holds without delete sharing.
        extracted.clear();
        cleanup.Run();
        return {SettingsResult::Damaged, {}, unreadable};
    }

    // The elevated steps read only their own copies, in a folder only administrators may open.
    AdminStaging staging;
    for (auto& [name, file] : extracted) {
        win::UniqueFileHandle copy =
            win::OpenPlainFile(staging.File(name), win::GENERIC_WRITE, 0, win::CREATE_NEW, true);
        if (copy && !win::CopyFileBytes(file.get(), copy.get())) {
            copy.reset();
            win::DeleteFileA(staging.File(name));
        }
        file.reset();
    }
    cleanup.Run();

    std::vector<std::string> keysNotRestored;
    for (const SettingsKey& key : kSettingsKeys) {
        if (!LoadHiveFile(key.keyPath, staging.File(key.entryName))) {
            keysNotRestored.push_back(std::string("HKEY_CURRENT_USER\\") + key.keyPath);
            notRestored.push_back(keysNotRestored.back());
        }
        win::ProcessPendingMessages();
    }

    std::vector<std::string> filesNotRestored;
    {
        system::FsRedirectionSpan span(plan.wow64KeyFlag != 0);
        // Temporary files of restores that were stopped before they replaced a driver file.
        RemoveLeftovers(paths.queueFolder, {"qrs*.TMP"});
        for (const DriverFile& file : driverFiles) {
            if (!Named(names, file.name) || !PlainlyNamed(names, file.name)) {
                continue;  // named above, or nothing of this role on this computer
            }
            if (file.entry == nullptr) {
                filesNotRestored.push_back(file.path + " (the archive holds no entry for it)");
            } else if (!archive::IsSafeFileName(file.entry->FileName) ||
                       !IsFile(staging.File(file.entry->FileName))) {
                filesNotRestored.push_back(file.path + " (the archive's entry \"" +
                                           file.entry->FullName() + "\" cannot be used)");
            } else if (!ReplaceDriverFile(staging.File(file.entry->FileName), file.path)) {
                filesNotRestored.push_back(file.path);
            }
        }
    }
    // Entries this machine's printer has no place for.
    for (const archive::TZipEntryInfo& entry : entries) {
        if (entry.FileName.empty()) {
            continue;
        }
        bool placed = false;
        for (const SettingsKey& key : kSettingsKeys) {
            placed = placed || SameName(entry.FileName, key.entryName);
        }
        for (const DriverFile& file : driverFiles) {
            placed = placed || &entry == file.entry;
        }
        if (!placed) {
            notRestored.push_back(entry.FileName +
                                  " (no driver file of this name on this computer)");
        }
    }
    notRestored.insert(notRestored.end(), filesNotRestored.begin(), filesNotRestored.end());

    return {notRestored.empty() ? SettingsResult::Complete : SettingsResult::Incomplete,
            keysNotRestored, notRestored};
}

RestorePreview PreviewRestore(const SettingsPlan& plan, archive::TZipper& zipper) {
    system::UserRightsSpan asUser;
    zipper.ZipName = plan.archive;
    zipper.FilesList.clear();
    const std::vector<archive::TZipEntryInfo> entries = zipper.ReadZipDirectory();
    RestorePreview preview;
    preview.entryCount = entries.size();
    std::vector<std::string> wanted;
    for (const SettingsKey& key : kSettingsKeys) {
        wanted.push_back(key.entryName);
        if (std::any_of(entries.begin(), entries.end(), [&](const archive::TZipEntryInfo& entry) {
                return SameName(entry.FileName, key.entryName);
            })) {
            preview.keys.push_back(std::string("HKEY_CURRENT_USER\\") + key.keyPath);
        }
    }
    const driverconfig::DriverFileNames& names = plan.names;
    const std::pair<const std::string&, const std::string&> roles[] = {
        {names.deviceCapabilitiesName, plan.paths.deviceCapabilitiesPath},
        {names.mergedConfigName, plan.paths.mergedConfigPath},
    };
    for (const auto& [name, path] : roles) {
        if (!Named(names, name) || !PlainlyNamed(names, name)) {
            continue;
        }
        const std::string& other = &name == &names.mergedConfigName ? names.deviceCapabilitiesName
                                                                    : names.mergedConfigName;
        const archive::TZipEntryInfo* entry = EntryForRole(entries, name, other);
        if (entry != nullptr && archive::IsSafeFileName(entry->FileName)) {
            wanted.push_back(entry->FileName);
            preview.files.push_back(path);
        }
    }
    preview.unreadable = CheckNamedEntries(zipper, wanted);
    return preview;
}

SettingsResult SettingsBackup::Restore(const SettingsContext& context) {
    if (!system::IsAdministrator()) {
        system::ShowPermissionDenied(context.caption);
        return SettingsResult::NotAdministrator;
    }
    PanelHidden panel(context);
    if (OpenDialog1.InitialDir.empty()) {
        OpenDialog1.InitialDir =
            SaveDialog1.FileName.empty() ? ProgramFolder() : FolderOf(SaveDialog1.FileName);
    }
    win::FileDialogRequest request;
    request.kind = win::FileDialogRequest::Kind::Open;
    request.owner = context.owner;
    request.title = "Open";
    request.filter = kSettingsFilter;
    request.defaultExtension = kSettingsExtension;
    request.initialDir = OpenDialog1.InitialDir;
    request.fileName = NameOf(OpenDialog1.FileName);
    const std::optional<std::string> chosen = win::ui().FileDialog(request);
    if (!chosen) {
        return SettingsResult::Cancelled;
    }
    OpenDialog1.FileName = *chosen;

    const std::string tempPath = system::GetTempPathText();
    if (tempPath.empty()) {
        throw system::SystemError(win::ERROR_PATH_NOT_FOUND,
                                  "I/O error " + std::to_string(win::ERROR_PATH_NOT_FOUND));
    }
    const int first = Random(2004);
    const int second = Random(5999);
    const SettingsOutcome outcome = ExecuteRestore(
        PlanRestore(*chosen, context.wow64KeyFlag, tempPath, first, second), Zipper1);
    panel.Show();
    TellOutcome(outcome, true, context.owner);
    return outcome.result;
}

}  // namespace quellin::backup
