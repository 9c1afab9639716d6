#include "platform/filesystem.h"

#include <vector>

#include "platform/text.h"

#include "platform/win32/windows_api.h"
// After windows.h: it needs its types.
#include <sddl.h>
#include <shlobj.h>

namespace quellin::platform {

namespace {

// Names are listed in UTF-16 and converted as every name the program converts: without best
// fit, since the ANSI functions' own look-alike ("L" for "\u0141") would name another file.
void Copy(const ::WIN32_FIND_DATAW& from, WIN32_FIND_DATAA* to) {
    to->dwFileAttributes = from.dwFileAttributes;
    to->ftCreationTime = native::Layer(from.ftCreationTime);
    to->ftLastAccessTime = native::Layer(from.ftLastAccessTime);
    to->ftLastWriteTime = native::Layer(from.ftLastWriteTime);
    to->nFileSize = (static_cast<std::uint64_t>(from.nFileSizeHigh) << 32) | from.nFileSizeLow;
    const std::wstring name(from.cFileName);
    to->cFileName = WideToAnsi(std::u16string(name.begin(), name.end()));
}

}  // namespace

DWORD GetFileAttributesA(const std::string& path) {
    return ::GetFileAttributesA(path.c_str());
}

BOOL SetFileAttributesA(const std::string& path, DWORD attributes) {
    return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

BOOL CreateDirectoryA(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

BOOL CreateDirectoryA(const std::string& path, const std::string& securityDescriptor) {
    ::PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
            securityDescriptor.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    ::SECURITY_ATTRIBUTES attributes{sizeof(::SECURITY_ATTRIBUTES), descriptor, FALSE};
    const BOOL made = ::CreateDirectoryA(path.c_str(), &attributes) != FALSE;
    native::KeepLastError keep;
    ::LocalFree(descriptor);
    return made;
}

std::int32_t SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, std::string* path) {
    char buffer[MAX_PATH] = {};
    const ::HRESULT hr =
        ::SHGetFolderPathA(native::Native(owner), csidl, native::Native(token), flags, buffer);
    if (hr == S_OK && path)
        *path = buffer;
    return static_cast<std::int32_t>(hr);
}

BOOL RemoveDirectoryA(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) != FALSE;
}

BOOL DeleteFileA(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != FALSE;
}

BOOL CopyFileA(const std::string& existing, const std::string& target, BOOL failIfExists) {
    return ::CopyFileA(existing.c_str(), target.c_str(), failIfExists) != FALSE;
}

BOOL MoveFileExA(const std::string& existing, const std::string& target, DWORD flags) {
    return ::MoveFileExA(existing.c_str(), native::OrNull(target), flags) != FALSE;
}

HANDLE FindFirstFileA(const std::string& pattern, WIN32_FIND_DATAA* data) {
    ::WIN32_FIND_DATAW found{};
    const std::u16string wide = AnsiToWide(pattern);
    const std::wstring widePattern(wide.begin(), wide.end());
    ::HANDLE find = ::FindFirstFileW(widePattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE && data) {
        native::KeepLastError keep;
        Copy(found, data);
    }
    return native::Layer(find);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    ::WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(native::Native(find), &found))
        return false;
    if (data)
        Copy(found, data);
    return true;
}

BOOL FindClose(HANDLE find) {
    return ::FindClose(native::Native(find)) != FALSE;
}

HANDLE CreateFileA(const std::string& path, DWORD access, DWORD shareMode, DWORD disposition,
                   DWORD flagsAndAttributes) {
    return native::Layer(::CreateFileA(path.c_str(), access, shareMode, nullptr, disposition,
                                       flagsAndAttributes, nullptr));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) {
    ::DWORD done = 0;
    BOOL ok = ::ReadFile(native::Native(file), buffer, toRead, &done, nullptr) != FALSE;
    if (read)
        *read = done;
    return ok;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) {
    ::DWORD done = 0;
    BOOL ok = ::WriteFile(native::Native(file), buffer, toWrite, &done, nullptr) != FALSE;
    if (written)
        *written = done;
    return ok;
}

BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* newPosition,
                      DWORD moveMethod) {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER position{};
    BOOL ok = ::SetFilePointerEx(native::Native(file), move, &position, moveMethod) != FALSE;
    if (ok && newPosition)
        *newPosition = position.QuadPart;
    return ok;
}

BOOL GetFileSizeEx(HANDLE file, std::int64_t* size) {
    LARGE_INTEGER value{};
    BOOL ok = ::GetFileSizeEx(native::Native(file), &value) != FALSE;
    if (ok && size)
        *size = value.QuadPart;
    return ok;
}

BOOL SetEndOfFile(HANDLE file) {
    return ::SetEndOfFile(native::Native(file)) != FALSE;
}

BOOL FlushFileBuffers(HANDLE file) {
    return ::FlushFileBuffers(native::Native(file)) != FALSE;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write) {
    ::FILETIME c{}, a{}, w{};
    if (!::GetFileTime(native::Native(file), creation ? &c : nullptr, access ? &a : nullptr,
                       write ? &w : nullptr))
        return false;
    if (creation)
        *creation = native::Layer(c);
    if (access)
        *access = native::Layer(a);
    if (write)
        *write = native::Layer(w);
    return true;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write) {
    ::FILETIME c = creation ? native::Native(*creation) : ::FILETIME{};
    ::FILETIME a = access ? native::Native(*access) : ::FILETIME{};
    ::FILETIME w = write ? native::Native(*write) : ::FILETIME{};
    return ::SetFileTime(native::Native(file), creation ? &c : nullptr, access ? &a : nullptr,
                         write ? &w : nullptr) != FALSE;
}

DWORD GetTempPathA(DWORD bufferLength, std::string* buffer) {
    std::vector<char> text(bufferLength + 1, '\0');
    ::DWORD length = ::GetTempPathA(bufferLength, text.data());
    if (length > 0 && length < bufferLength && buffer) {
        native::KeepLastError keep;
        buffer->assign(text.data(), length);
    }
    return length;
}

DWORD GetLongPathNameA(const std::string& shortPath, DWORD bufferLength, std::string* longPath) {
    std::vector<char> text(bufferLength + 1, '\0');
    ::DWORD length = ::GetLongPathNameA(shortPath.c_str(), text.data(), bufferLength);
    if (length > 0 && length < bufferLength && longPath) {
        native::KeepLastError keep;
        longPath->assign(text.data(), length);
    }
    return length;
}

DWORD GetTempFileNameA(const std::string& folder, const std::string& prefix, DWORD unique,
                       std::string* result) {
    char name[MAX_PATH + 1] = {};
    ::UINT number = ::GetTempFileNameA(folder.c_str(), prefix.c_str(), unique, name);
    if (number != 0 && result) {
        native::KeepLastError keep;
        *result = name;
    }
    return number;
}

DWORD GetEnvironmentVariableA(const std::string& name, std::string* value) {
    ::DWORD needed = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed == 0)
        return 0;
    std::vector<char> text(needed + 1, '\0');
    ::DWORD length = ::GetEnvironmentVariableA(name.c_str(), text.data(), needed + 1);
    if (length == 0 || length > needed)
        return length;
    if (value) {
        native::KeepLastError keep;
        value->assign(text.data(), length);
    }
    return length;
}

BOOL FileTimeToLocalFileTime(const FILETIME& fileTime, FILETIME* localTime) {
    ::FILETIME in = native::Native(fileTime), out{};
    if (!::FileTimeToLocalFileTime(&in, &out))
        return false;
    if (localTime)
        *localTime = native::Layer(out);
    return true;
}

