#include "driverconfig/driver_files.h"

#include <algorithm>
#include <vector>

#include "audit/audit.h"
#include "driverconfig/text_model.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "system/admin.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/redirection.h"
#include "system/system_commands.h"

namespace quellin::driverconfig {

namespace {

// Reads and writes go in pieces a DWORD can count.
constexpr win::DWORD kChunk = 1 << 20;

std::string ReadHklmString(const char* key, const char* value, win::DWORD wow64KeyFlag) {
    win::UniqueHKey hkey;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, key, 0, win::KEY_READ | wow64KeyFlag,
                           hkey.put()) != static_cast<win::LONG>(win::ERROR_SUCCESS)) {
        return "";
    }
    win::DWORD type = 0;
    win::DWORD size = 0;
    win::LONG rc = win::RegQueryValueExA(hkey.get(), value, &type, nullptr, &size);
    // A value that is not a string names no file.
    if (rc != static_cast<win::LONG>(win::ERROR_SUCCESS) ||
        (type != win::REG_SZ && type != win::REG_EXPAND_SZ)) {
        return "";
    }
    std::vector<win::BYTE> data;
    // The value may grow between the two calls; ask again with the new size.
    for (int attempt = 0; attempt < 4; ++attempt) {
        data.resize(size);
        rc = win::RegQueryValueExA(hkey.get(), value, &type, data.data(), &size);
        if (rc != static_cast<win::LONG>(win::ERROR_MORE_DATA)) {
            break;
        }
    }
    if (rc != static_cast<win::LONG>(win::ERROR_SUCCESS) ||
        (type != win::REG_SZ && type != win::REG_EXPAND_SZ)) {
        return "";
    }
    std::string text(data.begin(), data.begin() + std::min<std::size_t>(size, data.size()));
    std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

std::string WithExtension(const std::string& path, const std::string& extension) {
    const std::string name = win::NameOf(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return path + extension;
    }
    return path.substr(0, path.size() - name.size() + dot) + extension;
}

[[noreturn]] void RaiseFileError(const char* action, const std::string& path, win::DWORD code) {
    throw quellin::system::SystemError(
        code, std::string(action) + " \"" + path + "\". " + win::FormatSystemMessage(code));
}

win::DWORD AttributesOf(const std::string& path) {
    return win::GetFileAttributesA(path);
}

bool IsFile(win::DWORD attributes) {
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(win::DWORD attributes) {
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ShowPlainMessage(const DriverContext& context, const std::string& text) {
    win::MessageBoxA(context.owner, text, quellin::system::kApplicationTitle, win::MB_OK);
}

}  // namespace

DriverFileNames ReadDriverFileNames(win::DWORD wow64KeyFlag) {
    DriverFileNames names;
    names.queueFolderName = ReadHklmString(kPrinterKey, kQueueFolderValue, wow64KeyFlag);
    names.mergedConfigName =
        ReadHklmString(kPrinterDriverDataKey, kMergedConfigValue, wow64KeyFlag);
    names.deviceCapabilitiesName =
        ReadHklmString(kPrinterDriverDataKey, kDeviceCapabilitiesValue, wow64KeyFlag);
    return names;
}

DriverFilePaths BuildDriverFilePaths(const DriverFileNames& names,
                                     const std::string& windowsFolder) {
    DriverFilePaths paths;
    paths.spoolFolder = windowsFolder + "\\system32\\spool";
    paths.queueFolder = paths.spoolFolder + "\\V4Dirs\\" + names.queueFolderName;
    paths.mergedConfigPath = paths.queueFolder + "\\" + names.mergedConfigName;
    std::string folder = win::FolderOf(paths.mergedConfigPath);
    paths.deviceCapabilitiesPath = folder + "\\" + names.deviceCapabilitiesName;
    paths.cachePath = WithExtension(paths.mergedConfigPath, ".BUD");
    paths.mergedCopyPath = folder + "\\merged.gpd";
    return paths;
}

DriverFilePaths DriverFilePathsFor(const DriverFileNames& names) {
    return BuildDriverFilePaths(names, quellin::system::GetWindowsFolder());
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && !win::HasPathSeparator(name);
}

bool HasPlainNames(const DriverFileNames& names) {
    return IsPlainName(names.queueFolderName) && IsPlainName(names.mergedConfigName) &&
           (names.deviceCapabilitiesName.empty() || IsPlainName(names.deviceCapabilitiesName));
}

std::optional<DriverFilePaths> LocateDriverFiles(const DriverContext& context) {
    if (!quellin::system::IsAdministrator()) {
        quellin::system::ShowPermissionDenied(quellin::system::kMainCaption);
        return std::nullopt;
    }
    DriverFileNames names = ReadDriverFileNames(context.wow64KeyFlag);
    if (names.queueFolderName.empty() || names.mergedConfigName.empty()) {
        ShowPlainMessage(context, kNamesMissingText);
        return std::nullopt;
    }
    if (!HasPlainNames(names)) {
        ShowPlainMessage(context, kFilesMissingText);
        return std::nullopt;
    }
    DriverFilePaths paths = DriverFilePathsFor(names);
    bool present = false;
    {
        quellin::system::FsRedirectionSpan span(context.wow64KeyFlag != 0);
        present = IsFolder(AttributesOf(paths.queueFolder)) &&
                  IsFile(AttributesOf(paths.mergedConfigPath));
    }
    if (!present) {
        ShowPlainMessage(context, kFilesMissingText);
        return std::nullopt;
    }
    return paths;
}

bool FileExists(const std::string& path, win::DWORD wow64KeyFlag) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    return IsFile(AttributesOf(path));
}

std::string ReadWorkingText(const std::string& path, win::DWORD wow64KeyFlag, bool* cutShort) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    bool opened = false;
    const std::optional<std::string> read = quellin::system::ReadWholeFile(path, &opened);
    if (!read) {
        RaiseFileError(opened ? "Cannot read file" : "Cannot open file", path, win::GetLastError());
    }
    const std::string& bytes = *read;
    if (cutShort != nullptr) {
        *cutShort = bytes.find('\0') != std::string::npos;
    }
    return WorkingTextFromBytes(bytes);
}

