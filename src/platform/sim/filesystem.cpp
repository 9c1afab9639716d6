#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/dates.h"
#include "platform/filesystem.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/sim/control.h"
#include "platform/sim/handles.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/short_names.h"
#include "platform/sim/strings.h"
#include "platform/text.h"

namespace quellin::platform::sim {

namespace {

struct WriteFailure {
    std::string mask;
    std::uint64_t afterBytes = 0;
};
std::mutex g_failMutex;
std::vector<WriteFailure> g_failures;

}  // namespace

void InjectWriteFailure(const std::string& nameMask, std::uint64_t afterBytes) {
    std::lock_guard lock(g_failMutex);
    g_failures.push_back({nameMask, afterBytes});
}

void ClearInjectedFailures() {
    std::lock_guard lock(g_failMutex);
    g_failures.clear();
}

namespace {
std::mutex g_hookMutex;
std::function<void(const std::string&)> g_beforePath;
}  // namespace

void SetBeforePathHook(std::function<void(const std::string& windowsPath)> hook) {
    std::lock_guard lock(g_hookMutex);
    g_beforePath = std::move(hook);
}

void BeforePath(const std::string& windowsPath) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_beforePath;
    }
    if (hook)
        hook(windowsPath);
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kEpochDifference = 116444736000000000ULL;

struct FileObject;
void ReleaseSharing(FileObject& file);

struct FileObject : sim::Object {
    int fd = -1;
    // The folder the object was opened in, held so that deleting acts on that very folder.
    int parentFd = -1;
    std::string name;
    std::string hostPath;
    DWORD access = 0;
    bool isDir = false;
    bool isLink = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::vector<WIN32_FIND_DATAA> listing;  // the handle's directory listing, once read
    std::uint64_t listed = 0;
    bool failAfter = false;
    std::uint64_t budget = 0;
    DWORD share = 0;
    std::uint64_t generation = 0;  // the sandbox it was opened in
    bool tracked = false;
    ~FileObject() override {
        if (tracked)
            ReleaseSharing(*this);
        if (parentFd >= 0)
            ::close(parentFd);
        if (fd >= 0)
            ::close(fd);
    }
};

struct FindObject : sim::Object {
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t next = 0;
};

// ---- Sharing: the open handles of this process by object, and the objects whose deletion
// waits for their last handle.

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kReadAccess = GENERIC_READ | 0x1 /* read data, list */ | 0x20 /* execute */;
constexpr DWORD kWriteAccess = GENERIC_WRITE | 0x2 /* write data */ | 0x4 /* append */;

using ObjectKey = std::tuple<dev_t, ino_t, std::uint64_t>;
std::mutex g_sharingMutex;
std::vector<FileObject*> g_openFiles;
std::set<ObjectKey> g_deletePending;

ObjectKey KeyOf(dev_t dev, ino_t ino) {
    return {dev, ino, sim::SandboxGeneration()};
}

// What each of two opens of one object asks and shares: either one refuses the other.
bool Conflicts(DWORD access, DWORD share, DWORD heldAccess, DWORD heldShare) {
    auto sharing = [](DWORD a) {
        return ((a & kReadAccess) ? FILE_SHARE_READ : 0) |
               ((a & kWriteAccess) ? FILE_SHARE_WRITE : 0) | ((a & DELETE) ? FILE_SHARE_DELETE : 0);
    };
    const DWORD wants = sharing(access), holds = sharing(heldAccess);
    // An open for attributes or synchronisation alone takes part in no sharing check.
    if (wants == 0 || holds == 0)
        return false;
    return (wants & ~heldShare) != 0 || (holds & ~share) != 0;
}

// The error an open of the object with `access` and `share` meets, or ERROR_SUCCESS.
DWORD SharingRefusal(dev_t dev, ino_t ino, DWORD access, DWORD share) {
    std::lock_guard lock(g_sharingMutex);
    const ObjectKey key = KeyOf(dev, ino);
    if (g_deletePending.count(key) != 0)
        return ERROR_ACCESS_DENIED;
    for (const FileObject* held : g_openFiles) {
        if (KeyOf(held->dev, held->ino) == key && held->generation == std::get<2>(key) &&
            Conflicts(access, share, held->access, held->share)) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    return ERROR_SUCCESS;
}

bool RefusedBySharing(const fs::path& host, DWORD access) {
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0)
        return false;
    const DWORD error = SharingRefusal(st.st_dev, st.st_ino, access, kShareAll);
    if (error != ERROR_SUCCESS)
        SetLastError(error);
    return error != ERROR_SUCCESS;
}

void Track(FileObject& file, DWORD share) {
    std::lock_guard lock(g_sharingMutex);
    file.share = share;
    file.generation = sim::SandboxGeneration();
    file.tracked = true;
    g_openFiles.push_back(&file);
}

bool OthersHold(const FileObject& file) {
    std::lock_guard lock(g_sharingMutex);
    return std::any_of(g_openFiles.begin(), g_openFiles.end(), [&](const FileObject* held) {
        return held != &file && held->dev == file.dev && held->ino == file.ino &&
               held->generation == file.generation;
    });
}

void ForgetRemoved(const fs::path& host);