BOOL LocalFileTimeToFileTime(const FILETIME& localTime, FILETIME* fileTime) {
    ::FILETIME in = native::Native(localTime), out{};
    if (!::LocalFileTimeToFileTime(&in, &out))
        return false;
    if (fileTime)
        *fileTime = native::Layer(out);
    return true;
}

BOOL FileTimeToSystemTime(const FILETIME& fileTime, SYSTEMTIME* systemTime) {
    ::FILETIME in = native::Native(fileTime);
    ::SYSTEMTIME out{};
    if (!::FileTimeToSystemTime(&in, &out))
        return false;
    if (systemTime)
        *systemTime = native::Layer(out);
    return true;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME& systemTime, FILETIME* fileTime) {
    ::SYSTEMTIME in = native::Native(systemTime);
    ::FILETIME out{};
    if (!::SystemTimeToFileTime(&in, &out))
        return false;
    if (fileTime)
        *fileTime = native::Layer(out);
    return true;
}

}  // namespace quellin::platform

namespace quellin::platform {

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    ::BY_HANDLE_FILE_INFORMATION raw{};
    if (!::GetFileInformationByHandle(native::Native(file), &raw))
        return false;
    if (info) {
        info->dwFileAttributes = raw.dwFileAttributes;
        info->ftCreationTime = native::Layer(raw.ftCreationTime);
        info->ftLastAccessTime = native::Layer(raw.ftLastAccessTime);
        info->ftLastWriteTime = native::Layer(raw.ftLastWriteTime);
        info->dwVolumeSerialNumber = raw.dwVolumeSerialNumber;
        info->nFileSize = (static_cast<std::uint64_t>(raw.nFileSizeHigh) << 32) | raw.nFileSizeLow;
        info->nNumberOfLinks = raw.nNumberOfLinks;
        info->nFileIndex =
            (static_cast<std::uint64_t>(raw.nFileIndexHigh) << 32) | raw.nFileIndexLow;
    }
    return true;
}

