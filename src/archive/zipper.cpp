#include "archive/zipper.h"

#include <algorithm>

#include "archive/archive_writer.h"
#include "archive/codepage.h"
#include "archive/crc32.h"
#include "archive/file_stream.h"
#include "platform/filesystem.h"
#include "platform/plain_file.h"
#include "platform/text.h"

namespace quellin::archive {
namespace {

// A ZIP64 record is reserved in the local header of files this large, since the header is
// written before the compressed size is known and deflate may grow the data a little.
constexpr std::uint64_t kZip64Reserve = 0xFF000000;

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool HasWildcard(const std::string& path) {
    return win::NameOf(path).find_first_of("*?") != std::string::npos;
}

std::string FileNamePart(const std::string& path) {
    const std::string name = win::NameOf(path);
    const auto colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

bool MatchesAny(const std::string& name, const std::vector<std::string>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& p) { return MatchesPattern(name, p); });
}

std::string StoredFormOf(const TZipEntryInfo& e) {
    return win::BackslashesToSlashes(e.FullName());
}

std::string DriveOf(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? win::UpperAnsi(path.substr(0, 2)) : std::string();
}

// Deletes a file made for the update through its own handle unless it was kept.
class DiscardOnFailure {
  public:
    explicit DiscardOnFailure(TBufferedFileStream& file) : file_(&file) {}
    ~DiscardOnFailure() {
        if (file_) {
            file_->Discard();
        }
    }
    DiscardOnFailure(const DiscardOnFailure&) = delete;
    DiscardOnFailure& operator=(const DiscardOnFailure&) = delete;
    void Keep() { file_ = nullptr; }

  private:
    TBufferedFileStream* file_;
};

class ClearList {
  public:
    explicit ClearList(std::vector<std::string>& list) : list_(list) {}
    ~ClearList() { list_.clear(); }
    ClearList(const ClearList&) = delete;
    ClearList& operator=(const ClearList&) = delete;

  private:
    std::vector<std::string>& list_;
};

}  // namespace

