#include "queue/job_table.h"

#include <stdexcept>

namespace queue {

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

std::size_t JobTable::UpdateJobRow(const win::JOB_INFO_2A& job, const TextFormats& formats) {
    JobCells cells = BuildJobCells(job, formats);
    JobKey key{job.pMachineName, job.JobId};
    if (std::optional<std::size_t> found = Find(key)) {
        JobCells& current = rows_[*found].cells;
        int first = -1, last = -1;
        for (int column = 0; column < kColumnCount; ++column) {
            if (current[column] == cells[column])
                continue;
            current[column] = std::move(cells[column]);
            if (first < 0)
                first = column;
            last = column;
        }
        if (first >= 0 && listener_)
            listener_->CellsChanged(*found, first, last);
        return *found;
    }
    const std::size_t row = rows_.size();
    if (listener_)
        listener_->BeforeAppend(row);
    index_.emplace(key, row);
    rows_.push_back(JobRow{std::move(key), std::move(cells)});
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

}  // namespace queue
