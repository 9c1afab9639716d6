#include "repair/safety.h"

#include <cctype>

#include "platform/filesystem.h"
#include "platform/text.h"
#include "system/identity.h"
#include "system/system_commands.h"

namespace quellin::repair {

namespace {

constexpr win::DWORD kLongPathBuffer = 32768;

bool LooksLikeShortName(const std::string& name) {
    const std::size_t tilde = name.find('~');
    return tilde != std::string::npos && tilde + 1 < name.size() &&
           std::isdigit(static_cast<unsigned char>(name[tilde + 1]));
}

std::string Environment(const char* name) {
    std::string value;
    return win::GetEnvironmentVariableA(name, &value) > 0 ? value : std::string();
}

void AddCanonical(std::vector<std::string>& folders, const std::string& path) {
    if (auto canonical = CanonicalPath(path))
        folders.push_back(*canonical);
}

// The folders from the drive root down to `path`, without `path` itself.
std::vector<std::string> Ancestors(const std::string& path) {
    std::vector<std::string> ancestors;
    if (path.size() <= 3)
        return ancestors;
    for (const char* c = path.c_str() + 3; *c != '\0'; c = win::CharNextA(c)) {
        if (*c == '\\')
            ancestors.push_back(path.substr(0, static_cast<std::size_t>(c - path.c_str())));
    }
    return ancestors;
}

bool ReachedThroughLink(const std::string& path) {
    for (const std::string& folder : Ancestors(path)) {
        const win::DWORD attributes = win::GetFileAttributesA(folder);
        if (attributes != win::INVALID_FILE_ATTRIBUTES &&
            (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

// `namesAreLong`: the system has just given `path` as its long form, so a name that looks like
// an 8.3 alias is the real name.
static std::optional<std::string> Canonical(const std::string& path, bool namesAreLong);

std::optional<std::string> CanonicalPath(const std::string& path) {
    return Canonical(path, false);
}

static std::optional<std::string> Canonical(const std::string& path, bool namesAreLong) {
    std::string unified = path;
    for (char& c : unified) {
        if (c == '/')
            c = '\\';
    }
    if (unified.size() < 3 || !std::isalpha(static_cast<unsigned char>(unified[0])) ||
        unified[1] != ':' || unified[2] != '\\') {
        return std::nullopt;
    }
    std::vector<std::string> kept;
    const std::vector<std::string> names = win::SplitPath(unified.substr(3));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        if (name.find_first_of(":*?\"<>|") != std::string::npos)
            return std::nullopt;
        for (char c : name) {
            if (static_cast<unsigned char>(c) < 32)
                return std::nullopt;
        }
        std::string trimmed = name;
        while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' '))
            trimmed.pop_back();
        if (trimmed.empty())
            continue;
        if (!namesAreLong && i + 1 < names.size() && LooksLikeShortName(trimmed))
            return std::nullopt;
        kept.push_back(trimmed);
    }
    std::string canonical(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
    canonical += ":";
    if (kept.empty())
        return canonical + "\\";
    for (const std::string& name : kept)
        canonical += "\\" + name;
    return canonical;
}

std::optional<std::string> CanonicalExistingPath(const std::string& path) {
    if (std::optional<std::string> canonical = CanonicalPath(path))
        return canonical;
    // Windows often gives paths with 8.3 aliases ("C:\Users\ADMINI~1\..."): judge them by the
    // long name the system knows while the path exists.
    std::string longPath;
    if (win::GetLongPathNameA(path, kLongPathBuffer, &longPath) > 0 &&
        longPath.size() < kLongPathBuffer) {
        return Canonical(longPath, true);
    }
    return std::nullopt;
}

std::vector<std::string> ProtectedFolders() {
    std::vector<std::string> folders;
    const std::string windows = quellin::system::GetWindowsFolder();
    AddCanonical(folders, windows);
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"})
        AddCanonical(folders, Environment(name));
    // The usual names on the system drive, should the environment lack or bend them.
    std::string drive = windows.size() >= 2 ? windows.substr(0, 2) : Environment("SystemDrive");
    if (drive.empty())
        drive = "C:";
    AddCanonical(folders, drive + "\\Windows");
    AddCanonical(folders, drive + "\\Program Files");
    AddCanonical(folders, drive + "\\Program Files (x86)");
    return folders;
}

bool IsSameOrInside(const std::string& path, const std::string& folder) {
    if (path.size() < folder.size() || !win::SameName(path.substr(0, folder.size()), folder))
        return false;
    return path.size() == folder.size() || win::EndsWithBackslash(folder) ||
           path[folder.size()] == '\\';
}

bool DeleteAutoSaveFile(const std::string& name) {
    const std::optional<std::string> path = CanonicalExistingPath(name);
    if (!path || path->size() <= 3)
        return false;
    for (const std::string& folder : ProtectedFolders()) {
        if (IsSameOrInside(*path, folder))
            return false;
    }
    // The user names this file: it is deleted with the user's own rights, so that no swapped
    // folder can make the administrator's rights reach another's file, and through a handle
    // that names the very object that was judged.
    quellin::system::UserRightsSpan asUser;
    if (ReachedThroughLink(*path))
        return false;
    win::UniqueFileHandle file(win::CreateFileA(
        *path, win::DELETE | win::FILE_READ_ATTRIBUTES | win::FILE_WRITE_ATTRIBUTES,
        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE, win::OPEN_EXISTING,
        win::FILE_FLAG_OPEN_REPARSE_POINT));
    win::BY_HANDLE_FILE_INFORMATION info;
    if (!file || !win::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    win::FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = true;
    return win::SetFileInformationByHandle(file.get(), disposition);
}

bool IsCleanableTempFolder(const std::string& folder) {
    const std::optional<std::string> path = CanonicalExistingPath(folder);
    if (!path || path->size() <= 3)
        return false;
    const std::optional<std::string> windows = CanonicalPath(quellin::system::GetWindowsFolder());
    // The system's own temp folder is a temp folder some users are given.
    const bool systemTemp = windows && IsSameOrInside(*path, *windows + "\\Temp");
    for (const std::string& system : ProtectedFolders()) {
        if (IsSameOrInside(system, *path) || (!systemTemp && IsSameOrInside(*path, system)))
            return false;
    }
    // Without TMP and TEMP, Windows names the user's profile as the temp folder: emptying it
    // would delete the user's documents.
    const std::optional<std::string> profile = CanonicalExistingPath(Environment("USERPROFILE"));
    if (profile && IsSameOrInside(*profile, *path))
        return false;
    const win::DWORD attributes = win::GetFileAttributesA(*path);
    if (attributes != win::INVALID_FILE_ATTRIBUTES &&
        ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 ||
         (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        return false;
    }
    return !ReachedThroughLink(*path);
}

}  // namespace quellin::repair