std::string TemporaryPathFor(const std::string& path) {
    return win::JoinPath(win::FolderOf(path), std::string("~").append(win::NameOf(path)));
}

void WriteWholeFile(const std::string& path, std::string_view text, win::DWORD wow64KeyFlag) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    // The temporary file keeps the target's extension, beside it, so that the final replace
    // stays within one folder and one volume.
    const std::string temp = TemporaryPathFor(path);
    win::DWORD failure = win::ERROR_SUCCESS;
    {
        win::UniqueFileHandle file(win::CreateFileA(temp, win::GENERIC_WRITE, 0, win::CREATE_ALWAYS,
                                                    win::FILE_ATTRIBUTE_NORMAL));
        if (!file) {
            const win::DWORD code = win::GetLastError();
            audit::Record(audit::kFileFailed, "could not write " + audit::Quoted(path) + ": " +
                                                  win::FormatSystemMessage(code));
            RaiseFileError("Cannot create file", path, code);
        }
        std::size_t done = 0;
        while (done < text.size() && failure == win::ERROR_SUCCESS) {
            win::DWORD piece =
                static_cast<win::DWORD>(std::min<std::size_t>(kChunk, text.size() - done));
            win::DWORD written = 0;
            if (!win::WriteFile(file.get(), text.data() + done, piece, &written)) {
                failure = win::GetLastError();
            } else if (written != piece) {
                failure = win::ERROR_WRITE_FAULT;
            }
            done += written;
        }
        if (failure == win::ERROR_SUCCESS && !win::FlushFileBuffers(file.get())) {
            failure = win::GetLastError();
        }
    }
    if (failure == win::ERROR_SUCCESS &&
        !win::MoveFileExA(temp, path,
                          win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_WRITE_THROUGH)) {
        failure = win::GetLastError();
    }
    if (failure != win::ERROR_SUCCESS) {
        win::DeleteFileA(temp);
        audit::Record(audit::kFileFailed, "could not write " + audit::Quoted(path) + ": " +
                                              win::FormatSystemMessage(failure));
        RaiseFileError("Cannot write file", path, failure);
    }
    audit::Record(audit::kFileWritten, "wrote " + audit::Quoted(path));
}