bool TZipper::Allowed(win::DWORD attributes) const {
    if (attributes == win::INVALID_FILE_ATTRIBUTES ||
        (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    if ((attributes & win::FILE_ATTRIBUTE_HIDDEN) != 0 && !IncludeHiddenFiles) {
        return false;
    }
    return (attributes & win::FILE_ATTRIBUTE_SYSTEM) == 0 || IncludeSysFiles;
}

void TZipper::SearchFolder(const std::string& folder, const std::string& mask,
                           std::vector<std::string>& hits) const {
    win::WIN32_FIND_DATAA data;
    {
        win::UniqueFindHandle find(win::FindFirstFileA(folder + "\\" + mask, &data));
        for (bool more = find.valid(); more; more = win::FindNextFileA(find.get(), &data)) {
            if (Allowed(data.dwFileAttributes)) {
                hits.push_back(folder + "\\" + data.cFileName);
            }
        }
    }
    if (!Recurse) {
        return;
    }
    win::UniqueFindHandle find(win::FindFirstFileA(folder + "\\*", &data));
    for (bool more = find.valid(); more; more = win::FindNextFileA(find.get(), &data)) {
        const bool isFolder = (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Links are not followed, so a loop of junctions can't make the search endless.
        const bool isLink = (data.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isFolder && !isLink && data.cFileName != "." && data.cFileName != "..") {
            SearchFolder(folder + "\\" + data.cFileName, mask, hits);
        }
    }
}

std::vector<TZipper::Listed> TZipper::ExpandFilesList() const {
    std::vector<std::string> paths;
    std::vector<std::string> wildcards;
    for (const auto& raw : FilesList) {
        std::string path = Trim(raw);
        if (path.empty()) {
            continue;
        }
        if (!win::HasPathSeparator(path) && !RootDir.empty()) {
            path = win::JoinPath(RootDir, path);
        }
        if (HasWildcard(path)) {
            wildcards.push_back(path);
            continue;
        }
        paths.push_back(path);
    }
    for (const auto& pattern : wildcards) {
        const std::string name = win::NameOf(pattern);
        if (name.size() == pattern.size()) {
            continue;
        }
        SearchFolder(pattern.substr(0, pattern.size() - name.size() - 1), name, paths);
    }
    std::vector<Listed> out;
    for (const auto& path : paths) {
        if (MatchesAny(FileNamePart(path), ExcludeList) ||
            !Allowed(win::GetFileAttributesA(path))) {
            continue;
        }
        out.push_back({path, EntryNameFor(path, StorePaths)});
    }
    for (const TSourceFile& source : Sources) {
        out.push_back({source.Name, source.Name, source.Handle});
    }
    return out;
}

std::optional<TZipEntryInfo> TZipper::AddFile(const Listed& file, TBufferedFileStream& out,
                                              const std::vector<TZipEntryInfo>& written) {
    win::UniqueFileHandle opened;
    if (!file.Handle) {
        opened.reset(win::CreateFileA(file.Path, win::GENERIC_READ,
                                      win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                      win::OPEN_EXISTING, 0));
        if (!opened) {
            return std::nullopt;
        }
    } else if (!win::SetFilePointerEx(file.Handle, 0, nullptr, win::FILE_BEGIN)) {
        return std::nullopt;
    }
    const win::HANDLE in = file.Handle ? file.Handle : opened.get();
    const auto stored = EncodeEntryName(file.Name);
    if (file.Name.empty() || stored.Bytes.size() > kMax16) {
        return std::nullopt;
    }
    for (const auto& e : written) {
        if (win::SameName(StoredFormOf(e), file.Name)) {
            return std::nullopt;
        }
    }

    TZipEntryInfo e;
    win::BY_HANDLE_FILE_INFORMATION info;
    e.ExternalAttributes =
        file.Handle ? (win::GetFileInformationByHandle(in, &info) ? info.dwFileAttributes
                                                                  : win::INVALID_FILE_ATTRIBUTES)
                    : win::GetFileAttributesA(file.Path);
    if (e.ExternalAttributes == win::INVALID_FILE_ATTRIBUTES) {
        e.ExternalAttributes = win::FILE_ATTRIBUTE_ARCHIVE;
    }
    win::FILETIME writeTime;
    win::GetFileTime(in, nullptr, nullptr, &writeTime);
    const std::uint32_t dos = FileTimeToDos(writeTime);
    std::int64_t size = 0;
    win::GetFileSizeEx(in, &size);

    const bool store = PackLevel <= 0 || MatchesAny(FileNamePart(file.Path), NoCompressList);
    const bool zip64 = static_cast<std::uint64_t>(size) >= kZip64Reserve;
    e.VersionMadeBy = stored.Utf8 ? kVersionMadeByUtf8 : kVersionMadeBy;
    e.VersionNeeded = zip64 ? kVersionNeededZip64 : kVersionNeeded;
    e.Flags = FlagsForLevel(PackLevel) | (stored.Utf8 ? kFlagUtf8 : 0);
    e.Method = store ? kMethodStored : kMethodDeflated;
    e.ModDate = static_cast<std::uint16_t>(dos >> 16);
    e.ModTime = static_cast<std::uint16_t>(dos);
    e.RawName = stored.Bytes;
    e.NameLength = static_cast<std::uint16_t>(stored.Bytes.size());
    SplitEntryName(DecodeEntryName(e.RawName, e.Flags, e.VersionMadeBy), &e.FolderName,
                   &e.FileName);
    e.LocalHeaderOffset = out.Position();

    auto writeLocal = [&] {
        ByteWriter w;
        LocalHeader h{e.VersionNeeded,
                      e.Flags,
                      e.Method,
                      e.ModTime,
                      e.ModDate,
                      e.Crc32,
                      zip64 ? kMax32 : static_cast<std::uint32_t>(e.CompressedSize),
                      zip64 ? kMax32 : static_cast<std::uint32_t>(e.UncompressedSize),
                      e.NameLength,
                      0};
        std::string extra;
        if (zip64) {
            const std::uint64_t sizes[] = {e.UncompressedSize, e.CompressedSize};
            extra = Zip64Extra(sizes);
        }
        h.ExtraLength = static_cast<std::uint16_t>(extra.size());
        e.LocalExtraLength = h.ExtraLength;
        EncodeLocalHeader(h, w);
        w.Bytes(e.RawName);
        w.Bytes(extra);
        out.Write(w.Data());
    };
    writeLocal();

    const auto result = CompressData(
        [&](std::span<std::uint8_t> buffer) -> std::size_t {
            win::DWORD got = 0;
            // A read error ends the data like the end of the file: the entry keeps what
            // was read, with its CRC and size.
            if (!win::ReadFile(in, buffer.data(), static_cast<win::DWORD>(buffer.size()), &got)) {
                return 0;
            }
            return got;
        },
        [&](std::span<const std::uint8_t> data) { out.Write(data); }, e.Method, PackLevel);
    e.Crc32 = result.Crc32;
    e.CompressedSize = result.Compressed;
    e.UncompressedSize = result.Uncompressed;
    if (!zip64 && (result.Compressed >= kMax32 || result.Uncompressed >= kMax32)) {
        // The file grew past 4 GiB while it was read; its local header has no room left.
        throw EZipperError("File \"" + file.Path + "\" grew too large while it was compressed.");
    }

    const std::uint64_t end = out.Position();
    out.Seek(e.LocalHeaderOffset);
    writeLocal();
    out.Seek(end);
    return e;
}

TZipEntryInfo TZipper::CopyEntry(const TZipEntryInfo& old, ByteSource& source,
                                 TBufferedFileStream& out) {
    std::uint16_t oldExtraLength = 0;
    const std::uint64_t dataAt = EntryDataOffset(source, old, &oldExtraLength);
    const std::uint64_t size = source.Size();
    if (dataAt > size || old.CompressedSize > size - dataAt) {
        throw EFatalUnzipError();
    }
    std::string extra(oldExtraLength, '\0');
    source.ReadAt(dataAt - oldExtraLength,
                  {reinterpret_cast<std::uint8_t*>(extra.data()), extra.size()});

    TZipEntryInfo e = old;
    e.Flags = static_cast<std::uint16_t>(old.Flags & ~kFlagDataDescriptor);
    e.LocalHeaderOffset = out.Position();
    // Sizes are known now, so a copied entry keeps bit 3 cleared and carries its sizes in
    // the header; its own ZIP64 record is rebuilt to hold them when they need one.
    const bool zip64 = e.UncompressedSize >= kMax32 || e.CompressedSize >= kMax32;
    extra = StripZip64Extra(extra);
    if (zip64) {
        const std::uint64_t sizes[] = {e.UncompressedSize, e.CompressedSize};
        extra = Zip64Extra(sizes) + extra;
        e.VersionNeeded = std::max(e.VersionNeeded, kVersionNeededZip64);
    }
    if (extra.size() > kMax16) {
        extra.resize(0);
    }
    e.LocalExtraLength = static_cast<std::uint16_t>(extra.size());
    ByteWriter w;
    EncodeLocalHeader({e.VersionNeeded, e.Flags, e.Method, e.ModTime, e.ModDate, e.Crc32,
                       zip64 ? kMax32 : static_cast<std::uint32_t>(e.CompressedSize),
                       zip64 ? kMax32 : static_cast<std::uint32_t>(e.UncompressedSize),
                       static_cast<std::uint16_t>(e.RawName.size()), e.LocalExtraLength},
                      w);
    w.Bytes(e.RawName);
    w.Bytes(extra);
    out.Write(w.Data());

    std::vector<std::uint8_t> buffer(65536);
    std::uint64_t at = dataAt;
    std::uint64_t remaining = old.CompressedSize;
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
        if (source.ReadAt(at, std::span(buffer).first(want)) != want) {
            throw EFatalUnzipError();
        }
        out.Write(std::span(buffer).first(want));
        at += want;
        remaining -= want;
    }
    return e;
}

void TZipper::WriteDirectory(const std::vector<TZipEntryInfo>& entries, const std::string& comment,
                             TBufferedFileStream& out) {
    ByteWriter w;
    const std::uint64_t start = out.Position();
    for (const auto& e : entries) {
        EncodeCentralHeader(e, w);
    }
    TEndCentral end;
    end.TotalEntries = entries.size();
    end.EntriesOnDisk = entries.size();
    end.CentralSize = w.Size();
    end.CentralOffset = start;
    end.Comment = comment;
    EncodeEndRecords(end, start + w.Size(), w);
    out.Write(w.Data());
}

TBufferedFileStream TZipper::PutInPlace(TBufferedFileStream temp, const std::string& target) {
    // The old archive is replaced in one rename, so that it is never gone before the new
    // one is whole. From another drive the bytes are first copied beside the target.
    DiscardOnFailure tempGuard(temp);
    const std::string failure = "Could not copy from " + temp.Path() + " -> " + target + ": Error";
    if (DriveOf(temp.Path()) == DriveOf(target)) {
        if (temp.RenameTo(target)) {
            tempGuard.Keep();
            return temp;
        }
        if (win::GetLastError() != win::ERROR_NOT_SAME_DEVICE) {
            throw EZipperError(failure);
        }
    }
    const std::string staging = target + "$$$";
    if (!win::RemoveFileOrLink(staging)) {
        throw EFCreateError(staging, LastErrorText());
    }
    auto copy = TBufferedFileStream::CreateNew(staging);
    DiscardOnFailure copyGuard(copy);
    // Through the streams, so that each knows where its handle stands.
    std::vector<std::uint8_t> buffer(65536);
    temp.Seek(0);
    for (std::size_t got; (got = temp.Read(buffer)) > 0;) {
        copy.Write(std::span(buffer).first(got));
    }
    if (!copy.RenameTo(target)) {
        throw EZipperError(failure);
    }
    copyGuard.Keep();
    return copy;
}

bool TZipper::ContentDiffers(const TZipEntryInfo& old, const Listed& file) const {
    const std::optional<Fingerprint> print =
        file.Handle ? FingerprintOfHandle(file.Handle) : FingerprintOfFile(file.Path);
    if (!print) {
        return false;  // unreadable: the old entry stays, as AddFile would keep it
    }
    return print->crc != old.Crc32 || print->size != old.UncompressedSize;
}

int TZipper::Zip() {
    ClearList clear(FilesList);
    struct ClearSources {
        std::vector<TSourceFile>& list;
        ~ClearSources() { list.clear(); }
    } clearSources{Sources};
    const std::string zipName = Trim(ZipName);
    if (zipName.empty()) {
        return 0;
    }
    std::vector<Listed> files = ExpandFilesList();
    int added = 0;
    std::vector<TZipEntryInfo> written;

    // What stands at the archive's name is opened itself, never through a link.
    win::UniqueFileHandle existing =
        win::OpenPlainFile(zipName, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                           win::OPEN_EXISTING);
    if (!existing && win::GetLastError() != win::ERROR_FILE_NOT_FOUND) {
        TBufferedFileStream::OpenPlain(zipName);  // raises the reason
    }
    // A leftover of an interrupted write (or a link put in its place) is removed first.
    const std::string partial = zipName + "$$$";
    if (!win::RemoveFileOrLink(partial)) {
        throw EFCreateError(partial, LastErrorText());
    }
    if (!existing) {
        // A new archive is written under a name of its own and takes its name only when
        // whole, so that neither a failed nor an interrupted write leaves half an archive
        // under the chosen name.
        auto out = TBufferedFileStream::CreateNew(partial);
        DiscardOnFailure guard(out);
        for (const auto& file : files) {
            ProcessMessages();
            if (auto e = AddFile(file, out, written)) {
                written.push_back(std::move(*e));
                ++added;
            }
        }
        WriteDirectory(written, "", out);
        out.Flush();
        win::FlushFileBuffers(out.Handle());
        if (!out.RenameTo(zipName)) {
            throw EZipperError("Could not copy from " + partial + " -> " + zipName + ": Error");
        }
        guard.Keep();
        // The directory is read back from the archive just written.
        ForgetDirectory();
        LoadDirectory(zipName, out);
        out.Close();
        return added;
    }

    auto old = TBufferedFileStream::Adopt(std::move(existing), zipName);
    LoadDirectory(zipName, old);
    FileSource source(old);
    const ArchiveDirectory previous = directory_;

    std::string tempFolder;
    win::GetTempPathA(260, &tempFolder);
    if (!tempFolder.empty() && tempFolder.back() != '\\') {
        tempFolder += '\\';
    }
    auto out = TBufferedFileStream::CreateTemporary(tempFolder, "qzp");
    DiscardOnFailure tempGuard(out);

    auto hasEntry = [&](const Listed& f) {
        return std::any_of(
            previous.Entries.begin(), previous.Entries.end(),
            [&](const TZipEntryInfo& e) { return win::SameName(StoredFormOf(e), f.Name); });
    };
    if (ZipAction == TZipAction::Freshen) {
        std::erase_if(files, [&](const Listed& f) { return !hasEntry(f); });
    }
    for (const auto& oldEntry : previous.Entries) {
        ProcessMessages();
        const std::string name = StoredFormOf(oldEntry);
        auto match = std::find_if(files.begin(), files.end(),
                                  [&](const Listed& f) { return win::SameName(f.Name, name); });
        if (match == files.end()) {
            written.push_back(CopyEntry(oldEntry, source, out));
            continue;
        }
        bool replace = ZipAction == TZipAction::Replace;
        if (!replace) {
            win::FILETIME writeTime;
            if (match->Handle) {
                replace = win::GetFileTime(match->Handle, nullptr, nullptr, &writeTime) &&
                          oldEntry.DosDateTime() < FileTimeToDos(writeTime);
            } else {
                win::WIN32_FIND_DATAA data;
                win::UniqueFindHandle find(win::FindFirstFileA(match->Path, &data));
                replace = find && oldEntry.DosDateTime() < FileTimeToDos(data.ftLastWriteTime);
            }
        }
        replace = replace || (ReplaceChangedContent && ContentDiffers(oldEntry, *match));
        const Listed file = *match;
        files.erase(match);
        std::optional<TZipEntryInfo> fresh;
        if (replace) {
            fresh = AddFile(file, out, written);
        }
        if (fresh) {
            written.push_back(std::move(*fresh));
            ++added;
        } else {
            // Kept when the file is not newer, or when it can't be read after all.
            written.push_back(CopyEntry(oldEntry, source, out));
        }
    }
    for (const auto& file : files) {
        ProcessMessages();
        if (auto e = AddFile(file, out, written)) {
            written.push_back(std::move(*e));
            ++added;
        }
    }
    WriteDirectory(written, previous.End.Comment, out);
    out.Flush();
    win::FlushFileBuffers(out.Handle());
    old.Close();
    ForgetDirectory();
    tempGuard.Keep();
    auto archive = PutInPlace(std::move(out), zipName);

    // The directory is read back from the archive just written.
    ForgetDirectory();
    LoadDirectory(zipName, archive);
    archive.Close();
    return added;
}

}  // namespace quellin::archive
