// The archive component's writer: adds `FilesList` to the archive `ZipName`, creating it or
// updating it through a temporary file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/unzipper.h"

namespace quellin::archive {

enum class TZipAction { Update, Replace, Freshen };

class TZipper : public TUnZipper {
  public:
    bool Recurse = false;
    bool StorePaths = false;
    int PackLevel = 6;
    TZipAction ZipAction = TZipAction::Update;
    std::vector<std::string> NoCompressList;
    std::vector<std::string> ExcludeList;
    bool IncludeHiddenFiles = false;
    bool IncludeSysFiles = false;
    // Put in front of listed paths that have no folder part.
    std::string RootDir;
    // Update also replaces an entry whose CRC or size differs from its file, however the
    // dates stand.
    bool ReplaceChangedContent = false;

    // Files the caller holds open, added after FilesList under the names given (no folder
    // part): their bytes are read through the handles from their start, never by a path. The
    // handles stay the caller's. Emptied by Zip like FilesList.
    struct TSourceFile {
        std::string Name;
        win::HANDLE Handle = nullptr;
    };
    std::vector<TSourceFile> Sources;

    // Returns the number of files compressed into the archive (copied entries don't count).
    // The archive, its partial "<name>$$$" and the update's temporary file are made, renamed
    // and removed through handles that follow no link; an existing archive that is not a
    // plain file (a link, a folder, a device) is refused before anything is written.
    int Zip();

  private:
    struct Listed {
        std::string Path;
        std::string Name;              // as it would be stored, with forward slashes
        win::HANDLE Handle = nullptr;  // of a source file; none for a path of FilesList
    };
    std::vector<Listed> ExpandFilesList() const;
    bool Allowed(win::DWORD attributes) const;
    void SearchFolder(const std::string& folder, const std::string& mask,
                      std::vector<std::string>& hits) const;

    // Writes `path` as a new entry at the end of `out`; nullopt when the file can't be read
    // or its name is taken.
    std::optional<TZipEntryInfo> AddFile(const Listed& file, class TBufferedFileStream& out,
                                         const std::vector<TZipEntryInfo>& written);
    TZipEntryInfo CopyEntry(const TZipEntryInfo& old, ByteSource& source,
                            class TBufferedFileStream& out);
    void WriteDirectory(const std::vector<TZipEntryInfo>& entries, const std::string& comment,
                        class TBufferedFileStream& out);
    // Puts the finished temporary file in place of `target`; returns the stream that now
    // holds the archive.
    class TBufferedFileStream PutInPlace(class TBufferedFileStream temp, const std::string& target);
    bool ContentDiffers(const TZipEntryInfo& old, const Listed& file) const;
};

}  // namespace quellin::archive
