#include "backup/settings_backup.h"

#include <memory>
#include <optional>
#include <random>
#include <utility>

#include "archive/crc32.h"
#include "backup/restore_extract.h"
#include "driverconfig/driver_files.h"
#include "platform/filesystem.h"
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

// Removes the save's hive files from the staging folder on every way out.
class HiveFilesCleanup {
  public:
    explicit HiveFilesCleanup(const std::vector<std::string>& files) : files_(files) {}
    HiveFilesCleanup(const HiveFilesCleanup&) = delete;
    HiveFilesCleanup& operator=(const HiveFilesCleanup&) = delete;
    ~HiveFilesCleanup() { Run(); }
    void Run() {
        for (const std::string& file : std::exchange(files_, {})) {
            if (IsFile(file)) {
                win::DeleteFileA(file);
            }
        }
    }

  private:
    std::vector<std::string> files_;
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
        system::ClearFileAttributes(temp);
        win::DeleteFileA(temp);
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

bool RestoreHiveFile(const std::string& keyPath, const std::string& hivePath, win::HWND owner) {
    system::EnablePrivilege(win::SE_RESTORE_NAME, kPrivilegeTokenAccess);
    win::UniqueHKey key;
    win::LONG rc =
        win::RegOpenKeyExA(win::HKEY_CURRENT_USER, keyPath, 0, win::KEY_ALL_ACCESS, key.put());
    if (rc == static_cast<win::LONG>(win::ERROR_SUCCESS)) {
        rc = win::RegRestoreKeyA(key.get(), hivePath, 0);
    }
    if (rc != static_cast<win::LONG>(win::ERROR_SUCCESS)) {
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

SettingsResult SettingsBackup::Save(const SettingsContext& context, bool printerSelected) {
    if (!system::IsAdministrator()) {
        system::ShowPermissionDenied(context.caption);
        return SettingsResult::NotAdministrator;
    }
    if (!printerSelected) {
        ShowPlain(context, system::kSelectPrinterFirst);
        return SettingsResult::NoSelection;
    }
    const driverconfig::DriverFileNames names =
        driverconfig::ReadDriverFileNames(context.wow64KeyFlag);
    const driverconfig::DriverFilePaths paths = driverconfig::DriverFilePathsFor(names);

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

    const std::string staging = FolderOf(*chosen);
    std::vector<std::string> hives;
    for (const SettingsKey& key : kSettingsKeys) {
        hives.push_back(staging + "\\" + key.entryName);
        if (hives.back().size() > kMaxHivePath) {
            panel.Show();
            ShowPlain(context, PathTooLongText(hives.back(), "Nothing was saved."));
            return SettingsResult::PathTooLong;
        }
    }

    HiveFilesCleanup cleanup(hives);
    // Each saved key's hive content: an existing archive keeps its own entry of that name when
    // the entry is dated no earlier than the new file, and then holds some other state.
    std::vector<std::optional<Fingerprint>> saved;
    for (std::size_t i = 0; i < hives.size(); ++i) {
        saved.push_back(SaveHiveFile(kSettingsKeys[i].keyPath, hives[i], context.wow64KeyFlag)
                            ? FingerprintOfFile(hives[i])
                            : std::nullopt);
        win::ProcessPendingMessages();
    }

    // The two driver files, in archive order; `wanted` is false where the registry names none
    // or gives more than one plain name.
    struct DriverFile {
        std::string path;
        std::string name;
        bool wanted = false;
        bool exists = false;
        const char* role = "";
        std::optional<Fingerprint> print = std::nullopt;
    };
    std::vector<DriverFile> driverFiles = {
        {paths.mergedConfigPath, names.mergedConfigName,
         PlainlyNamed(names, names.mergedConfigName), false, "the printer description file"},
        {paths.deviceCapabilitiesPath, names.deviceCapabilitiesName,
         PlainlyNamed(names, names.deviceCapabilitiesName), false, "the device capabilities file"},
    };
    // An archive entry that differs from the file on disk is replaced even when its date is
    // not older: the archive must hold what is there now.
    Zipper1.ReplaceChangedContent = true;
    std::vector<archive::TZipEntryInfo> entries;
    {
        system::FsRedirectionSpan span(context.wow64KeyFlag != 0);
        // The zip pumps messages and may show a box: those run with redirection on.
        const auto pump = Zipper1.OnProcessMessages;
        const auto message = Zipper1.OnMessage;
        if (pump)
            Zipper1.OnProcessMessages = [&] { span.WithRedirectionOn(pump); };
        if (message)
            Zipper1.OnMessage = [&](const std::string& text, const std::string& caption) {
                span.WithRedirectionOn([&] { message(text, caption); });
            };
        struct Restore {
            archive::TZipper& zipper;
            std::function<void()> pump;
            std::function<void(const std::string&, const std::string&)> message;
            ~Restore() {
                zipper.OnProcessMessages = pump;
                zipper.OnMessage = message;
            }
        } restore{Zipper1, pump, message};
        Zipper1.ZipName = *chosen;
        Zipper1.FilesList = hives;
        for (DriverFile& file : driverFiles) {
            file.exists = file.wanted && IsFile(file.path);
            if (file.exists) {
                Zipper1.FilesList.push_back(file.path);
            }
        }
        Zipper1.Recurse = false;
        Zipper1.StorePaths = false;
        Zipper1.PackLevel = 9;
        Zipper1.Zip();
        entries = Zipper1.ReadZipDirectory();
        for (DriverFile& file : driverFiles) {
            file.print = file.exists ? FingerprintOfFile(file.path) : std::nullopt;
        }
    }
    cleanup.Run();

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
    for (std::size_t i = 0; i < hives.size(); ++i) {
        if (!saved[i] || !holds(kSettingsKeys[i].entryName, *saved[i])) {
            missing.push_back(std::string("HKEY_CURRENT_USER\\") + kSettingsKeys[i].keyPath);
        }
    }
    for (const DriverFile& file : driverFiles) {
        if (!Named(names, file.name)) {
            missing.push_back(std::string(file.role) + " (the printer's registry names none)");
        } else if (!file.wanted) {
            missing.push_back(std::string(file.role) + " " + NotPlainText(names, file.name));
        } else if (!file.exists || !file.print || !holds(NameOf(file.path), *file.print)) {
            missing.push_back(file.path);
        }
    }

    panel.Show();
    if (missing.empty()) {
        ShowPlain(context, kBackupSuccessText);
        return SettingsResult::Complete;
    }
    ShowPlain(context, "The backup is incomplete. These were not saved:" + JoinLines(missing));
    return SettingsResult::Incomplete;
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

    const driverconfig::DriverFileNames names =
        driverconfig::ReadDriverFileNames(context.wow64KeyFlag);
    const driverconfig::DriverFilePaths paths = driverconfig::DriverFilePathsFor(names);

    const std::string tempPath = system::GetTempPathText();
    if (tempPath.empty()) {
        throw system::SystemError(win::ERROR_PATH_NOT_FOUND,
                                  "I/O error " + std::to_string(win::ERROR_PATH_NOT_FOUND));
    }
    const int first = Random(2004);
    const int second = Random(5999);
    const std::string folder = ExtractionFolderPath(tempPath, first, second);
    for (const SettingsKey& key : kSettingsKeys) {
        const std::string hive = folder + "\\" + key.entryName;
        if (hive.size() > kMaxHivePath) {
            panel.Show();
            ShowPlain(context, PathTooLongText(hive, "Nothing was restored."));
            return SettingsResult::PathTooLong;
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
    Zipper1.ZipName = *chosen;
    Zipper1.FilesList.clear();
    const std::vector<archive::TZipEntryInfo> entries = Zipper1.ReadZipDirectory();
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
    const std::vector<std::string> unreadable = ExtractNamedEntries(Zipper1, wanted, folder);
    asUser.reset();
    if (!unreadable.empty()) {
        cleanup.Run();
        panel.Show();
        ShowPlain(context,
                  "The archive is damaged; nothing was restored. These entries could not be read:" +
                      JoinLines(unreadable));
        return SettingsResult::Damaged;
    }

    for (const SettingsKey& key : kSettingsKeys) {
        if (!RestoreHiveFile(key.keyPath, folder + "\\" + key.entryName, context.owner)) {
            notRestored.push_back(std::string("HKEY_CURRENT_USER\\") + key.keyPath);
        }
        win::ProcessPendingMessages();
    }

    {
        system::FsRedirectionSpan span(context.wow64KeyFlag != 0);
        for (const DriverFile& file : driverFiles) {
            if (file.entry == nullptr) {
                continue;
            }
            const std::string extracted = folder + "\\" + file.entry->FileName;
            if (IsFile(extracted) && !ReplaceDriverFile(extracted, file.path)) {
                notRestored.push_back(file.path);
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

    cleanup.Run();
    panel.Show();
    if (notRestored.empty()) {
        ShowPlain(context, kRestoreSuccessText);
        return SettingsResult::Complete;
    }
    ShowPlain(context,
              "The restore is incomplete. These were not restored:" + JoinLines(notRestored));
    return SettingsResult::Incomplete;
}

}  // namespace quellin::backup
