#include "backup/restore_extract.h"

#include "archive/archive_reader.h"
#include "archive/file_stream.h"
#include "platform/filesystem.h"
#include "platform/text.h"

namespace quellin::backup {

namespace {

// The entry that stands for `name`, or a reason why none can.
const archive::TZipEntryInfo* Pick(const std::vector<archive::TZipEntryInfo>& entries,
                                   const std::string& name, std::string* problem) {
    const archive::TZipEntryInfo* exact = nullptr;
    const archive::TZipEntryInfo* inFolder = nullptr;
    int inFolders = 0;
    for (const archive::TZipEntryInfo& entry : entries) {
        if (win::SameName(entry.FullName(), name)) {
            if (exact) {
                *problem = name + " (the archive holds it twice)";
                return nullptr;
            }
            exact = &entry;
        } else if (win::SameName(entry.FileName, name)) {
            inFolder = &entry;
            ++inFolders;
        }
    }
    if (exact)
        return exact;
    if (inFolders > 1) {
        *problem = name + " (the archive holds several entries of this name in folders)";
        return nullptr;
    }
    return inFolder;
}

// Deletes the temporary file unless it was put in place.
class TempFile {
  public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path_.empty())
            win::DeleteFileA(path_);
    }
    const std::string& path() const { return path_; }
    void Release() { path_.clear(); }

  private:
    std::string path_;
};

}  // namespace

namespace {

// Picks each wanted entry, judges its size, and hands it to `take`, which decodes it and
// returns what went wrong (empty when it came out whole). Returns a line for each that could not be
// used.
template <typename Take>
std::vector<std::string> ForEachWanted(archive::TUnZipper& zipper,
                                       const std::vector<std::string>& wanted, std::uint64_t limit,
                                       Take&& take) {
    auto archive = archive::TBufferedFileStream::OpenRead(zipper.ZipName);
    const std::vector<archive::TZipEntryInfo> entries = zipper.ReadZipDirectory();
    archive::FileSource source(archive);
    std::vector<std::string> problems;
    for (const std::string& name : wanted) {
        if (zipper.OnProcessMessages)
            zipper.OnProcessMessages();
        std::string problem;
        const archive::TZipEntryInfo* entry = Pick(entries, name, &problem);
        if (!entry) {
            if (!problem.empty())
                problems.push_back(problem);
            continue;
        }
        if (entry->UncompressedSize > limit) {
            problems.push_back(entry->FullName() + " (larger than " + std::to_string(limit >> 20) +
                               " MiB)");
            continue;
        }
        if (std::string failed = take(source, *entry, name); !failed.empty())
            problems.push_back(std::move(failed));
    }
    return problems;
}

}  // namespace

std::vector<std::string> ExtractNamedEntries(archive::TUnZipper& zipper,
                                             const std::vector<std::string>& wanted,
                                             const std::string& folder, std::uint64_t limit) {
    return ForEachWanted(
        zipper, wanted, limit,
        [&](archive::FileSource& source, const archive::TZipEntryInfo& entry,
            const std::string& name) {
            std::string tempPath;
            if (win::GetTempFileNameA(folder, "qzx", 0, &tempPath) == 0)
                return entry.FullName() + " (cannot be written)";
            TempFile temp(tempPath);
            archive::EntryOutcome outcome = archive::EntryOutcome::Corrupt;
            {
                auto out = archive::TBufferedFileStream::Create(temp.path());
                outcome = ExtractEntryData(
                    source, entry, [&](std::span<const std::uint8_t> data) { out.Write(data); });
                out.Flush();
                const win::FILETIME written = archive::DosToFileTime(entry.DosDateTime());
                win::SetFileTime(out.Handle(), nullptr, nullptr, &written);
                out.Close();
            }
            if (outcome != archive::EntryOutcome::Ok ||
                !win::MoveFileExA(temp.path(), folder + "\\" + name,
                                  win::MOVEFILE_REPLACE_EXISTING))
                return entry.FullName();
            temp.Release();
            return std::string();
        });
}

std::vector<std::string> CheckNamedEntries(archive::TUnZipper& zipper,
                                           const std::vector<std::string>& wanted,
                                           std::uint64_t limit) {
    return ForEachWanted(
        zipper, wanted, limit,
        [](archive::FileSource& source, const archive::TZipEntryInfo& entry, const std::string&) {
            return ExtractEntryData(source, entry, [](std::span<const std::uint8_t>) {}) ==
                           archive::EntryOutcome::Ok
                       ? std::string()
                       : entry.FullName();
        });
}

}  // namespace quellin::backup