// The last handle of an object whose deletion waited removes it.
void ReleaseSharing(FileObject& file) {
    bool last = false;
    {
        std::lock_guard lock(g_sharingMutex);
        g_openFiles.erase(std::remove(g_openFiles.begin(), g_openFiles.end(), &file),
                          g_openFiles.end());
        const ObjectKey key{file.dev, file.ino, file.generation};
        last = g_deletePending.count(key) != 0 &&
               std::none_of(g_openFiles.begin(), g_openFiles.end(), [&](const FileObject* held) {
                   return ObjectKey{held->dev, held->ino, held->generation} == key;
               });
        if (last)
            g_deletePending.erase(key);
    }
    struct stat there;
    if (!last || file.generation != sim::SandboxGeneration() || file.parentFd < 0 ||
        ::fstatat(file.parentFd, file.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        there.st_dev != file.dev || there.st_ino != file.ino) {
        return;
    }
    const bool folder = file.isDir && !file.isLink;
    if (::unlinkat(file.parentFd, file.name.c_str(), folder ? AT_REMOVEDIR : 0) == 0)
        ForgetRemoved(file.hostPath);
}

void SetErrno(int e, bool parentMissing = false) {
    switch (e) {
        case ENOENT:
            SetLastError(parentMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
            break;
        case ENOTDIR:
            SetLastError(ERROR_PATH_NOT_FOUND);
            break;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            SetLastError(ERROR_ACCESS_DENIED);
            break;
        case EEXIST:
            SetLastError(ERROR_ALREADY_EXISTS);
            break;
        case ENOTEMPTY:
            SetLastError(ERROR_DIR_NOT_EMPTY);
            break;
        case ENOSPC:
            SetLastError(ERROR_DISK_FULL);
            break;
        case ENAMETOOLONG:
            SetLastError(ERROR_INVALID_NAME);
            break;
        default:
            SetLastError(ERROR_ACCESS_DENIED);
            break;
    }
}

bool ParentMissing(const fs::path& host) {
    std::error_code ec;
    return !fs::is_directory(host.parent_path(), ec);
}

bool Resolve(const std::string& path, fs::path* host) {
    try {
        *host = sim::HostPath(path);
        return true;
    } catch (const std::invalid_argument&) {
        SetLastError(ERROR_INVALID_NAME);
    } catch (const std::exception&) {
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return false;
}

std::optional<DWORD> StoredAttributes(const fs::path& host) {
    std::lock_guard lock(sim::db().mutex());
    sim::Statement st = sim::db().Prepare("SELECT attributes FROM file_attributes WHERE path = ?");
    st.Bind(1, host.string());
    if (st.Step())
        return static_cast<DWORD>(st.Int(0));
    return std::nullopt;
}

void StoreAttributes(const fs::path& host, std::optional<DWORD> attributes) {
    std::lock_guard lock(sim::db().mutex());
    if (attributes) {
        sim::db()
            .Prepare("INSERT OR REPLACE INTO file_attributes(path, attributes) VALUES(?, ?)")
            .Bind(1, host.string())
            .Bind(2, *attributes)
            .Run();
    } else {
        sim::db()
            .Prepare("DELETE FROM file_attributes WHERE path = ?")
            .Bind(1, host.string())
            .Run();
    }
}

bool InSandbox(const fs::path& host) {
    // Files on the host drive Z: carry no stored attributes.
    if (!sim::SandboxIsOpen())
        return false;
    std::string root = sim::SandboxRoot().string();
    std::string h = host.string();
    return h.size() > root.size() && h.compare(0, root.size(), root) == 0;
}

// ---- Who may change what: Windows' default rights, enough to tell an elevated administrator
// (or SYSTEM) from the user's own unelevated identity. The user may change their own profile
// and the things they created in the shared folders C:\ProgramData and C:\Windows\Temp; not
// the Windows folder, the program-files folders, other profiles, or other people's things in
// the shared folders. Rights follow where a path really leads, links resolved.

// Where `host` really is: its folder with every link resolved, and its own name unless
// `followLast` (then a link at the end is followed too).
fs::path RealLocation(const fs::path& host, bool followLast) {
    char buffer[PATH_MAX];
    if (followLast && ::realpath(host.c_str(), buffer))
        return fs::path(buffer);
    if (::realpath(host.parent_path().c_str(), buffer))
        return fs::path(buffer) / host.filename();
    return host;
}

// The names below drive C: (ANSI), or nothing for a place outside it.
std::optional<std::vector<std::string>> DriveCParts(const fs::path& real, fs::path* driveRoot) {
    if (!sim::SandboxIsOpen())
        return std::nullopt;
    char buffer[PATH_MAX];
    if (!::realpath((sim::SandboxRoot() / "drive_c").c_str(), buffer))
        return std::nullopt;
    *driveRoot = fs::path(buffer);
    const fs::path relative = real.lexically_relative(*driveRoot);
    if (relative.empty() || *relative.begin() == "..")
        return std::nullopt;
    std::vector<std::string> parts;
    for (const fs::path& part : relative) {
        if (part != ".")
            parts.push_back(win::Utf8ToAnsi(part.string()));
    }
    return parts;
}

// How many names lead to a shared folder that `parts` lies in (ProgramData 1, Windows\Temp 2);
// 0 when it lies in none.
std::size_t SharedDepth(const std::vector<std::string>& parts) {
    if (!parts.empty() && win::SameName(parts[0], "ProgramData"))
        return 1;
    if (parts.size() >= 2 && win::SameName(parts[0], "Windows") && win::SameName(parts[1], "Temp"))
        return 2;
    return 0;
}

std::string OwnerName() {
    return sim::ThreadIsElevated() ? "Administrators" : sim::kUserName;
}

// The top item of a shared folder that `real` lies in, or nothing.
std::optional<fs::path> SharedTop(const fs::path& real) {
    fs::path root;
    auto parts = DriveCParts(real, &root);
    if (!parts)
        return std::nullopt;
    const std::size_t depth = SharedDepth(*parts);
    if (depth == 0 || parts->size() <= depth)
        return std::nullopt;
    fs::path top = root;
    const fs::path relative = real.lexically_relative(root);
    auto it = relative.begin();
    for (std::size_t i = 0; i <= depth; ++i, ++it)
        top /= *it;
    return top;
}

std::optional<std::string> StoredOwner(const fs::path& top) {
    std::lock_guard lock(sim::db().mutex());
    sim::Statement st = sim::db().Prepare("SELECT owner FROM file_owners WHERE path = ?");
    st.Bind(1, top.string());
    if (st.Step())
        return st.Text(0);
    return std::nullopt;
}

// Fails with ERROR_ACCESS_DENIED when the calling thread may not create, change or delete
// what `host` names.
bool MayChangeAt(const fs::path& real) {
    if (sim::ThreadIsElevated())
        return true;
    fs::path root;
    const auto parts = DriveCParts(real, &root);
    if (!parts)
        return true;
    const std::vector<std::string>& p = *parts;
    bool allowed = true;
    if (const std::size_t depth = SharedDepth(p)) {
        if (p.size() <= depth) {
            allowed = false;
        } else {
            const std::optional<std::string> owner = StoredOwner(*SharedTop(real));
            struct stat st;
            allowed = owner ? *owner == sim::kUserName
                            : p.size() == depth + 1 && ::lstat(real.c_str(), &st) != 0;
        }
    } else if (p.empty()) {
        allowed = false;
    } else if (win::SameName(p[0], "Users")) {
        allowed =
            p.size() >= 2 && (win::SameName(p[1], sim::kUserName) || win::SameName(p[1], "Public"));
    } else if (win::SameName(p[0], "Windows") ||
               win::SameName(p[0].substr(0, 13), "Program Files")) {
        allowed = false;
    }
    if (!allowed)
        SetLastError(ERROR_ACCESS_DENIED);
    return allowed;
}

bool MayChange(const fs::path& host, bool followLast) {
    return sim::ThreadIsElevated() || MayChangeAt(RealLocation(host, followLast));
}

// The owner recorded for a folder made with an access list that admits only administrators
// and SYSTEM.
constexpr const char* kAdminsOnly = "Administrators only";
// An owner the token may not give what it makes.
constexpr DWORD kErrorInvalidOwner = 1307;

// Fails with ERROR_ACCESS_DENIED when the calling thread may not read what `real` names:
// another user's profile, and what only administrators may open, are closed to the user.
bool MayReadAt(const fs::path& real) {
    if (sim::ThreadIsElevated())
        return true;
    fs::path root;
    const auto parts = DriveCParts(real, &root);
    if (!parts)
        return true;
    const std::vector<std::string>& p = *parts;
    bool allowed = true;
    if (p.size() >= 2 && win::SameName(p[0], "Users"))
        allowed = win::SameName(p[1], sim::kUserName) || win::SameName(p[1], "Public");
    else if (SharedDepth(p) != 0 && p.size() > SharedDepth(p))
        allowed = StoredOwner(*SharedTop(real)) != kAdminsOnly;
    if (!allowed)
        SetLastError(ERROR_ACCESS_DENIED);
    return allowed;
}

struct OwnedFd {
    explicit OwnedFd(int value) : fd(value) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
};

// Where an open descriptor's object really is, whatever its path names by now: rights are
// judged on what was opened, as Windows checks them on the object it opens.
fs::path FdPath(int fd) {
    char buffer[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    return length > 0 ? fs::path(std::string(buffer, static_cast<std::size_t>(length)))
                      : fs::path();
}

// Records who created a top item of a shared folder, or forgets it when it goes.
void NoteOwner(const fs::path& host, bool created) {
    const std::optional<fs::path> top = SharedTop(RealLocation(host, false));
    if (!top || *top != RealLocation(host, false))
        return;
    std::lock_guard lock(sim::db().mutex());
    if (created) {
        sim::db()
            .Prepare("INSERT OR REPLACE INTO file_owners(path, owner) VALUES(?, ?)")
            .Bind(1, top->string())
            .Bind(2, OwnerName())
            .Run();
    } else {
        sim::db().Prepare("DELETE FROM file_owners WHERE path = ?").Bind(1, top->string()).Run();
    }
}

// Forgets what the sandbox recorded of an object that is gone: its owner and its attributes.
void ForgetRemoved(const fs::path& host) {
    NoteOwner(host, false);
    if (InSandbox(host))
        StoreAttributes(host, std::nullopt);
}

DWORD AttributesOf(const fs::path& host, const struct stat& st, bool isLink) {
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (isLink)
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    std::optional<DWORD> stored = InSandbox(host) ? StoredAttributes(host) : std::nullopt;
    if (stored) {
        attributes |= *stored & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    } else if (!S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (!InSandbox(host) && (st.st_mode & S_IWUSR) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (attributes == 0)
        attributes = FILE_ATTRIBUTE_NORMAL;
    return attributes;
}

FILETIME ToFileTime(const struct timespec& ts) {
    return FILETIME{static_cast<std::uint64_t>(ts.tv_sec) * 10000000ULL +
                    static_cast<std::uint64_t>(ts.tv_nsec) / 100 + kEpochDifference};
}

struct timespec ToTimespec(const FILETIME& ft) {
    std::uint64_t since = ft.ticks > kEpochDifference ? ft.ticks - kEpochDifference : 0;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(since / 10000000ULL);
    ts.tv_nsec = static_cast<long>((since % 10000000ULL) * 100);
    return ts;
}

bool IsReadOnly(const fs::path& host) {
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0)
        return false;
    return (AttributesOf(host, st, S_ISLNK(st.st_mode)) & FILE_ATTRIBUTE_READONLY) != 0;
}

bool FillFindData(const fs::path& host, const std::string& name, WIN32_FIND_DATAA* data) {
    struct stat lst;
    if (::lstat(host.c_str(), &lst) != 0)
        return false;
    bool isLink = S_ISLNK(lst.st_mode);
    struct stat st = lst;
    if (isLink && ::stat(host.c_str(), &st) != 0)
        st = lst;
    data->dwFileAttributes = AttributesOf(host, st, isLink);
    data->ftCreationTime = ToFileTime(st.st_ctim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    data->nFileSize = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    data->cFileName = name;
    return true;
}

}  // namespace

DWORD GetFileAttributesA(const std::string& path) {
    fs::path host;
    if (!Resolve(path, &host))
        return INVALID_FILE_ATTRIBUTES;
    struct stat lst;
    if (::lstat(host.c_str(), &lst) != 0) {
        SetErrno(errno, ParentMissing(host));
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st = lst;
    bool isLink = S_ISLNK(lst.st_mode);
    if (isLink && ::stat(host.c_str(), &st) != 0)
        st = lst;
    return AttributesOf(host, st, isLink);
}

BOOL SetFileAttributesA(const std::string& path, DWORD attributes) {
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        return false;
    }
    if (!MayChange(host, true))
        return false;
    DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | 0x2000 | 0x100);
    if (!InSandbox(host)) {
        // On the host drive only the read-only bit has a meaning: the owner's write permission.
        mode_t mode =
            (kept & FILE_ATTRIBUTE_READONLY) ? (st.st_mode & ~S_IWUSR) : (st.st_mode | S_IWUSR);
        ::chmod(host.c_str(), mode & 07777);
        return true;
    }
    StoreAttributes(host, S_ISDIR(st.st_mode) && kept == 0
                              ? std::nullopt
                              : std::optional<DWORD>(kept ? kept : FILE_ATTRIBUTE_NORMAL));
    return true;
}

BOOL CreateDirectoryA(const std::string& path) {
    sim::BeforePath(path);
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::lstat(host.c_str(), &st) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    if (!MayChange(host, false))
        return false;
    if (::mkdir(host.c_str(), 0777) != 0) {
        SetErrno(errno, true);
        if (errno == ENOENT)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    NoteOwner(host, true);
    // A folder made again at a path has its maker's default owner, not one named before.
    const fs::path real = RealLocation(host, false);
    if (SharedTop(real) != real) {
        std::lock_guard lock(sim::db().mutex());
        sim::db().Prepare("DELETE FROM file_owners WHERE path = ?").Bind(1, real.string()).Run();
    }
    return true;
}

BOOL RemoveDirectoryA(const std::string& path) {
    sim::BeforePath(path);
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        return false;
    }
    if (!MayChange(host, false) || RefusedBySharing(host, DELETE))
        return false;
    if (S_ISLNK(st.st_mode)) {
        // A junction or directory link is removed as a link; its target stays.
        if (::unlink(host.c_str()) != 0) {
            SetErrno(errno);
            return false;
        }
        NoteOwner(host, false);
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY_NAME_INVALID);
        return false;
    }
    if (IsReadOnly(host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (::rmdir(host.c_str()) != 0) {
        SetErrno(errno);
        return false;
    }
    ForgetRemoved(host);
    return true;
}

BOOL DeleteFileA(const std::string& path) {
    sim::BeforePath(path);
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        return false;
    }
    if (!MayChange(host, false) || RefusedBySharing(host, DELETE))
        return false;
    if (S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (IsReadOnly(host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (::unlink(host.c_str()) != 0) {
        SetErrno(errno);
        return false;
    }
    ForgetRemoved(host);
    return true;
}

BOOL CopyFileA(const std::string& existing, const std::string& target, BOOL failIfExists) {
    sim::BeforePath(existing);
    fs::path from, to;
    if (!Resolve(existing, &from) || !Resolve(target, &to))
        return false;
    struct stat st;
    if (::stat(from.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        SetErrno(S_ISDIR(st.st_mode) ? EACCES : errno, ParentMissing(from));
        return false;
    }
    if (!MayReadAt(RealLocation(from, true)))
        return false;
    struct stat tst;
    const bool targetExists = ::stat(to.c_str(), &tst) == 0;
    if (!MayChange(to, true))
        return false;
    if (targetExists) {
        if (failIfExists) {
            SetLastError(ERROR_FILE_EXISTS);
            return false;
        }
        if (S_ISDIR(tst.st_mode) || IsReadOnly(to)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
    }
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        SetErrno(ec.value(), ParentMissing(to));
        return false;
    }
    if (!targetExists)
        NoteOwner(to, true);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, 0);
    if (InSandbox(from) && InSandbox(to))
        StoreAttributes(to, StoredAttributes(from));
    return true;
}

BOOL MoveFileExA(const std::string& existing, const std::string& target, DWORD flags) {
    fs::path from, to;
    if (!Resolve(existing, &from) || !Resolve(target, &to))
        return false;
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(from));
        return false;
    }
    if (!MayChange(from, false) || !MayChange(to, false) || RefusedBySharing(from, DELETE))
        return false;
    struct stat tst;
    if (::lstat(to.c_str(), &tst) == 0) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) != 0 && RefusedBySharing(to, DELETE))
            return false;
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        if (S_ISDIR(tst.st_mode) || IsReadOnly(to)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
    }
    std::optional<DWORD> attributes = InSandbox(from) ? StoredAttributes(from) : std::nullopt;
    if (::rename(from.c_str(), to.c_str()) != 0) {
        if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && !S_ISDIR(st.st_mode)) {
            if (!CopyFileA(existing, target, false))
                return false;
            ::unlink(from.c_str());
        } else {
            SetErrno(errno, ParentMissing(to));
            return false;
        }
    }
    NoteOwner(from, false);
    NoteOwner(to, true);
    if (InSandbox(from))
        StoreAttributes(from, std::nullopt);
    if (InSandbox(to))
        StoreAttributes(to, attributes);
    return true;
}

HANDLE FindFirstFileA(const std::string& pattern, WIN32_FIND_DATAA* data) {
    sim::BeforePath(pattern);
    std::string unified = pattern;
    std::replace(unified.begin(), unified.end(), '/', '\\');
    std::string mask = win::NameOf(unified);
    if (mask.size() == unified.size() || !data) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder = unified.substr(0, unified.size() - mask.size() - 1);
    if (folder.size() == 2)
        folder += '\\';
    fs::path host;
    if (!Resolve(folder, &host))
        return INVALID_HANDLE_VALUE;
    DIR* dir = ::opendir(host.c_str());
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Each entry's name as the program sees it (ANSI) and as the host stores it (UTF-8).
    std::vector<std::pair<std::string, std::string>> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        std::string ansi = win::Utf8ToAnsi(name);
        if (name != "." && name != ".." && sim::MatchesMask(ansi, mask))
            names.emplace_back(std::move(ansi), std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        return win::UpperAnsi(a.first) < win::UpperAnsi(b.first);
    });
    auto find = std::make_unique<FindObject>();
    bool isRoot = sim::ParseWindowsPath(folder).parts.empty();
    if (!isRoot) {
        for (const char* dot : {".", ".."}) {
            if (sim::MatchesMask(dot, mask) || mask == "*.*" || mask == "*") {
                WIN32_FIND_DATAA d;
                if (FillFindData(host, dot, &d))
                    find->entries.push_back(d);
            }
        }
    }
    for (const auto& [ansi, name] : names) {
        WIN32_FIND_DATAA d;
        if (FillFindData(host / name, ansi, &d))
            find->entries.push_back(d);
    }
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[0];
    find->next = 1;
    SetLastError(ERROR_SUCCESS);
    return static_cast<HANDLE>(sim::RegisterObject(std::move(find)));
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
    auto* find = sim::Lookup<FindObject>(handle);
    if (!find) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    *data = find->entries[find->next++];
    return true;
}

BOOL FindClose(HANDLE handle) {
    if (!sim::Lookup<FindObject>(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return sim::ReleaseObject(handle);
}

namespace {

// A folder (FILE_FLAG_BACKUP_SEMANTICS) or a link itself (FILE_FLAG_OPEN_REPARSE_POINT) as a
// handle: the object is pinned by its descriptor, whatever its path names later.
HANDLE OpenSpecial(const fs::path& host, DWORD access, DWORD share, DWORD disposition, bool link) {
    if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) {
        SetLastError(link ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const bool changes = (access & (GENERIC_WRITE | DELETE | FILE_WRITE_ATTRIBUTES)) != 0;
    auto file = std::make_unique<FileObject>();
    file->parentFd = ::open(host.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    file->name = host.filename().string();
    const int flags = link ? O_PATH | O_NOFOLLOW | O_CLOEXEC : O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    const int fd = file->parentFd < 0 ? -1 : ::openat(file->parentFd, file->name.c_str(), flags);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        if (fd >= 0)
            ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    file->fd = fd;
    if (changes && !MayChangeAt(FdPath(fd)))
        return INVALID_HANDLE_VALUE;
    if (const DWORD refusal = SharingRefusal(st.st_dev, st.st_ino, access, share)) {
        SetLastError(refusal);
        return INVALID_HANDLE_VALUE;
    }
    file->hostPath = host.string();
    file->access = access;
    file->isLink = link;
    struct stat target;
    file->isDir = link ? ::stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode) : true;
    file->dev = st.st_dev;
    file->ino = st.st_ino;
    Track(*file, share);
    SetLastError(ERROR_SUCCESS);
    return static_cast<HANDLE>(sim::RegisterObject(std::move(file)));
}

}  // namespace

HANDLE CreateFileA(const std::string& path, DWORD access, DWORD shareMode, DWORD disposition,
                   DWORD flagsAndAttributes) {
    sim::BeforePath(path);
    fs::path host;
    if (!Resolve(path, &host))
        return INVALID_HANDLE_VALUE;
    struct stat lst;
    if ((flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0 &&
        ::lstat(host.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        return OpenSpecial(host, access, shareMode, disposition, true);
    }
    struct stat st;
    bool exists = ::stat(host.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        if ((flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0)
            return OpenSpecial(host, access, shareMode, disposition, false);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool writes = (access & GENERIC_WRITE) != 0 || disposition == CREATE_ALWAYS ||
                  disposition == TRUNCATE_EXISTING;
    const bool creates =
        !exists && disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING;
    const bool changes = writes || creates || (access & (DELETE | FILE_WRITE_ATTRIBUTES)) != 0;
    // Opened in the folder held open here, and judged by where it really lands.
    OwnedFd parent(::open(host.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const int parentFd = parent.fd;
    const std::string leaf = host.filename().string();
    if (parentFd < 0) {
        SetErrno(errno, true);
        return INVALID_HANDLE_VALUE;
    }

    if (exists && writes && IsReadOnly(host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    bool read = (access & GENERIC_READ) != 0;
    bool write = (access & GENERIC_WRITE) != 0;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if ((flags & O_TRUNC) && !write)
        flags = (flags & ~O_RDONLY) | O_RDWR;
    // An empty file is not truncated but only stamped: on ext4 a truncation makes the close
    // write the data out at once (its guard for replace-by-truncate), a cost for every
    // temporary file that GetTempFileNameA created empty.
    bool emptyAlready = exists && S_ISREG(st.st_mode) && st.st_size == 0 && (flags & O_TRUNC);
    if (emptyAlready)
        flags &= ~O_TRUNC;
    // Existence as the folder held open sees it now: a creation is judged by that folder.
    struct stat there;
    const bool existsThere = ::fstatat(parentFd, leaf.c_str(), &there, 0) == 0;
    // Judged before the open, which may truncate.
    if (existsThere) {
        const DWORD asked = access | ((flags & O_TRUNC) ? GENERIC_WRITE : 0);
        if (const DWORD refusal = SharingRefusal(there.st_dev, there.st_ino, asked, shareMode)) {
            SetLastError(refusal);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (changes && !existsThere && (flags & O_CREAT) != 0 &&
        !MayChangeAt(FdPath(parentFd) / leaf)) {
        return INVALID_HANDLE_VALUE;
    }
    // A link put in place since the check above is opened itself, as Windows opens it.
    if ((flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0)
        flags |= O_NOFOLLOW;
    int fd = ::openat(parentFd, leaf.c_str(), flags, 0666);
    if (fd < 0 && errno == ELOOP)
        return OpenSpecial(host, access, shareMode, disposition, true);
    if (fd >= 0 && ((changes && existsThere && !MayChangeAt(FdPath(fd))) ||
                    (read && !MayReadAt(FdPath(fd))))) {
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (fd >= 0 && emptyAlready) {
        struct stat now;
        static const struct timespec kStampWrite[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        bool grew = ::fstat(fd, &now) != 0 || now.st_size != 0;
        if (grew ? ::ftruncate(fd, 0) != 0 : ::futimens(fd, kStampWrite) != 0) {
            int error = errno;
            ::close(fd);
            fd = -1;
            errno = error;
        }
    }
    if (fd < 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
        } else {
            SetErrno(errno, ParentMissing(host));
        }
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_unique<FileObject>();
    file->fd = fd;
    file->parentFd = std::exchange(parent.fd, -1);
    file->name = leaf;
    file->hostPath = host.string();
    file->access = access;
    struct stat opened;
    if (::fstat(fd, &opened) == 0) {
        file->dev = opened.st_dev;
        file->ino = opened.st_ino;
    }
    Track(*file, shareMode);
    if (!exists)
        NoteOwner(host, true);
    {
        std::lock_guard lock(sim::g_failMutex);
        for (const auto& failure : sim::g_failures) {
            if (sim::MatchesMask(host.filename().string(), failure.mask)) {
                file->failAfter = true;
                file->budget = failure.afterBytes;
            }
        }
    }
    if (!exists && InSandbox(host))
        StoreAttributes(host, std::nullopt);
    SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return static_cast<HANDLE>(sim::RegisterObject(std::move(file)));
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (read)
        *read = 0;
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD total = 0;
    auto* p = static_cast<char*>(buffer);
    while (total < toRead) {
        ssize_t n = ::read(file->fd, p + total, toRead - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetErrno(errno);
            return false;
        }
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    if (read)
        *read = total;
    return true;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (written)
        *written = 0;
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD allowed = toWrite;
    if (file->failAfter && file->budget < toWrite)
        allowed = static_cast<DWORD>(file->budget);
    DWORD total = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (total < allowed) {
        ssize_t n = ::write(file->fd, p + total, allowed - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetErrno(errno);
            if (written)
                *written = total;
            return false;
        }
        total += static_cast<DWORD>(n);
    }
    if (written)
        *written = total;
    if (file->failAfter) {
        file->budget -= total;
        if (allowed < toWrite) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
    }
    return true;
}

BOOL SetFilePointerEx(HANDLE handle, std::int64_t distance, std::int64_t* newPosition,
                      DWORD moveMethod) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
                 : moveMethod == FILE_CURRENT ? SEEK_CUR
                                              : SEEK_END;
    off_t pos = ::lseek(file->fd, static_cast<off_t>(distance), whence);
    if (pos < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (newPosition)
        *newPosition = pos;
    return true;
}

BOOL GetFileSizeEx(HANDLE handle, std::int64_t* size) {
    auto* file = sim::Lookup<FileObject>(handle);
    struct stat st;
    if (!file || ::fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *size = st.st_size;
    return true;
}

BOOL SetEndOfFile(HANDLE handle) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    off_t pos = ::lseek(file->fd, 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(file->fd, pos) != 0) {
        SetErrno(errno);
        return false;
    }
    return true;
}

BOOL FlushFileBuffers(HANDLE handle) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    ::fdatasync(file->fd);
    return true;
}

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* access, FILETIME* write) {
    auto* file = sim::Lookup<FileObject>(handle);
    struct stat st;
    if (!file || ::fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (creation)
        *creation = ToFileTime(st.st_ctim);
    if (access)
        *access = ToFileTime(st.st_atim);
    if (write)
        *write = ToFileTime(st.st_mtim);
    return true;
}

BOOL SetFileTime(HANDLE handle, const FILETIME*, const FILETIME* access, const FILETIME* write) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    struct timespec times[2];
    times[0] = access ? ToTimespec(*access) : timespec{0, UTIME_OMIT};
    times[1] = write ? ToTimespec(*write) : timespec{0, UTIME_OMIT};
    if (::futimens(file->fd, times) != 0) {
        SetErrno(errno);
        return false;
    }
    return true;
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
    auto* file = sim::Lookup<FileObject>(handle);
    struct stat st;
    if (!file || !info || ::fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    struct stat shown = st;
    struct stat target;
    if (file->isLink && ::stat(file->hostPath.c_str(), &target) == 0)
        shown = target;
    info->dwFileAttributes = AttributesOf(file->hostPath, shown, file->isLink);
    info->ftCreationTime = ToFileTime(st.st_ctim);
    info->ftLastAccessTime = ToFileTime(st.st_atim);
    info->ftLastWriteTime = ToFileTime(st.st_mtim);
    info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
    info->nFileSize = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    info->nFileIndex = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

BOOL GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                  std::vector<FILE_ID_BOTH_DIR_INFO>* entries) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!entries || file->isLink || !file->isDir ||
        (infoClass != FileIdBothDirectoryInfo && infoClass != FileIdBothDirectoryRestartInfo)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if ((file->access & (FILE_LIST_DIRECTORY | GENERIC_READ)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    entries->clear();
    if (infoClass == FileIdBothDirectoryRestartInfo)
        file->listed = 0;
    if (file->listed > 0) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    // Listed through the descriptor, never through the path: the folder the handle pinned.
    const int dirFd = ::dup(file->fd);
    DIR* dir = dirFd >= 0 ? ::fdopendir(dirFd) : nullptr;
    if (!dir) {
        if (dirFd >= 0)
            ::close(dirFd);
        SetErrno(errno);
        return false;
    }
    ::rewinddir(dir);
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir))
        names.push_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool aDots = a == "." || a == "..", bDots = b == "." || b == "..";
        if (aDots != bDots)
            return aDots;
        return win::UpperAnsi(win::Utf8ToAnsi(a)) < win::UpperAnsi(win::Utf8ToAnsi(b));
    });
    for (const std::string& name : names) {
        struct stat lst;
        if (::fstatat(file->fd, name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const bool isLink = S_ISLNK(lst.st_mode);
        struct stat st = lst;
        if (isLink && ::fstatat(file->fd, name.c_str(), &st, 0) != 0)
            st = lst;
        FILE_ID_BOTH_DIR_INFO info;
        info.FileAttributes = AttributesOf(fs::path(file->hostPath) / name, st, isLink);
        info.EndOfFile = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
        info.FileId = static_cast<std::uint64_t>(lst.st_ino);
        info.FileName = win::Utf8ToAnsi(name);
        entries->push_back(std::move(info));
    }
    file->listed = entries->size();
    SetLastError(ERROR_SUCCESS);
    return true;
}

namespace {

// Whether the handle's object still stands at the path it was opened by: the sandbox can
// only remove by path, which Windows does not need to.
bool StillAt(const FileObject& file) {
    struct stat st;
    return ::lstat(file.hostPath.c_str(), &st) == 0 && st.st_dev == file.dev &&
           st.st_ino == file.ino;
}

}  // namespace

BOOL SetFileInformationByHandle(HANDLE handle, const FILE_BASIC_INFO& info) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((file->access & (FILE_WRITE_ATTRIBUTES | GENERIC_WRITE)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (info.FileAttributes == 0)
        return true;
    if (!StillAt(*file)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const fs::path host(file->hostPath);
    const DWORD kept =
        info.FileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | 0x2000 | 0x100);
    if (InSandbox(host)) {
        StoreAttributes(host, file->isDir && kept == 0
                                  ? std::nullopt
                                  : std::optional<DWORD>(kept ? kept : FILE_ATTRIBUTE_NORMAL));
    }
    return true;
}

namespace {

bool FolderHoldsSomething(const FileObject& file) {
    const int dirFd = ::openat(file.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = dirFd >= 0 ? ::fdopendir(dirFd) : nullptr;
    if (!dir) {
        if (dirFd >= 0)
            ::close(dirFd);
        return false;
    }
    bool holds = false;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        holds = holds || (name != "." && name != "..");
    }
    ::closedir(dir);
    return holds;
}

// Deletes what the handle names: at once with POSIX semantics or when no other handle holds
// it, else when its last handle closes.
BOOL DeleteThrough(FileObject* file, bool posix) {
    struct stat there;
    if (file->parentFd < 0 ||
        ::fstatat(file->parentFd, file->name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        there.st_dev != file->dev || there.st_ino != file->ino) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const fs::path host(file->hostPath);
    if (!file->isLink && IsReadOnly(host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const bool folder = file->isDir && !file->isLink;
    if (!posix && OthersHold(*file)) {
        if (folder && FolderHoldsSomething(*file)) {
            SetLastError(ERROR_DIR_NOT_EMPTY);
            return false;
        }
        std::lock_guard lock(g_sharingMutex);
        g_deletePending.insert({file->dev, file->ino, file->generation});
        return true;
    }
    if (::unlinkat(file->parentFd, file->name.c_str(), folder ? AT_REMOVEDIR : 0) != 0) {
        SetErrno(errno);
        return false;
    }
    ForgetRemoved(host);
    return true;
}

FileObject* DeletingHandle(HANDLE handle) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((file->access & DELETE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

}  // namespace

BOOL SetFileInformationByHandle(HANDLE handle, const FILE_DISPOSITION_INFO& info) {
    FileObject* file = DeletingHandle(handle);
    if (!file)
        return false;
    return !info.DeleteFile || DeleteThrough(file, false);
}

BOOL SetFileInformationByHandle(HANDLE handle, const FILE_DISPOSITION_INFO_EX& info) {
    // A kernel of before Windows 10 1709 does not know the class.
    if (sim::ReadConfig().legacyKernel) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    FileObject* file = DeletingHandle(handle);
    if (!file)
        return false;
    if ((info.Flags & FILE_DISPOSITION_FLAG_DELETE) == 0)
        return true;
    return DeleteThrough(file, (info.Flags & FILE_DISPOSITION_FLAG_POSIX_SEMANTICS) != 0);
}

namespace {
HANDLE g_currentDirectory = nullptr;
std::string g_currentDirectoryPath;
std::uint64_t g_currentDirectoryGeneration = 0;
}  // namespace

BOOL SetCurrentDirectoryA(const std::string& path) {
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY_NAME_INVALID);
        return false;
    }
    // Held as Windows holds it: traverse, sharing reading and writing but not deleting.
    HANDLE folder = OpenSpecial(host, 0x20 /* traverse */ | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    if (g_currentDirectory)
        CloseHandle(g_currentDirectory);
    g_currentDirectory = folder;
    g_currentDirectoryPath = sim::ParseWindowsPath(path).ToString();
    g_currentDirectoryGeneration = sim::SandboxGeneration();
    return true;
}

std::string GetCurrentDirectoryA() {
    if (g_currentDirectory && g_currentDirectoryGeneration == sim::SandboxGeneration())
        return g_currentDirectoryPath;
    // Until the program sets one, the host's, on drive Z: as in Wine.
    std::error_code ec;
    std::string path = "Z:" + win::Utf8ToAnsi(fs::current_path(ec).string());
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

BOOL CreateDirectoryA(const std::string& path, const std::string& sddl) {
    // An owner may lead ("O:BA"): the Administrators group, which only an elevated token may
    // name as owner (ERROR_INVALID_OWNER), or the maker itself when none is given.
    std::string securityDescriptor = sddl;
    bool ownedByAdministrators = false;
    if (sddl.rfind("O:", 0) == 0) {
        const std::size_t dacl = sddl.find("D:");
        if (dacl == std::string::npos || sddl.substr(2, dacl - 2) != "BA") {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        if (!sim::ThreadIsElevated()) {
            SetLastError(kErrorInvalidOwner);
            return false;
        }
        securityDescriptor = sddl.substr(dacl);
        ownedByAdministrators = true;
    }
    if (securityDescriptor.rfind("D:", 0) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!CreateDirectoryA(path))
        return false;
    // The sandbox keeps one kind of access list: a protected one that admits only
    // administrators (BA) and SYSTEM (SY) closes the folder to the user's identity.
    const bool adminsOnly = securityDescriptor.rfind("D:P", 0) == 0 &&
                            securityDescriptor.find(";;;BA)") != std::string::npos &&
                            securityDescriptor.find(";;;BU)") == std::string::npos &&
                            securityDescriptor.find(";;;WD)") == std::string::npos &&
                            securityDescriptor.find(";;;AU)") == std::string::npos;
    // A top item of a shared folder records who may use it; elsewhere only a named owner is
    // kept, for GetSecurityInfo.
    fs::path host;
    if (!Resolve(path, &host))
        return true;
    const fs::path real = RealLocation(host, false);
    const bool top = SharedTop(real) == real;
    if ((top && adminsOnly) || (!top && ownedByAdministrators)) {
        std::lock_guard lock(sim::db().mutex());
        sim::db()
            .Prepare("INSERT OR REPLACE INTO file_owners(path, owner) VALUES(?, ?)")
            .Bind(1, real.string())
            .Bind(2, top ? kAdminsOnly : "Administrators")
            .Run();
    }
    return true;
}

DWORD GetFileType(HANDLE handle) {
    auto* file = sim::Lookup<FileObject>(handle);
    struct stat st;
    if (!file || ::fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(ERROR_SUCCESS);
    if (S_ISCHR(st.st_mode))
        return FILE_TYPE_CHAR;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return FILE_TYPE_PIPE;
    return FILE_TYPE_DISK;
}

BOOL SetFileInformationByHandle(HANDLE handle, const FILE_RENAME_INFO& info) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((file->access & DELETE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    fs::path to;
    if (!Resolve(info.FileName, &to))
        return false;
    struct stat there;
    if (file->parentFd < 0 ||
        ::fstatat(file->parentFd, file->name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        there.st_dev != file->dev || there.st_ino != file->ino) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    OwnedFd toParent(::open(to.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (toParent.fd < 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::string leaf = to.filename().string();
    if (!sim::ThreadIsElevated() && (!MayChangeAt(FdPath(file->parentFd) / file->name) ||
                                     !MayChangeAt(FdPath(toParent.fd) / leaf))) {
        return false;
    }
    struct stat target;
    if (::fstatat(toParent.fd, leaf.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!info.ReplaceIfExists) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        if (S_ISDIR(target.st_mode) || (!S_ISLNK(target.st_mode) && IsReadOnly(to))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
    }
    if (::renameat(file->parentFd, file->name.c_str(), toParent.fd, leaf.c_str()) != 0) {
        if (errno == EXDEV)
            SetLastError(ERROR_NOT_SAME_DEVICE);
        else
            SetErrno(errno);
        return false;
    }
    const fs::path from(file->hostPath);
    std::optional<DWORD> attributes = InSandbox(from) ? StoredAttributes(from) : std::nullopt;
    NoteOwner(from, false);
    if (InSandbox(from))
        StoreAttributes(from, std::nullopt);
    ::close(file->parentFd);
    file->parentFd = std::exchange(toParent.fd, -1);
    file->name = leaf;
    file->hostPath = to.string();
    NoteOwner(to, true);
    if (InSandbox(to))
        StoreAttributes(to, attributes);
    return true;
}

DWORD GetSystemWindowsDirectoryA(std::string* buffer, DWORD size) {
    const std::string folder = "C:\\Windows";
    const DWORD length = static_cast<DWORD>(folder.size());
    if (size < length + 1)
        return length + 1;
    if (buffer)
        *buffer = folder;
    return length;
}

DWORD GetTempPathA(DWORD bufferLength, std::string* buffer) {
    std::string path = std::string(sim::TempFolderOfAccount()) + "\\";
    DWORD length = static_cast<DWORD>(path.size());
    if (bufferLength < length + 1)
        return length + 1;
    if (buffer)
        *buffer = path;
    return length;
}

std::int32_t SHGetFolderPathA(HWND, int csidl, HANDLE token, DWORD flags, std::string* path) {
    // E_INVALIDARG for a folder the sandbox does not keep, or a user's token.
    constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057);
    if (csidl != CSIDL_COMMON_APPDATA || token != nullptr || flags != SHGFP_TYPE_CURRENT)
        return kInvalidArgument;
    // The folder is always there on Windows; a fresh sandbox makes it on first use.
    fs::path host;
    if (Resolve("C:\\ProgramData", &host)) {
        std::error_code ec;
        fs::create_directories(host, ec);
    }
    if (path)
        *path = "C:\\ProgramData";
    return 0;
}

DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, DWORD securityInfo, SID* owner) {
    auto* file = sim::Lookup<FileObject>(handle);
    if (!file || objectType != SE_FILE_OBJECT)
        return ERROR_INVALID_HANDLE;
    constexpr DWORD kGenericAll = 0x10000000;
    if ((file->access & (READ_CONTROL | GENERIC_READ | kGenericAll)) == 0)
        return ERROR_ACCESS_DENIED;
    if (securityInfo != OWNER_SECURITY_INFORMATION || !owner)
        return ERROR_INVALID_PARAMETER;
    // The owner the sandbox records for a top item of a shared folder (its maker); the user's
    // own profile belongs to the user; the rest of drive C: to the Administrators group.
    const fs::path real = FdPath(file->fd);
    fs::path root;
    const auto parts = DriveCParts(real, &root);
    bool user = false;
    if (const std::optional<std::string> own = StoredOwner(real); own && !SharedTop(real))
        user = *own == sim::kUserName;
    else if (const std::optional<fs::path> top = SharedTop(real))
        user = StoredOwner(*top) == std::optional<std::string>(sim::kUserName);
    else if (parts && parts->size() >= 2 && win::SameName((*parts)[0], "Users"))
        user = win::SameName((*parts)[1], sim::kUserName);
    *owner =
        user ? SID{SECURITY_NT_AUTHORITY, {21, 1000, 1000, 1000, 1001}}
             : SID{SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
    return ERROR_SUCCESS;
}

DWORD GetLongPathNameA(const std::string& shortPath, DWORD bufferLength, std::string* longPath) {
    // Aliases that a test gave stand for their long names; other parts stay as given.
    const std::string expanded = sim::ExpandShortNames(shortPath);
    if (GetFileAttributesA(expanded) == INVALID_FILE_ATTRIBUTES)
        return 0;
    DWORD length = static_cast<DWORD>(expanded.size());
    if (bufferLength < length + 1)
        return length + 1;
    if (longPath)
        *longPath = expanded;
    return length;
}

DWORD GetTempFileNameA(const std::string& folder, const std::string& prefix, DWORD unique,
                       std::string* result) {
    std::string base = folder;
    if (!base.empty() && !win::EndsWithBackslash(base))
        base += '\\';
    base += prefix.substr(0, 3);
    auto name = [&](DWORD n) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", n & 0xFFFF);
        return base + hex + ".TMP";
    };
    if (unique != 0) {
        if (result)
            *result = name(unique);
        return unique & 0xFFFF;
    }
    DWORD start = (GetTickCount() ^ static_cast<DWORD>(::getpid())) & 0xFFFF;
    for (DWORD i = 0; i < 0x10000; ++i) {
        DWORD n = (start + i) & 0xFFFF;
        if (n == 0)
            continue;
        HANDLE h = CreateFileA(name(n), GENERIC_WRITE, 0, CREATE_NEW, 0);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            if (result)
                *result = name(n);
            return n;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

DWORD GetEnvironmentVariableA(const std::string& name, std::string* value) {
    // The user's own variables (HKCU\Environment) come first, as Windows builds a new
    // process's environment; they may bend even "windir".
    if (std::optional<sim::reg::Value> own = sim::reg::GetValue("HKCU\\Environment", name);
        own && (own->type == REG_SZ || own->type == REG_EXPAND_SZ)) {
        std::string text(own->data.begin(), own->data.end());
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        if (value)
            *value = text;
        return static_cast<DWORD>(text.size());
    }
    const bool wow64 = sim::IsWow64Process();
    const bool system = sim::ReadConfig().user == "system";
    const std::string kProfile = system ? sim::kSystemProfileFolder : "C:\\Users\\User";
    std::string v;
    std::string n = win::LowerAnsi(name);
    if (n == "windir" || n == "systemroot")
        v = "C:\\Windows";
    else if (n == "systemdrive")
        v = "C:";
    else if (n == "temp" || n == "tmp")
        v = sim::TempFolderOfAccount();
    else if (n == "userprofile")
        v = kProfile;
    else if (n == "localappdata")
        v = kProfile + "\\AppData\\Local";
    else if (n == "appdata")
        v = kProfile + "\\AppData\\Roaming";
    else if (n == "username")
        v = system ? std::string(sim::kComputerName) + "$" : sim::kUserName;
    else if (n == "computername")
        v = sim::kComputerName;
    else if (n == "programfiles")
        v = wow64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    else if (n == "processor_architecture")
        v = sim::Is64BitWindows() && !wow64 ? "AMD64" : "x86";
    else if (n == "processor_architew6432" && wow64)
        v = "AMD64";
    else {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (value)
        *value = v;
    return static_cast<DWORD>(v.size());
}

BOOL FileTimeToLocalFileTime(const FILETIME& fileTime, FILETIME* localTime) {
    *localTime = fileTime;  // the sandbox's time zone is UTC
    return true;
}

BOOL LocalFileTimeToFileTime(const FILETIME& localTime, FILETIME* fileTime) {
    *fileTime = localTime;
    return true;
}

BOOL FileTimeToSystemTime(const FILETIME& fileTime, SYSTEMTIME* out) {
    if (fileTime.ticks >= 0x8000000000000000ULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::int64_t since =
        static_cast<std::int64_t>(fileTime.ticks) - static_cast<std::int64_t>(kEpochDifference);
    std::int64_t seconds = since >= 0 ? since / 10000000 : -((-since + 9999999) / 10000000);
    std::int64_t rest = since - seconds * 10000000;
    time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    out->wYear = static_cast<WORD>(tm.tm_year + 1900);
    out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out->wDay = static_cast<WORD>(tm.tm_mday);
    out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    out->wHour = static_cast<WORD>(tm.tm_hour);
    out->wMinute = static_cast<WORD>(tm.tm_min);
    out->wSecond = static_cast<WORD>(tm.tm_sec);
    out->wMilliseconds = static_cast<WORD>(rest / 10000);
    return true;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME* out) {
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 || st.wDay > 31 || st.wHour > 23 ||
        st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999 || st.wYear < 1601) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::tm tm{};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    time_t t = timegm(&tm);
    std::tm check{};
    gmtime_r(&t, &check);
    if (check.tm_mday != st.wDay) {  // 31 February and the like
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    out->ticks = static_cast<std::uint64_t>(static_cast<std::int64_t>(t) * 10000000LL +
                                            static_cast<std::int64_t>(kEpochDifference)) +
                 st.wMilliseconds * 10000ULL;
    return true;
}

}  // namespace quellin::platform
