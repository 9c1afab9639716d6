// The archive file as the component reads and writes it, over the platform's file calls.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "platform/filesystem.h"

namespace quellin::archive {

// A file handle with a small write buffer, so that headers and names go out in one call.
// Failures raise the component's file errors with the path and the system's text.
class TBufferedFileStream {
  public:
    // Opens an existing file for reading; others may read and write it meanwhile.
    static TBufferedFileStream OpenRead(const std::string& path);
    // Creates (or truncates) a file for writing and reading back.
    static TBufferedFileStream Create(const std::string& path);
    // Opens an existing plain file for reading without following a link at its name; a link, a
    // folder or a device there raises EFOpenError ("not a plain file").
    static TBufferedFileStream OpenPlain(const std::string& path);
    // Creates a file of a new name (a link standing there makes it fail, never followed) for
    // writing, reading back, renaming and deleting through its handle.
    static TBufferedFileStream CreateNew(const std::string& path);
    // CreateNew under a fresh "<prefix><hex>.TMP" name in `folder` (with its backslash).
    static TBufferedFileStream CreateTemporary(const std::string& folder,
                                               const std::string& prefix);
    // Takes over an open handle.
    static TBufferedFileStream Adopt(win::UniqueFileHandle file, std::string path) {
        return TBufferedFileStream(std::move(file), std::move(path));
    }

    TBufferedFileStream(TBufferedFileStream&&) = default;
    TBufferedFileStream& operator=(TBufferedFileStream&&) = default;
    ~TBufferedFileStream();

    const std::string& Path() const { return path_; }
    win::HANDLE Handle() const { return file_.get(); }

    std::uint64_t Size();
    std::uint64_t Position() const { return position_ + buffer_.size(); }
    void Seek(std::uint64_t position);
    // Reads up to out.size() bytes at the current position.
    std::size_t Read(std::span<std::uint8_t> out);
    void Write(std::span<const std::uint8_t> data);
    void Flush();
    // Flushes and closes; errors surface here instead of being lost in the destructor.
    void Close();
    // Flushes and gives the file the name `target` through its handle (of CreateNew),
    // replacing what stands there (a link itself, never its target). False, and nothing
    // changed, on failure; GetLastError tells why.
    bool RenameTo(const std::string& target);
    // Deletes the file through its handle (of CreateNew) and closes it; never raises.
    void Discard();

  private:
    TBufferedFileStream(win::UniqueFileHandle file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {}
    [[noreturn]] void Fail(const char* what);

    static constexpr std::size_t kBufferSize = 8192;
    win::UniqueFileHandle file_;
    std::string path_;
    std::uint64_t position_ = 0;  // of the handle, i.e. where the buffer starts
    std::vector<std::uint8_t> buffer_;
};

// Lets the archive reader work on an open file.
class FileSource : public ByteSource {
  public:
    explicit FileSource(TBufferedFileStream& file) : file_(file), size_(file.Size()) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    TBufferedFileStream& file_;
    std::uint64_t size_;
};

// The system's text for the calling thread's last error.
std::string LastErrorText();

}  // namespace quellin::archive
