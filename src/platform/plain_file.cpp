#include "platform/plain_file.h"

#include <vector>

namespace quellin::platform {

bool IsPlainFile(HANDLE file, bool singleName, BY_HANDLE_FILE_INFORMATION* info) {
    BY_HANDLE_FILE_INFORMATION own;
    BY_HANDLE_FILE_INFORMATION& seen = info ? *info : own;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &seen))
        return false;
    return (seen.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
               0 &&
           (!singleName || seen.nNumberOfLinks == 1);
}

UniqueFileHandle OpenPlainFile(const std::string& path, DWORD access, DWORD shareMode,
                               DWORD disposition, bool singleName) {
    UniqueFileHandle file(CreateFileA(path, access, shareMode, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file) {
        if (disposition == CREATE_NEW && GetLastError() == ERROR_ALREADY_EXISTS)
            SetLastError(ERROR_FILE_EXISTS);
        return file;
    }
    if (!IsPlainFile(file.get(), singleName)) {
        file.reset();
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return file;
}

bool RemoveFileOrLink(const std::string& path) {
    UniqueFileHandle file(CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
        return false;
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // A read-only file refuses to be deleted until the mark is gone.
    if (!link && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        FILE_BASIC_INFO basic;
        basic.FileAttributes =
            (info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_ARCHIVE;
        if (!SetFileInformationByHandle(file.get(), basic))
            return false;
    }
    FILE_DISPOSITION_INFO gone;
    gone.DeleteFile = true;
    return SetFileInformationByHandle(file.get(), gone);
}

bool CopyFileBytes(HANDLE from, HANDLE to) {
    if (!SetFilePointerEx(from, 0, nullptr, FILE_BEGIN))
        return false;
    std::vector<char> buffer(65536);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got))
            return false;
        if (got == 0)
            return true;
        DWORD wrote = 0;
        if (!WriteFile(to, buffer.data(), got, &wrote) || wrote != got)
            return false;
    }
}

}  // namespace quellin::platform
