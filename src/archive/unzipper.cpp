#include "archive/unzipper.h"

#include <array>
#include <exception>
#include <optional>

#include "archive/decode_ahead.h"
#include "archive/file_stream.h"
#include "platform/filesystem.h"
#include "platform/text.h"

namespace quellin::archive {
namespace {

// Empties FilesList on every way out of an operation.
class ClearOnExit {
  public:
    explicit ClearOnExit(std::vector<std::string>& list) : list_(list) {}
    ~ClearOnExit() { list_.clear(); }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

  private:
    std::vector<std::string>& list_;
};

std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 1 && win::EndsWithBackslash(path) &&
           !(path.size() == 3 && path[1] == ':')) {
        path.pop_back();
    }
    return path;
}

// Attributes that a file can carry; a stored value from another system (a Unix mode in the
// high bits, the folder bit) must not reach SetFileAttributesA.
win::DWORD FileAttributesFrom(std::uint32_t external) {
    const win::DWORD kept = external & (win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN |
                                        win::FILE_ATTRIBUTE_SYSTEM | win::FILE_ATTRIBUTE_ARCHIVE);
    return kept ? kept : win::FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

std::uint32_t FileTimeToDos(const win::FILETIME& utc) {
    win::FILETIME local;
    win::SYSTEMTIME st;
    if (!win::FileTimeToLocalFileTime(utc, &local) || !win::FileTimeToSystemTime(local, &st)) {
        return SystemTimeToDosDateTime(win::SYSTEMTIME{1980, 1, 0, 1, 0, 0, 0, 0});
    }
    return SystemTimeToDosDateTime(st);
}

win::FILETIME DosToFileTime(std::uint32_t dosDateTime) {
    const win::SYSTEMTIME st = DosDateTimeToSystemTime(dosDateTime);
    win::FILETIME local, utc;
    if (!win::SystemTimeToFileTime(st, &local) || !win::LocalFileTimeToFileTime(local, &utc)) {
        return {};
    }
    return utc;
}

bool FileExists(const std::string& path) {
    const win::DWORD a = win::GetFileAttributesA(path);
    return a != win::INVALID_FILE_ATTRIBUTES && (a & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool ForceDirectories(const std::string& path) {
    const std::string dir = WithoutTrailingBackslash(path);
    auto isFolder = [](const std::string& p) {
        const win::DWORD a = win::GetFileAttributesA(p);
        return a != win::INVALID_FILE_ATTRIBUTES && (a & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    };
    if (dir.empty() || isFolder(dir)) {
        return !dir.empty();
    }
    if (const std::string parent = win::FolderOf(dir); !parent.empty()) {
        ForceDirectories(parent + "\\");
    }
    win::CreateDirectoryA(dir);
    return isFolder(dir);
}

void TUnZipper::LoadDirectory(const std::string& path, TBufferedFileStream& file) {
    FileStamp stamp{win::UpperAnsi(path), file.Size(), {}};
    win::GetFileTime(file.Handle(), nullptr, nullptr, &stamp.WriteTime);
    if (stamp_ && *stamp_ == stamp) {
        return;
    }
    stamp_.reset();
    FileSource source(file);
    // Self-extracting archives carry their program first; the scan starts past it.
    const bool exe = path.size() >= 4 && win::SameName(path.substr(path.size() - 4), ".EXE");
    directory_ = ReadDirectory(source, exe ? 14000 : 0);
    stamp_ = stamp;
}

const std::vector<TZipEntryInfo>& TUnZipper::ReadZipDirectory() {
    auto file = TBufferedFileStream::OpenRead(ZipName);
    LoadDirectory(ZipName, file);
    return directory_.Entries;
}

std::optional<LocalHeader> TUnZipper::ReadLocalHeader(const TZipEntryInfo& entry) const {
    auto file = TBufferedFileStream::OpenRead(ZipName);
    FileSource source(file);
    std::array<std::uint8_t, kLocalHeaderSize> raw{};
    if (source.ReadAt(entry.LocalHeaderOffset, raw) != raw.size()) {
        return std::nullopt;
    }
    return DecodeLocalHeader(raw);
}

bool TUnZipper::Selected(const TZipEntryInfo& entry) const {
    if (DoAll) {
        return !entry.FileName.empty() || RecreateDirs;
    }
    const std::string name = entry.FullName();
    for (const auto& pattern : FilesList) {
        if (MatchesPattern(name, pattern)) {
            return true;
        }
    }
    return false;
}

int TUnZipper::UnZip() {
    ClearOnExit clear(FilesList);
    auto file = TBufferedFileStream::OpenRead(ZipName);
    LoadDirectory(ZipName, file);
    FileSource source(file);

    const std::string folder = WithoutTrailingBackslash(DestDir);
    if (folder.empty()) {
        throw EZipperError("No destination folder was given.");
    }
    // A folder that can't be made raises nothing: its targets then can't be created, and
    // such targets are skipped without notice.
    ForceDirectories(folder);

    const std::vector<TZipEntryInfo>& entries = directory_.Entries;
    std::vector<bool> selected(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        selected[i] = Selected(entries[i]);
    }
    LockedSource shared(source);
    DecodeAhead ahead(shared, entries, selected);
    ExtractBuffers buffers;
    int extracted = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ProcessMessages();
        auto decode = [&](const DataSink& sink) {
            std::optional<DecodeAhead::Decoded> ready = ahead.Take(i);
            if (!ready) {
                return ExtractEntryData(shared, entries[i], sink, &buffers);
            }
            if (ready->Failure) {
                std::rethrow_exception(ready->Failure);
            }
            if (ready->Outcome == EntryOutcome::Ok) {
                sink(ready->Data);
            }
            return ready->Outcome;
        };
        if (selected[i] && ExtractOne(entries[i], folder, decode)) {
            ++extracted;
        }
    }
    return extracted;
}

bool TUnZipper::ExtractOne(const TZipEntryInfo& entry, const std::string& folder,
                           const EntryDecoder& decode) {
    // Every part of the path below DestDir must be a plain name, so that no entry can
    // reach outside it or name a device or stream.
    std::string targetFolder = folder;
    if (RecreateDirs && !entry.FolderName.empty()) {
        for (const std::string& part : win::SplitPath(entry.FolderName)) {
            if (part.empty()) {
                continue;  // "a\\\\b" or a leading backslash
            }
            if (!IsSafeFileName(part)) {
                return false;
            }
            targetFolder += "\\" + part;
        }
        if (!ForceDirectories(targetFolder)) {
            return false;
        }
    }
    if (entry.FileName.empty()) {
        return false;  // a folder entry: the folder was made above
    }
    if (!IsSafeFileName(entry.FileName)) {
        return false;
    }
    const std::string target = targetFolder + "\\" + entry.FileName;

    const win::DWORD existing = win::GetFileAttributesA(target);
    if (existing != win::INVALID_FILE_ATTRIBUTES) {
        if ((existing & win::FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return false;
        }
        if (OverwriteMode != TOverwriteMode::Always) {
            bool replace = false;
            if (OverwriteMode == TOverwriteMode::Prompt) {
                replace = OnAsk && OnAsk("Replace existing file " + entry.FullName() + "?",
                                         "File Exists Alert");
            } else if (OverwriteMode == TOverwriteMode::ifNewer ||
                       OverwriteMode == TOverwriteMode::ifOlder) {
                win::WIN32_FIND_DATAA data;
                win::UniqueFindHandle find(win::FindFirstFileA(target, &data));
                const std::uint32_t fileDos = find ? FileTimeToDos(data.ftLastWriteTime) : 0;
                const std::uint32_t entryDos = entry.DosDateTime();
                replace = OverwriteMode == TOverwriteMode::ifNewer ? entryDos > fileDos
                                                                   : entryDos < fileDos;
            }
            if (!replace) {
                return false;
            }
        }
    }

    if (entry.Method != kMethodStored && entry.Method != kMethodDeflated) {
        if (OnMessage) {
            OnMessage("Unknown Compression Method", "Zip Error");
        }
        return false;
    }
    if ((entry.Flags & kFlagEncrypted) != 0) {
        return false;  // no password is ever set, so the data can't be read
    }

    // The data goes to a temporary file beside the target, which replaces the target only
    // once the whole entry decoded with the right CRC: a damaged entry leaves no partial
    // file and loses no existing one. The file is made, renamed and removed through its
    // handle, so nothing standing at either name is followed.
    std::optional<TBufferedFileStream> out;
    try {
        out.emplace(TBufferedFileStream::CreateTemporary(targetFolder + "\\", "qzx"));
    } catch (const EFCreateError&) {
        return false;
    }
    struct DiscardUnlessKept {
        std::optional<TBufferedFileStream>& file;
        ~DiscardUnlessKept() {
            if (file) {
                file->Discard();
            }
        }
    } discard{out};
    if (decode([&](std::span<const std::uint8_t> data) { out->Write(data); }) != EntryOutcome::Ok) {
        return false;
    }
    out->Flush();
    const win::FILETIME written = DosToFileTime(entry.DosDateTime());
    win::SetFileTime(out->Handle(), nullptr, nullptr, &written);

    if (!out->RenameTo(target)) {
        const win::DWORD now = win::GetFileAttributesA(target);
        if (!ReplaceReadOnly || now == win::INVALID_FILE_ATTRIBUTES ||
            (now & win::FILE_ATTRIBUTE_READONLY) == 0) {
            return false;
        }
        win::SetFileAttributesA(target, now & ~win::FILE_ATTRIBUTE_READONLY);
        if (!out->RenameTo(target)) {
            return false;
        }
    }
    // In place: from here on the file is kept.
    TBufferedFileStream placed = std::move(*out);
    out.reset();
    placed.Close();
    if (RetainAttributes) {
        win::SetFileAttributesA(target, FileAttributesFrom(entry.ExternalAttributes));
    }
    return true;
}

}  // namespace quellin::archive
