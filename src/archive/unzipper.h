// The archive component's reader: TUnZipper extracts entries of the archive `ZipName` into
// `DestDir`. TZipper (zipper.h) derives from it and adds the zip operation.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/zip_errors.h"
#include "archive/zip_format.h"
#include "platform/types.h"

namespace quellin::archive {

enum class TOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };

class TUnZipper {
  public:
    TUnZipper() = default;
    virtual ~TUnZipper() = default;
    TUnZipper(const TUnZipper&) = delete;
    TUnZipper& operator=(const TUnZipper&) = delete;

    std::string ZipName;
    // Zip: the files to add. Unzip: name patterns of the entries to extract unless DoAll.
    // Emptied by every operation.
    std::vector<std::string> FilesList;
    bool DoAll = false;
    std::string DestDir;
    bool RecreateDirs = false;
    TOverwriteMode OverwriteMode = TOverwriteMode::Prompt;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;

    // The user interface seams: a yes/no question (true for yes), an information box, and
    // letting the window process pending messages. Unset, a question is answered no.
    std::function<bool(const std::string& text, const std::string& caption)> OnAsk;
    std::function<void(const std::string& text, const std::string& caption)> OnMessage;
    std::function<void()> OnProcessMessages;

    // Extracts the selected entries; returns how many were extracted.
    int UnZip();

    // Reads the directory of `ZipName` (or reuses the one read last, when the file is
    // unchanged) without extracting anything.
    const std::vector<TZipEntryInfo>& ReadZipDirectory();
    const std::vector<TZipEntryInfo>& Entries() const { return directory_.Entries; }
    const TEndCentral& EndCentral() const { return directory_.End; }
    bool DirectoryRecovered() const { return directory_.Recovered; }
    // The local header of an entry of `ZipName`; nullopt when none stands at its offset.
    std::optional<LocalHeader> ReadLocalHeader(const TZipEntryInfo& entry) const;

  protected:
    struct FileStamp {
        std::string Path;
        std::uint64_t Size = 0;
        win::FILETIME WriteTime;
        bool operator==(const FileStamp&) const = default;
    };
    // Reads `path`'s directory through an open stream, reusing the cached one when the
    // stamp matches.
    void LoadDirectory(const std::string& path, class TBufferedFileStream& file);
    void ForgetDirectory() { stamp_.reset(); }
    void ProcessMessages() const {
        if (OnProcessMessages) {
            OnProcessMessages();
        }
    }

    ArchiveDirectory directory_;

  private:
    bool Selected(const TZipEntryInfo& entry) const;
    // Decodes the entry's data into a sink, checked against its record.
    using EntryDecoder = std::function<EntryOutcome(const DataSink&)>;
    // Extracts one entry; true when it counts as extracted.
    bool ExtractOne(const TZipEntryInfo& entry, const std::string& folder,
                    const EntryDecoder& decode);

    std::optional<FileStamp> stamp_;
};

// ---- Helpers shared with the writer

// The file's last write time as a DOS date and time in local time.
std::uint32_t FileTimeToDos(const win::FILETIME& utc);
// The repaired DOS value, read as local time, as a file time.
win::FILETIME DosToFileTime(std::uint32_t dosDateTime);
bool FileExists(const std::string& path);
// Creates `path` and its missing parents; true when it exists as a folder afterwards.
bool ForceDirectories(const std::string& path);

}  // namespace quellin::archive