BOOL GetFileInformationByHandleEx(HANDLE directory, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                  std::vector<FILE_ID_BOTH_DIR_INFO>* entries) {
    if (!entries ||
        (infoClass != FileIdBothDirectoryInfo && infoClass != FileIdBothDirectoryRestartInfo)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Records are 8-byte aligned and variable in length, their names UTF-16.
    std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
    if (!::GetFileInformationByHandleEx(
            native::Native(directory), static_cast<::FILE_INFO_BY_HANDLE_CLASS>(infoClass),
            buffer.data(), static_cast<::DWORD>(buffer.size() * sizeof(std::uint64_t)))) {
        return false;
    }
    native::KeepLastError keep;
    entries->clear();
    const auto* base = reinterpret_cast<const unsigned char*>(buffer.data());
    for (std::size_t offset = 0;;) {
        const auto* raw = reinterpret_cast<const ::FILE_ID_BOTH_DIR_INFO*>(base + offset);
        FILE_ID_BOTH_DIR_INFO entry;
        entry.FileAttributes = raw->FileAttributes;
        entry.EndOfFile = static_cast<std::uint64_t>(raw->EndOfFile.QuadPart);
        entry.FileId = static_cast<std::uint64_t>(raw->FileId.QuadPart);
        // Without best fit, as every name the program converts: a look-alike would name
        // another file.
        const std::size_t units = raw->FileNameLength / sizeof(WCHAR);
        entry.FileName =
            WideToAnsi(std::u16string(reinterpret_cast<const char16_t*>(raw->FileName),
                                      reinterpret_cast<const char16_t*>(raw->FileName) + units));
        entries->push_back(std::move(entry));
        if (raw->NextEntryOffset == 0)
            break;
        offset += raw->NextEntryOffset;
    }
    return true;
}

BOOL SetFileInformationByHandle(HANDLE file, const FILE_BASIC_INFO& info) {
    ::FILE_BASIC_INFO raw{};
    raw.CreationTime.QuadPart = static_cast<LONGLONG>(info.CreationTime.ticks);
    raw.LastAccessTime.QuadPart = static_cast<LONGLONG>(info.LastAccessTime.ticks);
    raw.LastWriteTime.QuadPart = static_cast<LONGLONG>(info.LastWriteTime.ticks);
    raw.ChangeTime.QuadPart = static_cast<LONGLONG>(info.ChangeTime.ticks);
    raw.FileAttributes = info.FileAttributes;
    return ::SetFileInformationByHandle(native::Native(file), ::FileBasicInfo, &raw, sizeof raw) !=
           FALSE;
}

#pragma push_macro("DeleteFile")
#undef DeleteFile
BOOL SetFileInformationByHandle(HANDLE file, const FILE_DISPOSITION_INFO& info) {
    ::FILE_DISPOSITION_INFO raw{static_cast<BOOLEAN>(info.DeleteFile ? TRUE : FALSE)};
    return ::SetFileInformationByHandle(native::Native(file), ::FileDispositionInfo, &raw,
                                        sizeof raw) != FALSE;
}
#pragma pop_macro("DeleteFile")

BOOL SetFileInformationByHandle(HANDLE file, const FILE_RENAME_INFO& info) {
    const int units = ::MultiByteToWideChar(CP_ACP, 0, info.FileName.data(),
                                            static_cast<int>(info.FileName.size()), nullptr, 0);
    if (units <= 0 && !info.FileName.empty())
        return false;
    // The name runs on past the structure's one-character array, with its terminating zero.
    std::vector<std::uint64_t> buffer(
        (sizeof(::FILE_RENAME_INFO) + (static_cast<std::size_t>(units) + 1) * sizeof(WCHAR)) /
            sizeof(std::uint64_t) +
        1);
    auto* raw = reinterpret_cast<::FILE_RENAME_INFO*>(buffer.data());
    raw->ReplaceIfExists = info.ReplaceIfExists ? TRUE : FALSE;
    raw->RootDirectory = nullptr;
    raw->FileNameLength = static_cast<::DWORD>(units) * sizeof(WCHAR);
    ::MultiByteToWideChar(CP_ACP, 0, info.FileName.data(), static_cast<int>(info.FileName.size()),
                          raw->FileName, units);
    raw->FileName[units] = L'\0';
    return ::SetFileInformationByHandle(
               native::Native(file), ::FileRenameInfo, raw,
               static_cast<::DWORD>(buffer.size() * sizeof(std::uint64_t))) != FALSE;
}

DWORD GetFileType(HANDLE file) {
    return ::GetFileType(native::Native(file));
}

BOOL SetFileInformationByHandle(HANDLE file, const FILE_DISPOSITION_INFO_EX& info) {
    // FILE_DISPOSITION_INFO_EX as Windows lays it out; older headers lack it.
    struct {
        ::DWORD Flags;
    } raw{info.Flags};
    return ::SetFileInformationByHandle(native::Native(file),
                                        static_cast<::FILE_INFO_BY_HANDLE_CLASS>(21), &raw,
                                        sizeof raw) != FALSE;
}

BOOL SetCurrentDirectoryA(const std::string& path) {
    return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

std::string GetCurrentDirectoryA() {
    const ::DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
    std::string path(needed > 0 ? needed : 1, '\0');
    const ::DWORD length = ::GetCurrentDirectoryA(static_cast<::DWORD>(path.size()), path.data());
    path.resize(length < path.size() ? length : 0);
    return path;
}

DWORD GetSystemWindowsDirectoryA(std::string* buffer, DWORD size) {
    std::string text(size > 0 ? size : 1, '\0');
    const ::UINT length = ::GetSystemWindowsDirectoryA(text.data(), size);
    if (length == 0 || length >= size)
        return length;
    native::KeepLastError keep;
    text.resize(length);
    if (buffer)
        *buffer = text;
    return length;
}

}  // namespace quellin::platform
