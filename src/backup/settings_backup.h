// Saving the printer's settings to a settings archive (*.roy) and restoring them from one: the
// current user's three printer-settings keys as registry hive files, and the driver's merged
// description and capabilities document, all in one ZIP archive.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/zipper.h"
#include "driverconfig/driver_files.h"
#include "platform/types.h"

namespace quellin::backup {

// The keys below HKEY_CURRENT_USER and their hive files, in the order in which they are
// saved, added to the archive and restored.
struct SettingsKey {
    const char* keyPath;
    const char* entryName;
};
inline constexpr SettingsKey kSettingsKeys[] = {
    {"Printers\\DevModePerUser", "1.reg"},
    {"Printers\\DevModes2", "2.reg"},
    {"Printers\\Settings", "3.reg"},
};

inline constexpr const char* kSettingsFilter = "Printer Settings (*.roy)|*.roy";
inline constexpr const char* kSettingsExtension = "roy";
inline constexpr const char* kBackupSuccessText = "Backup success!";
inline constexpr const char* kRestoreSuccessText = "Restore success!";
inline constexpr const char* kRestoreErrorText = "RESTORE ERROR!";

// The hive file path goes to the registry in a buffer of 256 bytes.
inline constexpr std::size_t kMaxHivePath = 255;

// Saves one key of kSettingsKeys to a new hive file, replacing an old file of that name; the
// 64-bit registry view is used when `wow64KeyFlag` says so. True when the file was written.
bool SaveHiveFile(const std::string& keyPath, const std::string& hivePath, win::DWORD wow64KeyFlag);

// Replaces the key's whole tree with the hive file's content. The key is opened, never
// created. False on failure.
bool LoadHiveFile(const std::string& keyPath, const std::string& hivePath);
// LoadHiveFile that shows "RESTORE ERROR!" (owned by `owner`) on failure.
bool RestoreHiveFile(const std::string& keyPath, const std::string& hivePath, win::HWND owner);

// "<tempPath>\PrintToPDF<first>D<second>": `tempPath` as GetTempPathA gives it, with its
// trailing backslash, so the joined path holds two backslashes in a row.
std::string ExtractionFolderPath(const std::string& tempPath, int first, int second);

// What a common file dialog keeps between uses.
struct FileDialogState {
    std::string InitialDir;
    std::string FileName;
};

// The main window's values the two commands need.
struct SettingsContext {
    win::DWORD wow64KeyFlag = 0;  // 256 under 64-bit Windows
    win::HWND owner = 0;          // owner of the message boxes and dialogs
    std::string caption;          // the main window's caption, title of the refusal box
    // Hides (false) and shows (true) the main window's button panel.
    std::function<void(bool visible)> showPanel;
};

enum class SettingsResult {
    NotAdministrator,
    NoSelection,
    Cancelled,
    PathTooLong,
    Complete,    // "Backup success!" / "Restore success!"
    Incomplete,  // something named in the closing box was not saved or not restored
    Damaged,     // restore: an entry could not be read; nothing was restored
};

// ---- Decide, then act, then tell: the window and the command line drive the same steps.

// What a save or restore acts on: the archive and the driver files that the registry names;
// for a restore also the temp folder and the extraction folder in it.
struct SettingsPlan {
    std::string archive;
    win::DWORD wow64KeyFlag = 0;
    driverconfig::DriverFileNames names;
    driverconfig::DriverFilePaths paths;
    std::string tempPath;
    std::string extractionFolder;
};
SettingsPlan PlanSave(const std::string& archive, win::DWORD wow64KeyFlag);
// `tempPath` as GetTempPathA gives it; the two draws name the extraction folder.
SettingsPlan PlanRestore(const std::string& archive, win::DWORD wow64KeyFlag,
                         const std::string& tempPath, int first, int second);

// What became of a save or restore: Complete, Incomplete, PathTooLong (`notDone` holds the
// path) or Damaged (`notDone` holds the unreadable entries), and each item not done, named.
struct SettingsOutcome {
    SettingsResult result = SettingsResult::Complete;
    std::vector<std::string> keysNotRestored;  // restore: one "RESTORE ERROR!" box each
    std::vector<std::string> notDone;
};

// Save: the keys into a fresh folder only administrators may open, then the archive written
// with the user's own rights from handles to them and to the driver files. Archive errors
// propagate; the staging folder is gone either way.
SettingsOutcome ExecuteSave(const SettingsPlan& plan, archive::TZipper& zipper);
// Restore: extracts with the user's own rights, copies each entry through a checked handle
// into a fresh folder only administrators may open, and only when every entry could be read
// restores the keys and replaces the driver files from there. Archive errors propagate; the
// registry and driver files are then untouched.
SettingsOutcome ExecuteRestore(const SettingsPlan& plan, archive::TZipper& zipper);

// What a restore from the plan's archive would replace, judged from the archive with the
// user's own rights and without writing anything: the keys whose hive it holds, the driver
// files it holds an entry for, and the entries that cannot be used (any one of them makes
// the restore change nothing). Archive errors propagate as from ExecuteRestore.
struct RestorePreview {
    std::size_t entryCount = 0;
    std::vector<std::string> keys;  // "HKEY_CURRENT_USER\\Printers\\..."
    std::vector<std::string> files;
    std::vector<std::string> unreadable;
};
RestorePreview PreviewRestore(const SettingsPlan& plan, archive::TZipper& zipper);

// The closing box's text (empty for a result that has none).
std::string ClosingText(const SettingsOutcome& outcome, bool restore);
// The boxes: "RESTORE ERROR!" for each key not restored, then the closing box.
void TellOutcome(const SettingsOutcome& outcome, bool restore, win::HWND owner);

// The two commands with what lasts between them for the whole run: the archive component and
// the two file dialogs' folders and file names.
class SettingsBackup {
  public:
    SettingsBackup();

    // Save: asks for an archive file and writes the keys and driver files into it (updating
    // an existing archive in place). `printerSelected`: whether the printer list has a
    // selection. Archive errors propagate after the panel, redirection and hive files have
    // been put right.
    SettingsResult Save(const SettingsContext& context, bool printerSelected);

    // Restore: asks for an archive, extracts it into a fresh folder in the temp folder, and
    // only when every entry could be read restores the keys and copies the driver files
    // back. Archive errors propagate after the panel and the extraction folder have been put
    // right; the registry and driver files are then untouched.
    SettingsResult Restore(const SettingsContext& context);

    archive::TZipper Zipper1;
    FileDialogState SaveDialog1;
    FileDialogState OpenDialog1;
    // Draws a pseudo-random integer in 0..upTo; replaceable so tests can name the folder.
    std::function<int(int upTo)> Random;
};

}  // namespace quellin::backup
