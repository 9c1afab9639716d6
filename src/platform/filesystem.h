// File system: files and folders by Windows path, attributes, times, the temp folder, the
// environment, and 64-bit file-system redirection.
//
// Paths are Windows paths ("C:\Windows\System32\spool"), compared without regard to case. On
// 64-bit Windows, while redirection is on for the calling thread, a 32-bit program's
// "C:\Windows\System32" names "C:\Windows\SysWOW64", except the system's exempt folders
// (spool, catroot, catroot2, drivers\etc, logfiles, driverstore).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;

// Sharing: an open fails with ERROR_SHARING_VIOLATION when it asks for reading (read data,
// list, execute, traverse), writing or DELETE that an open handle of the object does not
// share, or shares less than such a handle holds. Every process holds its current directory
// open that way (traverse, sharing reading and writing): it cannot be opened with DELETE.
inline constexpr DWORD FILE_LIST_DIRECTORY = 0x1;
inline constexpr DWORD FILE_READ_ATTRIBUTES = 0x80;
inline constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x100;
inline constexpr DWORD SYNCHRONIZE = 0x100000;
// CreateFileA: open a folder (not only files), and open a link itself instead of its target.
inline constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
inline constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
inline constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

DWORD GetFileAttributesA(const std::string& path);
BOOL SetFileAttributesA(const std::string& path, DWORD attributes);
BOOL CreateDirectoryA(const std::string& path);
// CreateDirectoryA with security attributes whose descriptor is given in the security descriptor
// definition language (converted by ConvertStringSecurityDescriptorToSecurityDescriptorA, revision
// 1), e.g. "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)": a folder only administrators and SYSTEM may
// open. ERROR_ALREADY_EXISTS when anything stands at `path`, a link included. A leading
// "O:BA" makes the Administrators group its owner, which only an elevated token may
// (ERROR_INVALID_OWNER otherwise); without it the owner is Windows' default for the maker.
BOOL CreateDirectoryA(const std::string& path, const std::string& securityDescriptor);
// Fails with ERROR_DIR_NOT_EMPTY unless the folder is empty.
BOOL RemoveDirectoryA(const std::string& path);
// Fails with ERROR_ACCESS_DENIED on a read-only file.
BOOL DeleteFileA(const std::string& path);
BOOL CopyFileA(const std::string& existing, const std::string& target, BOOL failIfExists);
BOOL MoveFileExA(const std::string& existing, const std::string& target, DWORD flags);

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    std::uint64_t nFileSize = 0;
    std::string cFileName;
};

// `pattern` is a folder, a backslash and a mask ("*.*", "*", "*.gpd", "name"). The folder's
// own entries "." and ".." come first, as on NTFS. INVALID_HANDLE_VALUE when nothing matches
// (ERROR_FILE_NOT_FOUND) or the folder is missing (ERROR_PATH_NOT_FOUND).
HANDLE FindFirstFileA(const std::string& pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);  // ERROR_NO_MORE_FILES at the end
BOOL FindClose(HANDLE find);

HANDLE CreateFileA(const std::string& path, DWORD access, DWORD shareMode, DWORD disposition,
                   DWORD flagsAndAttributes);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written);
BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* newPosition,
                      DWORD moveMethod);
BOOL GetFileSizeEx(HANDLE file, std::int64_t* size);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
// Null pointers leave a time unread or unchanged.
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write);

// What a handle names, read from the object itself: its attributes (the reparse-point bit
// included), its volume and its identity on that volume, which stays with the object when its
// path changes.
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD dwVolumeSerialNumber = 0;
    std::uint64_t nFileSize = 0;
    DWORD nNumberOfLinks = 0;
    std::uint64_t nFileIndex = 0;  // nFileIndexHigh and nFileIndexLow as one number
};
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);

// What a handle names: a file or folder on a disk, a character device (a console, NUL, a
// port), a pipe; FILE_TYPE_UNKNOWN with ERROR_INVALID_HANDLE for a bad handle.
inline constexpr DWORD FILE_TYPE_UNKNOWN = 0;
inline constexpr DWORD FILE_TYPE_DISK = 1;
inline constexpr DWORD FILE_TYPE_CHAR = 2;
inline constexpr DWORD FILE_TYPE_PIPE = 3;
DWORD GetFileType(HANDLE file);

enum FILE_INFO_BY_HANDLE_CLASS : DWORD {
    FileBasicInfo = 0,
    FileRenameInfo = 3,
    FileDispositionInfo = 4,
    FileIdBothDirectoryInfo = 10,
    FileIdBothDirectoryRestartInfo = 11,
    FileDispositionInfoEx = 21,
};

// One entry of a folder listed through its handle; FileId is the entry's nFileIndex. Names
// come in the ANSI code page ('?' for a character outside it).
struct FILE_ID_BOTH_DIR_INFO {
    DWORD FileAttributes = 0;
    std::uint64_t EndOfFile = 0;
    std::uint64_t FileId = 0;
    std::string FileName;
};
// Lists the folder that `directory` (opened with FILE_LIST_DIRECTORY and
// FILE_FLAG_BACKUP_SEMANTICS) names, a batch per call: FileIdBothDirectoryRestartInfo starts
// over, FileIdBothDirectoryInfo goes on; ERROR_NO_MORE_FILES at the end. "." and ".." are
// listed as on NTFS. ERROR_INVALID_PARAMETER for another class or a handle that is no folder.
BOOL GetFileInformationByHandleEx(HANDLE directory, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                  std::vector<FILE_ID_BOTH_DIR_INFO>* entries);

