#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/dates.h"
#include "platform/filesystem.h"
#include "platform/sim/control.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/strings.h"
#include "platform/text.h"

namespace sim {

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

}  // namespace sim

namespace win {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kEpochDifference = 116444736000000000ULL;

struct FileObject : sim::Object {
    int fd = -1;
    std::string hostPath;
    bool failAfter = false;
    std::uint64_t budget = 0;
    ~FileObject() override {
        if (fd >= 0)
            ::close(fd);
    }
};

struct FindObject : sim::Object {
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t next = 0;
};

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
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    if (::mkdir(host.c_str(), 0777) != 0) {
        SetErrno(errno, true);
        if (errno == ENOENT)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

BOOL RemoveDirectoryA(const std::string& path) {
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        // A junction or directory link is removed as a link; its target stays.
        if (::unlink(host.c_str()) != 0) {
            SetErrno(errno);
            return false;
        }
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
    if (InSandbox(host))
        StoreAttributes(host, std::nullopt);
    return true;
}

BOOL DeleteFileA(const std::string& path) {
    fs::path host;
    if (!Resolve(path, &host))
        return false;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
        SetErrno(errno, ParentMissing(host));
        return false;
    }
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
    if (InSandbox(host))
        StoreAttributes(host, std::nullopt);
    return true;
}

BOOL CopyFileA(const std::string& existing, const std::string& target, BOOL failIfExists) {
    fs::path from, to;
    if (!Resolve(existing, &from) || !Resolve(target, &to))
        return false;
    struct stat st;
    if (::stat(from.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        SetErrno(S_ISDIR(st.st_mode) ? EACCES : errno, ParentMissing(from));
        return false;
    }
    struct stat tst;
    if (::stat(to.c_str(), &tst) == 0) {
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
    struct stat tst;
    if (::lstat(to.c_str(), &tst) == 0) {
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
    if (InSandbox(from))
        StoreAttributes(from, std::nullopt);
    if (InSandbox(to))
        StoreAttributes(to, attributes);
    return true;
}

HANDLE FindFirstFileA(const std::string& pattern, WIN32_FIND_DATAA* data) {
    std::size_t slash = pattern.find_last_of("\\/");
    if (slash == std::string::npos || !data) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder = pattern.substr(0, slash);
    std::string mask = pattern.substr(slash + 1);
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
        return sim::ToUpper(a.first) < sim::ToUpper(b.first);
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

HANDLE CreateFileA(const std::string& path, DWORD access, DWORD, DWORD disposition, DWORD) {
    fs::path host;
    if (!Resolve(path, &host))
        return INVALID_HANDLE_VALUE;
    struct stat st;
    bool exists = ::stat(host.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool writes = (access & GENERIC_WRITE) != 0 || disposition == CREATE_ALWAYS ||
                  disposition == TRUNCATE_EXISTING;
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
    int fd = ::open(host.c_str(), flags, 0666);
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
    file->hostPath = host.string();
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

DWORD GetTempPathA(DWORD bufferLength, std::string* buffer) {
    std::string path = std::string(sim::kTempFolder) + "\\";
    DWORD length = static_cast<DWORD>(path.size());
    if (bufferLength < length + 1)
        return length + 1;
    if (buffer)
        *buffer = path;
    return length;
}

DWORD GetLongPathNameA(const std::string& shortPath, DWORD bufferLength, std::string* longPath) {
    // The sandbox's volumes keep no 8.3 aliases: an existing path is its own long form.
    if (GetFileAttributesA(shortPath) == INVALID_FILE_ATTRIBUTES)
        return 0;
    DWORD length = static_cast<DWORD>(shortPath.size());
    if (bufferLength < length + 1)
        return length + 1;
    if (longPath)
        *longPath = shortPath;
    return length;
}

DWORD GetTempFileNameA(const std::string& folder, const std::string& prefix, DWORD unique,
                       std::string* result) {
    std::string base = folder;
    if (!base.empty() && base.back() != '\\')
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
    bool x64 = sim::Is64BitWindows();
    static const char* kProfile = "C:\\Users\\User";
    std::string v;
    std::string n = sim::ToLower(name);
    if (n == "windir" || n == "systemroot")
        v = "C:\\Windows";
    else if (n == "systemdrive")
        v = "C:";
    else if (n == "temp" || n == "tmp")
        v = sim::kTempFolder;
    else if (n == "userprofile")
        v = kProfile;
    else if (n == "localappdata")
        v = std::string(kProfile) + "\\AppData\\Local";
    else if (n == "appdata")
        v = std::string(kProfile) + "\\AppData\\Roaming";
    else if (n == "username")
        v = sim::kUserName;
    else if (n == "computername")
        v = sim::kComputerName;
    else if (n == "programfiles")
        v = x64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    else if (n == "processor_architecture")
        v = "x86";
    else if (n == "processor_architew6432" && x64)
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

}  // namespace win
