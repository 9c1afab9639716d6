#include "archive/file_stream.h"

#include <algorithm>
#include <limits>

#include "archive/zip_errors.h"
#include "platform/dates.h"
#include "platform/plain_file.h"

namespace quellin::archive {

std::string LastErrorText() {
    return win::FormatSystemMessage(win::GetLastError());
}

TBufferedFileStream TBufferedFileStream::OpenRead(const std::string& path) {
    win::UniqueFileHandle file(win::CreateFileA(path, win::GENERIC_READ,
                                                win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                                win::OPEN_EXISTING, 0));
    if (!file) {
        throw EFOpenError(path, LastErrorText());
    }
    return TBufferedFileStream(std::move(file), path);
}

TBufferedFileStream TBufferedFileStream::Create(const std::string& path) {
    win::UniqueFileHandle file(win::CreateFileA(path, win::GENERIC_READ | win::GENERIC_WRITE,
                                                win::FILE_SHARE_READ, win::CREATE_ALWAYS,
                                                win::FILE_ATTRIBUTE_NORMAL));
    if (!file) {
        throw EFCreateError(path, LastErrorText());
    }
    return TBufferedFileStream(std::move(file), path);
}

TBufferedFileStream TBufferedFileStream::OpenPlain(const std::string& path) {
    win::UniqueFileHandle file = win::OpenPlainFile(
        path, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING);
    if (!file) {
        const win::DWORD error = win::GetLastError();
        throw EFOpenError(path,
                          error == win::ERROR_ACCESS_DENIED &&
                                  win::GetFileAttributesA(path) != win::INVALID_FILE_ATTRIBUTES
                              ? "It is not a plain file (a link, a folder or a device)."
                              : win::FormatSystemMessage(error));
    }
    return TBufferedFileStream(std::move(file), path);
}

TBufferedFileStream TBufferedFileStream::CreateNew(const std::string& path) {
    win::UniqueFileHandle file =
        win::OpenPlainFile(path, win::GENERIC_READ | win::GENERIC_WRITE | win::DELETE,
                           win::FILE_SHARE_READ, win::CREATE_NEW, true);
    if (!file) {
        throw EFCreateError(path, LastErrorText());
    }
    return TBufferedFileStream(std::move(file), path);
}

TBufferedFileStream TBufferedFileStream::CreateTemporary(const std::string& folder,
                                                         const std::string& prefix) {
    const win::DWORD start = win::GetTickCount();
    for (win::DWORD i = 0; i < 0x10000; ++i) {
        const win::DWORD unique = ((start + i) & 0xFFFF) | ((start + i) & 0xFFFF ? 0 : 1);
        std::string path;
        if (win::GetTempFileNameA(folder, prefix, unique, &path) == 0) {
            break;
        }
        win::UniqueFileHandle file =
            win::OpenPlainFile(path, win::GENERIC_READ | win::GENERIC_WRITE | win::DELETE,
                               win::FILE_SHARE_READ, win::CREATE_NEW, true);
        if (file) {
            return TBufferedFileStream(std::move(file), path);
        }
        if (win::GetLastError() != win::ERROR_FILE_EXISTS) {
            throw EFCreateError(path, LastErrorText());
        }
    }
    throw EFCreateError(folder + prefix + ".tmp", LastErrorText());
}

bool TBufferedFileStream::RenameTo(const std::string& target) {
    Flush();
    win::FILE_RENAME_INFO rename;
    rename.ReplaceIfExists = true;
    rename.FileName = target;
    if (!win::SetFileInformationByHandle(file_.get(), rename)) {
        return false;
    }
    path_ = target;
    return true;
}

void TBufferedFileStream::Discard() {
    buffer_.clear();
    if (file_) {
        win::FILE_DISPOSITION_INFO gone;
        gone.DeleteFile = true;
        win::SetFileInformationByHandle(file_.get(), gone);
        file_.reset();
    }
}

TBufferedFileStream::~TBufferedFileStream() {
    if (file_) {
        try {
            Flush();
        } catch (const EZipperError&) {
            // Only reached while an error is already on its way out.
        }
    }
}

void TBufferedFileStream::Fail(const char* what) {
    throw EFileIOError(std::string(what) + " \"" + path_ + "\". " + LastErrorText());
}

std::uint64_t TBufferedFileStream::Size() {
    Flush();
    std::int64_t size = 0;
    if (!win::GetFileSizeEx(file_.get(), &size)) {
        Fail("Cannot read the size of");
    }
    return static_cast<std::uint64_t>(size);
}

void TBufferedFileStream::Seek(std::uint64_t position) {
    Flush();
    if (position == position_) {
        return;
    }
    std::int64_t now = 0;
    if (!win::SetFilePointerEx(file_.get(), static_cast<std::int64_t>(position), &now,
                               win::FILE_BEGIN)) {
        Fail("Cannot seek in");
    }
    position_ = static_cast<std::uint64_t>(now);
}

std::size_t TBufferedFileStream::Read(std::span<std::uint8_t> out) {
    Flush();
    std::size_t total = 0;
    while (total < out.size()) {
        const auto want = static_cast<win::DWORD>(
            std::min<std::size_t>(out.size() - total, std::numeric_limits<win::DWORD>::max()));
        win::DWORD got = 0;
        if (!win::ReadFile(file_.get(), out.data() + total, want, &got)) {
            Fail("Cannot read");
        }
        if (got == 0) {
            break;
        }
        total += got;
        position_ += got;
    }
    return total;
}

void TBufferedFileStream::Write(std::span<const std::uint8_t> data) {
    if (buffer_.size() + data.size() <= kBufferSize) {
        buffer_.insert(buffer_.end(), data.begin(), data.end());
        return;
    }
    Flush();
    if (data.size() < kBufferSize) {
        buffer_.assign(data.begin(), data.end());
        return;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const auto want = static_cast<win::DWORD>(
            std::min<std::size_t>(data.size() - done, std::numeric_limits<win::DWORD>::max()));
        win::DWORD wrote = 0;
        if (!win::WriteFile(file_.get(), data.data() + done, want, &wrote) || wrote == 0) {
            Fail("Cannot write");
        }
        done += wrote;
        position_ += wrote;
    }
}

void TBufferedFileStream::Flush() {
    if (buffer_.empty()) {
        return;
    }
    std::size_t done = 0;
    while (done < buffer_.size()) {
        win::DWORD wrote = 0;
        if (!win::WriteFile(file_.get(), buffer_.data() + done,
                            static_cast<win::DWORD>(buffer_.size() - done), &wrote) ||
            wrote == 0) {
            buffer_.clear();
            Fail("Cannot write");
        }
        done += wrote;
    }
    position_ += done;
    buffer_.clear();
}

void TBufferedFileStream::Close() {
    Flush();
    file_.reset();
}

std::size_t FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset >= size_) {
        return 0;
    }
    file_.Seek(offset);
    return file_.Read(
        out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset))));
}

}  // namespace quellin::archive
