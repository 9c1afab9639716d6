// The monitor's rows: identity by machine and job id, cells written only when changed, and an
// index that stays in step with removals. Every case runs with the index and with the scan.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "queue/job_table.h"

namespace quellin::queue {
namespace {

win::JOB_INFO_2A Job(const std::string& machine, win::DWORD id, const std::string& document,
                     win::DWORD status = 0) {
    win::JOB_INFO_2A job;
    job.JobId = id;
    job.pMachineName = machine;
    job.pPrinterName = "Fax";
    job.pDocument = document;
    job.pUserName = "User";
    job.Status = status;
    job.Size = 1500;
    job.Submitted.wYear = 2026;
    job.Submitted.wMonth = 3;
    job.Submitted.wDay = 5;
    job.Submitted.wHour = 14;
    return job;
}

// Records what a view would be told.
struct Recorder : JobTableListener {
    std::vector<std::string> events;
    void BeforeAppend(std::size_t row) override {
        events.push_back("append " + std::to_string(row));
    }
    void AfterAppend() override {}
    void CellsChanged(std::size_t row, int first, int last) override {
        events.push_back("cells " + std::to_string(row) + " " + std::to_string(first) + "-" +
                         std::to_string(last));
    }
    void BeforeRemove(std::size_t row) override {
        events.push_back("remove " + std::to_string(row));
    }
    void AfterRemove() override {}
    void BeforeClear() override { events.push_back("clear"); }
    void AfterClear() override {}
};

class JobTableTest : public testing::TestWithParam<RowSearch> {
  protected:
    JobTableTest() : table(TextFormats(), GetParam()) { table.SetListener(&recorder); }

    std::vector<std::string> Documents() const {
        std::vector<std::string> documents;
        for (std::size_t row = 0; row < table.RowCount(); ++row)
            documents.push_back(table.Row(row).cells[Document]);
        return documents;
    }

    JobTable table;
    Recorder recorder;
};

TEST_P(JobTableTest, SameIdOnTwoServersGivesTwoRows) {
    table.UpdateJobRow(Job("\\\\A", 5, "a.pdf"));
    table.UpdateJobRow(Job("\\\\B", 5, "b.pdf"));
    table.UpdateJobRow(Job("\\\\A", 5, "a2.pdf"));
    EXPECT_EQ(Documents(), (std::vector<std::string>{"a2.pdf", "b.pdf"}));
    EXPECT_EQ(table.Find({"\\\\B", 5}), 1u);
    EXPECT_EQ(table.Find({"\\\\C", 5}), std::nullopt);
}

TEST_P(JobTableTest, OnlyChangedCellsAreWrittenAndUnchangedJobsTouchNothing) {
    table.UpdateJobRow(Job("\\\\A", 1, "a.pdf"));
    table.UpdateJobRow(Job("\\\\A", 2, "b.pdf"));
    recorder.events.clear();
    table.UpdateJobRow(Job("\\\\A", 1, "a.pdf"));
    table.UpdateJobRow(Job("\\\\A", 2, "b.pdf"));
    EXPECT_TRUE(recorder.events.empty());

    win::JOB_INFO_2A paused = Job("\\\\A", 2, "b.pdf", win::JOB_STATUS_PAUSED);
    paused.PagesPrinted = 4;
    table.UpdateJobRow(paused);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"cells 1 3-6"}));
    EXPECT_EQ(table.Row(1).cells[Status], "Paused ");
    EXPECT_EQ(table.Row(1).cells[Printed], "4");
    EXPECT_EQ(table.Row(1).cells[Document], "b.pdf");
}

TEST_P(JobTableTest, ARemovedRowComesBackAtTheEnd) {
    for (win::DWORD id = 1; id <= 3; ++id)
        table.UpdateJobRow(Job("\\\\A", id, "doc" + std::to_string(id)));
    table.RemoveRow(0);
    EXPECT_EQ(Documents(), (std::vector<std::string>{"doc2", "doc3"}));
    // The index follows the rows that moved up.
    EXPECT_EQ(table.Find({"\\\\A", 3}), 1u);
    table.UpdateJobRow(Job("\\\\A", 3, "doc3 renamed"));
    table.UpdateJobRow(Job("\\\\A", 1, "doc1"));
    EXPECT_EQ(Documents(), (std::vector<std::string>{"doc2", "doc3 renamed", "doc1"}));
    EXPECT_EQ(recorder.events.back(), "append 2");

    table.Clear();
    EXPECT_EQ(table.RowCount(), 0u);
    table.UpdateJobRow(Job("\\\\A", 2, "doc2"));
    EXPECT_EQ(table.Find({"\\\\A", 2}), 0u);
    EXPECT_THROW(table.RemoveRow(1), std::out_of_range);
}

INSTANTIATE_TEST_SUITE_P(Search, JobTableTest,
                         testing::Values(RowSearch::Indexed, RowSearch::Linear),
                         [](const auto& info) {
                             return info.param == RowSearch::Indexed ? "Indexed" : "Linear";
                         });

}  // namespace
}  // namespace quellin::queue
