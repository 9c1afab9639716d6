// What every document of quellin-cli says about its run (which run, on which computer, when,
// for how long), and the copy of the document that --output leaves for a fleet's collector.
#pragma once

#include <optional>
#include <string>

#include "archive/file_stream.h"
#include "platform/types.h"

namespace quellin::cli {

struct RunRecord {
    std::string runId;      // fresh for every run: "3f2b...-...", lowercase
    std::string host;       // the computer's name
    std::string startedAt;  // UTC, ISO 8601
    win::DWORD startTick = 0;

    long long ElapsedMs() const;
};

// Starts a run's record; CurrentRunId() names it until the returned value is destroyed.
class RunScope {
  public:
    RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    ~RunScope();
    const RunRecord& record() const { return record_; }

  private:
    RunRecord record_;
};

// The document's copy in a file the user names. The path belongs to the user and the program
// runs as administrator, so the file is made, written and renamed with the user's own rights,
// through handles that follow no link: a temporary file of a new name beside the target, renamed
// over it once complete, so that the target holds either its old bytes or the whole document.
class OutputFile {
  public:
    // Refuses (exit 5) a target that is a link, a folder or a device, and a folder that takes no
    // new file; nothing is written then.
    explicit OutputFile(const std::string& path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless Commit succeeded.
    ~OutputFile();
    // Writes `document` and puts it in place; exit 5 with the reason when it cannot.
    void Commit(const std::string& document);

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::optional<archive::TBufferedFileStream> temporary_;
};

}  // namespace quellin::cli
