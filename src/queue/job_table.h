// The job monitor's rows, free of any window: one row per job, its eight texts, and an index
// from the job's identity to its row.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/spooler.h"
#include "queue/job_text.h"

namespace quellin::queue {

// A job identifier is unique per print server only, so a row stands for the machine name and
// the identifier together, as its row was first created for them.
struct JobKey {
    std::string machine;
    win::DWORD jobId = 0;
    friend bool operator==(const JobKey&, const JobKey&) = default;
};

// The fields of a job record that its texts are made from, as last seen.
struct JobFields {
    std::string printer, document, user;
    win::DWORD status = 0, size = 0, pagesPrinted = 0;
    win::SYSTEMTIME submitted;
    bool Matches(const win::JOB_INFO_2A& job) const;
};

struct JobRow {
    JobKey key;
    JobCells cells;
    JobFields seen;
};

// Told about every change, so that a view can follow the rows (a Qt model brackets its own
// notifications with these).
class JobTableListener {
  public:
    virtual ~JobTableListener() = default;
    virtual void BeforeAppend(std::size_t row) = 0;
    virtual void AfterAppend() = 0;
    virtual void CellsChanged(std::size_t row, int firstColumn, int lastColumn) = 0;
    virtual void BeforeRemove(std::size_t row) = 0;
    virtual void AfterRemove() = 0;
    virtual void BeforeClear() = 0;
    virtual void AfterClear() = 0;
};

// How a job's row is found: through the index, or by scanning the rows from the first (kept
// for comparison in the benchmark).
enum class RowSearch { Indexed, Linear };

class JobTable {
  public:
    explicit JobTable(TextFormats formats = {}, RowSearch search = RowSearch::Indexed)
        : formats_(std::move(formats)), search_(search) {}

    void SetListener(JobTableListener* listener) { listener_ = listener; }

    // Adds the job's row at the end, or rewrites only those cells of its row whose text
    // changed. Returns the row.
    std::size_t UpdateJobRow(const win::JOB_INFO_2A& job);

    std::optional<std::size_t> Find(const JobKey& key) const;
    std::size_t RowCount() const { return rows_.size(); }
    const JobRow& Row(std::size_t row) const { return rows_.at(row); }

    // Neither touches the spooler's jobs.
    void RemoveRow(std::size_t row);
    void Clear();

  private:
    struct KeyHash {
        std::size_t operator()(const JobKey& key) const {
            return std::hash<std::string>()(key.machine) * 31 + key.jobId;
        }
    };

    TextFormats formats_;
    RowSearch search_;
    std::vector<JobRow> rows_;
    std::unordered_map<JobKey, std::size_t, KeyHash> index_;
    JobTableListener* listener_ = nullptr;
};

}  // namespace quellin::queue
