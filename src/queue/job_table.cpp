#include "queue/job_table.h"

#include <stdexcept>

namespace quellin::queue {

namespace {

JobFields FieldsOf(const win::JOB_INFO_2A& job) {
    return {job.pPrinterName, job.pDocument,    job.pUserName, job.Status,
            job.Size,         job.PagesPrinted, job.Submitted};
}

}  // namespace

bool JobFields::Matches(const win::JOB_INFO_2A& job) const {
    const win::SYSTEMTIME& a = submitted;
    const win::SYSTEMTIME& b = job.Submitted;
    return status == job.Status && size == job.Size && pagesPrinted == job.PagesPrinted &&
           a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds &&
           printer == job.pPrinterName && document == job.pDocument && user == job.pUserName;
}

std::optional<std::size_t> JobTable::Find(const JobKey& key) const {
    if (search_ == RowSearch::Linear) {
        for (std::size_t row = 0; row < rows_.size(); ++row) {
            if (rows_[row].key == key)
                return row;
        }
        return std::nullopt;
    }
    if (auto found = index_.find(key); found != index_.end())
        return found->second;
    return std::nullopt;
}

std::size_t JobTable::UpdateJobRow(const win::JOB_INFO_2A& job) {
    JobKey key{job.pMachineName, job.JobId};
    if (std::optional<std::size_t> found = Find(key)) {
        JobRow& row = rows_[*found];
        // The same fields give the same texts: most jobs of a tick have not changed.
        if (row.seen.Matches(job))
            return *found;
        JobCells cells = BuildJobCells(job, formats_);
        int first = -1, last = -1;
        for (int column = 0; column < kColumnCount; ++column) {
            if (row.cells[column] == cells[column])
                continue;
            row.cells[column] = std::move(cells[column]);
            if (first < 0)
                first = column;
            last = column;
        }
        row.seen = FieldsOf(job);
        if (first >= 0 && listener_)
            listener_->CellsChanged(*found, first, last);
        return *found;
    }
    const std::size_t row = rows_.size();
    if (listener_)
        listener_->BeforeAppend(row);
    index_.emplace(key, row);
    rows_.push_back(JobRow{std::move(key), BuildJobCells(job, formats_), FieldsOf(job)});
    if (listener_)
        listener_->AfterAppend();
    return row;
}

void JobTable::RemoveRow(std::size_t row) {
    if (row >= rows_.size())
        throw std::out_of_range("no such job row");
    if (listener_)
        listener_->BeforeRemove(row);
    index_.erase(rows_[row].key);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    // The rows after it move up by one.
    for (std::size_t later = row; later < rows_.size(); ++later)
        index_[rows_[later].key] = later;
    if (listener_)
        listener_->AfterRemove();
}

void JobTable::Clear() {
    if (listener_)
        listener_->BeforeClear();
    rows_.clear();
    index_.clear();
    if (listener_)
        listener_->AfterClear();
}

}  // namespace quellin::queue
