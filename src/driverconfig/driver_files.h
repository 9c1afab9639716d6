// Finding, reading and rewriting the driver files of "Microsoft Print to PDF": the queue's
// merged description, its capabilities document and the spooler's compiled cache.
//
// Every existence test, read, write and delete here runs with file-system redirection off when
// the program runs under 64-bit Windows, and switches it back on before returning.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driverconfig/feature_writer.h"
#include "platform/types.h"

namespace quellin::driverconfig {

// The main window's values the driver files need.
struct DriverContext {
    win::DWORD wow64KeyFlag = 0;  // 256 under 64-bit Windows: the 64-bit registry view, and
                                  // redirection off around file work
    win::HWND owner = 0;          // owner of the message boxes
};

// The three registry names, empty where a key or value is missing.
struct DriverFileNames {
    std::string queueFolderName;
    std::string mergedConfigName;
    std::string deviceCapabilitiesName;
};

// Windows paths without trailing separators.
struct DriverFilePaths {
    std::string spoolFolder;
    std::string queueFolder;
    std::string mergedConfigPath;
    std::string deviceCapabilitiesPath;
    std::string cachePath;
    std::string mergedCopyPath;
};

inline constexpr const char* kPrinterKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Microsoft Print to PDF";
inline constexpr const char* kPrinterDriverDataKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Microsoft Print to "
    "PDF\\PrinterDriverData";
// The values that name the driver files: the queue folder under kPrinterKey, the two file
// names under kPrinterDriverDataKey.
inline constexpr const char* kQueueFolderValue = "PrintQueueV4DriverDirectory";
inline constexpr const char* kMergedConfigValue = "V4_Merged_ConfigFile_Name";
inline constexpr const char* kDeviceCapabilitiesValue = "V4_PrintDeviceCapabilities";

inline constexpr const char* kNamesMissingText =
    "Microsoft Print to PDF is corrupted. Please reinstall it.";
inline constexpr const char* kFilesMissingText =
    "Microsoft Print to PDF is corrupted. You need to reinstall it.";

DriverFileNames ReadDriverFileNames(win::DWORD wow64KeyFlag);

// The paths built from the names below the given Windows folder.
DriverFilePaths BuildDriverFilePaths(const DriverFileNames& names,
                                     const std::string& windowsFolder);

// The paths below the Windows folder as the system gives it.
DriverFilePaths DriverFilePathsFor(const DriverFileNames& names);

// True when `name` is one plain file or folder name; any other would reach files outside the
// queue's folder.
bool IsPlainName(const std::string& name);

// True when the folder and description names are each one plain name, and so is the
// capabilities name when there is one: other names would lead out of the queue's folder.
bool HasPlainNames(const DriverFileNames& names);

// The driver's paths, or nullopt after showing why the command cannot go on: the permission
// refusal, or one of the two "corrupted" messages. The capabilities document is not tested,
// but none of the three names may be more than one plain name (a path would lead the editors
// out of the queue's folder).
std::optional<DriverFilePaths> LocateDriverFiles(const DriverContext& context);

// True when `path` names a file (not a folder).
bool FileExists(const std::string& path, win::DWORD wow64KeyFlag);

// The working text of a file. Raises quellin::system::SystemError when it cannot be read.
// `cutShort`, when given, tells whether a NUL byte ended the text before the file's end.
std::string ReadWorkingText(const std::string& path, win::DWORD wow64KeyFlag,
                            bool* cutShort = nullptr);

// "<folder>\~<name>": where a file is written before it replaces `path`.
std::string TemporaryPathFor(const std::string& path);

// Replaces the file with exactly `text`: the bytes go to a temporary file in the same folder,
// which then replaces the old file, so a failed write leaves the old file whole. Raises
// quellin::system::SystemError on failure.
void WriteWholeFile(const std::string& path, std::string_view text, win::DWORD wow64KeyFlag);

// Deletes the compiled cache and any "merged.gpd" copy so the spooler rebuilds its cache. A
// failed deletion is ignored. Never deletes the description or the capabilities document,
// should the registry name one of them like a cache file.
void InvalidateDriverCache(const DriverFilePaths& paths, win::DWORD wow64KeyFlag);

// What a rewrite would write, decided from the files as they are and before anything is
// written: the new texts, or the refusal (a NUL byte that ends a file's text early, a file
// lacking its part, a description the new feature cannot be read back from) and its message.
// The real rewrite and any foresight of it ("--check") share this one decision.
struct RewritePlan {
    RewrittenTexts texts;
    std::string refusal;  // the message of a refusal; empty when the rewrite can go ahead
};
RewritePlan PlanDriverRewrite(const DriverFilePaths& paths, const FeatureReplacement& replacement,
                              win::DWORD wow64KeyFlag,
                              const std::string* descriptionText = nullptr);

// Rewrites the feature in the description and then the element in the capabilities document,
// deleting the compiled cache in between. A file whose text a NUL byte ends early is refused
// by name, as what follows the NUL would be lost; leftover temporary files of both are removed
// before writing. Both files are read and cut before either is written, so that a file lacking its
// part refuses the whole change (with a message box titled with the application's title) instead of
// leaving a file that holds only the new feature, or one file changed and the other not. The
// description is cut with CutFeature; `descriptionText`, when given, is its working text as the
// command read it when it began (the editors cut the new feature into what their dialog was filled
// from), else it is read.
ReplaceResult ReplaceDriverFeature(const DriverFilePaths& paths,
                                   const FeatureReplacement& replacement,
                                   const DriverContext& context,
                                   const std::string* descriptionText = nullptr);

}  // namespace quellin::driverconfig