void InvalidateDriverCache(const DriverFilePaths& paths, win::DWORD wow64KeyFlag) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    for (const std::string* target : {&paths.cachePath, &paths.mergedCopyPath}) {
        if (win::SameName(*target, paths.mergedConfigPath) ||
            win::SameName(*target, paths.deviceCapabilitiesPath)) {
            continue;
        }
        if (IsFile(AttributesOf(*target))) {
            if (win::DeleteFileA(*target))
                audit::Record(audit::kFileDeleted, "deleted " + audit::Quoted(*target));
            else
                audit::Record(audit::kFileFailed,
                              "could not delete " + audit::Quoted(*target) + ": " +
                                  win::FormatSystemMessage(win::GetLastError()));
        }
    }
}

RewritePlan PlanDriverRewrite(const DriverFilePaths& paths, const FeatureReplacement& replacement,
                              win::DWORD wow64KeyFlag, const std::string* descriptionText) {
    RewritePlan plan;
    bool cutShort = false;
    std::string description = ReadWorkingText(paths.mergedConfigPath, wow64KeyFlag, &cutShort);
    if (cutShort) {
        plan.texts.result = ReplaceResult::TextCutShort;
        plan.refusal = TextCutShortText(paths.mergedConfigPath);
        return plan;
    }
    if (descriptionText != nullptr) {
        description = *descriptionText;
    }
    std::optional<std::string> capabilities;
    if (FileExists(paths.deviceCapabilitiesPath, wow64KeyFlag)) {
        capabilities = ReadWorkingText(paths.deviceCapabilitiesPath, wow64KeyFlag, &cutShort);
        if (cutShort) {
            plan.texts.result = ReplaceResult::TextCutShort;
            plan.refusal = TextCutShortText(paths.deviceCapabilitiesPath);
            return plan;
        }
    }
    plan.texts = RewriteDriverTexts(description, capabilities, replacement);
    switch (plan.texts.result) {
        case ReplaceResult::NoFeatureBlock:
            plan.refusal = NoFeatureBlockText(replacement.featureLabel);
            break;
        case ReplaceResult::NoCapabilityElement:
            plan.refusal = NoCapabilityElementText(replacement.elementLabel);
            break;
        case ReplaceResult::Unreadable:
            plan.refusal = UnreadableText(paths.mergedConfigPath, plan.texts.found);
            break;
        default:
            break;
    }
    return plan;
}

ReplaceResult ReplaceDriverFeature(const DriverFilePaths& paths,
                                   const FeatureReplacement& replacement,
                                   const DriverContext& context,
                                   const std::string* descriptionText) {
    const win::DWORD flag = context.wow64KeyFlag;
    const RewritePlan plan = PlanDriverRewrite(paths, replacement, flag, descriptionText);
    if (!plan.refusal.empty()) {
        ShowPlainMessage(context, plan.refusal);
        return plan.texts.result;
    }
    const RewrittenTexts& texts = plan.texts;
    {
        // Temporary files an interrupted save left behind are cleared before anything is
        // written, so that none outlives the next save.
        quellin::system::FsRedirectionSpan span(flag != 0);
        for (const std::string* target : {&paths.mergedConfigPath, &paths.deviceCapabilitiesPath}) {
            const std::string temp = TemporaryPathFor(*target);
            if (IsFile(AttributesOf(temp))) {
                win::DeleteFileA(temp);
            }
        }
    }
    WriteWholeFile(paths.mergedConfigPath, texts.description, flag);
    InvalidateDriverCache(paths, flag);
    if (!texts.capabilities) {
        return ReplaceResult::DescriptionOnly;
    }
    WriteWholeFile(paths.deviceCapabilitiesPath, *texts.capabilities, flag);
    return ReplaceResult::Written;
}

}  // namespace quellin::driverconfig