struct FILE_BASIC_INFO {
    FILETIME CreationTime, LastAccessTime, LastWriteTime, ChangeTime;  // zero: unchanged
    DWORD FileAttributes = 0;                                          // zero: unchanged
};
struct FILE_DISPOSITION_INFO {
    BOOL DeleteFile = false;
};
// FileBasicInfo needs a handle with FILE_WRITE_ATTRIBUTES. FileDispositionInfo needs DELETE
// and marks the object the handle names (a link itself when opened with
// FILE_FLAG_OPEN_REPARSE_POINT) for deletion when its last handle closes: ERROR_ACCESS_DENIED
// for a read-only file, ERROR_DIR_NOT_EMPTY for a folder that holds something.
// While another handle of the object is open the object stays, delete pending, until the last
// one closes: a folder that holds such a file is not empty.
BOOL SetFileInformationByHandle(HANDLE file, const FILE_BASIC_INFO& info);
BOOL SetFileInformationByHandle(HANDLE file, const FILE_DISPOSITION_INFO& info);
// FileDispositionInfoEx: with FILE_DISPOSITION_FLAG_POSIX_SEMANTICS the name goes at once,
// whoever still holds the object. ERROR_INVALID_PARAMETER where Windows or the file system
// does not know the class (before Windows 10 1709, FAT volumes).
inline constexpr DWORD FILE_DISPOSITION_FLAG_DELETE = 0x1;
inline constexpr DWORD FILE_DISPOSITION_FLAG_POSIX_SEMANTICS = 0x2;
struct FILE_DISPOSITION_INFO_EX {
    DWORD Flags = 0;
};
BOOL SetFileInformationByHandle(HANDLE file, const FILE_DISPOSITION_INFO_EX& info);

// The process's current directory, held open as Windows holds it (see sharing above).
BOOL SetCurrentDirectoryA(const std::string& path);
std::string GetCurrentDirectoryA();

// FileRenameInfo: moves the object the handle names (a link itself when opened with
// FILE_FLAG_OPEN_REPARSE_POINT), whatever its old path names by now, to the full path FileName
// on the same volume. Needs DELETE on the handle. ERROR_ALREADY_EXISTS when something stands at
// FileName and ReplaceIfExists is false, ERROR_ACCESS_DENIED when that is a folder or read-only,
// ERROR_NOT_SAME_DEVICE for another volume. A link at FileName is replaced, never followed.
struct FILE_RENAME_INFO {
    BOOL ReplaceIfExists = false;
    std::string FileName;
};
BOOL SetFileInformationByHandle(HANDLE file, const FILE_RENAME_INFO& info);
inline constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;

// The system's Windows folder, as the system knows it whatever the environment says; returns
// the length, 0 on failure, or the size needed (terminating zero included) when `size` is too
// small.
DWORD GetSystemWindowsDirectoryA(std::string* buffer, DWORD size);

// The user's temp folder with its trailing backslash; returns the length, 0 on failure, or
// the size needed (terminating zero included) when `bufferLength` is too small.
DWORD GetTempPathA(DWORD bufferLength, std::string* buffer);
// The long form of an existing path, 8.3 aliases ("PROGRA~1") replaced by their long names;
// returns the length, 0 on failure (the path does not exist), or the size needed (terminating
// zero included) when `bufferLength` is too small.
DWORD GetLongPathNameA(const std::string& shortPath, DWORD bufferLength, std::string* longPath);
// Creates an empty file "<prefix up to 3 chars><hex>.TMP" in `folder` and returns its path.
// A non-zero `unique` only builds the name.
DWORD GetTempFileNameA(const std::string& folder, const std::string& prefix, DWORD unique,
                       std::string* result);
// Returns the length, 0 when the variable is missing (ERROR_ENVVAR_NOT_FOUND, 203).
DWORD GetEnvironmentVariableA(const std::string& name, std::string* value);
inline constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;

// The path of a folder the system knows by its CSIDL value, without a trailing backslash:
// CSIDL_COMMON_APPDATA is the folder for all users' application data ("C:\ProgramData"), which
// any user may add folders to. S_OK (0) or an HRESULT error; SHGFP_TYPE_CURRENT asks for the
// folder's present place.
inline constexpr int CSIDL_COMMON_APPDATA = 0x23;
inline constexpr DWORD SHGFP_TYPE_CURRENT = 0;
std::int32_t SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, std::string* path);

// Local time <-> file time conversions the archive's DOS dates need.
BOOL FileTimeToLocalFileTime(const FILETIME& fileTime, FILETIME* localTime);
BOOL LocalFileTimeToFileTime(const FILETIME& localTime, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME& fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME& systemTime, FILETIME* fileTime);

// Redirection switches of the calling thread, as kernel32 exports them. Callers reach them
// through GetProcAddress (see libraries.h), since 32-bit Windows may lack them.
using Wow64DisableWow64FsRedirectionFn = BOOL (*)(void** oldValue);
using Wow64RevertWow64FsRedirectionFn = BOOL (*)(void* oldValue);

inline void CloseFind(HANDLE h) {
    FindClose(h);
}
using UniqueFindHandle = UniqueResource<HANDLE, CloseFind, InvalidHandle>;

}  // namespace quellin::platform
