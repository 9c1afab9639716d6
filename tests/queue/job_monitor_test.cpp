// The monitor's work against a fresh sandbox: the printers it watches, the rows a tick builds,
// the job commands and their failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/spool.h"
#include "queue/job_monitor.h"
#include "support/sandbox_fixture.h"
#include "system/system_commands.h"

namespace quellin::queue {
namespace {

constexpr win::HWND kOwner = 0x77;

struct FakeTimer : MonitorTimer {
    bool running = true;
    std::vector<std::string> calls;
    bool Running() const override { return running; }
    void Stop() override {
        calls.push_back("stop");
        running = false;
    }
    void Start() override {
        calls.push_back("start");
        running = true;
    }
};

win::DWORD AddJob(const std::string& printer, const std::string& document, win::DWORD status = 0,
                  const std::string& owner = "User") {
    sim::JobSpec spec;
    spec.printer = printer;
    spec.document = document;
    spec.status = status;
    spec.owner = owner;
    spec.size = 1500;
    return sim::AddJob(spec);
}

std::optional<win::JOB_INFO_2A> SandboxJob(win::DWORD id) {
    for (const win::JOB_INFO_2A& job : sim::ListJobs(""))
        if (job.JobId == id)
            return job;
    return std::nullopt;
}

class JobMonitorTest : public testing::Test {
  protected:
    JobMonitorTest() : monitor(timer, kOwner) {}

    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (std::size_t row = 0; row < monitor.Rows().RowCount(); ++row)
            texts.push_back(monitor.Rows().Row(row).cells[static_cast<std::size_t>(column)]);
        return texts;
    }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    FakeTimer timer;
    JobMonitor monitor;
};

TEST_F(JobMonitorTest, WatchesEveryPrinterAndATickListsTheirJobs) {
    monitor.FormCreate();
    EXPECT_EQ(monitor.PrinterNames,
              (std::vector<std::string>{"OneNote (Desktop)", "Microsoft XPS Document Writer", "Fax",
                                        "Microsoft Print to PDF"}));
    EXPECT_FALSE(monitor.SharedOnly);
    EXPECT_EQ(monitor.Rows().RowCount(), 0u);

    AddJob("Fax", "fax.tif", win::JOB_STATUS_PAUSED);
    AddJob("Microsoft XPS Document Writer", "a.xps");
    AddJob("Fax", "cover.tif");
    monitor.Timer1Timer();
    // Printer by printer, in the order of PrinterNames, each in queue order.
    EXPECT_EQ(Column(Document), (std::vector<std::string>{"a.xps", "fax.tif", "cover.tif"}));
    EXPECT_EQ(Column(Status), (std::vector<std::string>{"", "Paused ", ""}));
    EXPECT_EQ(Column(Computer), std::vector<std::string>(3, "\\\\QUELLIN-PC"));
    EXPECT_EQ(Column(Size), std::vector<std::string>(3, "      1.50 KB"));
    EXPECT_TRUE(ui.boxes.empty());

    // A job that leaves the queue keeps its row and its last texts.
    ASSERT_TRUE(sim::ControlJob("Fax", monitor.Rows().Row(1).key.jobId, win::JOB_CONTROL_CANCEL));
    monitor.Timer1Timer();
    EXPECT_EQ(Column(Document), (std::vector<std::string>{"a.xps", "fax.tif", "cover.tif"}));
}

TEST_F(JobMonitorTest, SharedOnlyWithoutSharedPrintersEmptiesTheListQuietly) {
    monitor.FormCreate();
    AddJob("Fax", "fax.tif");
    monitor.Timer1Timer();
    EXPECT_TRUE(monitor.ToggleSharedOnly());
    EXPECT_TRUE(monitor.PrinterNames.empty());
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(timer.calls, (std::vector<std::string>{"stop", "start"}));
    AddJob("Fax", "second.tif");
    monitor.Timer1Timer();
    EXPECT_EQ(Column(Document), std::vector<std::string>{"fax.tif"}) << "rows stay as they are";

    EXPECT_FALSE(monitor.ToggleSharedOnly());
    EXPECT_EQ(monitor.PrinterNames.size(), 4u);
}

TEST_F(JobMonitorTest, HoldingTheTimerNeverStartsAPausedMonitor) {
    timer.running = false;
    monitor.RefreshPrinterNames();
    EXPECT_EQ(monitor.PrinterNames.size(), 4u) << "the list is rebuilt, not appended to";
    monitor.RefreshPrinterNames();
    EXPECT_EQ(monitor.PrinterNames.size(), 4u);
    AddJob("Fax", "fax.tif");
    monitor.Timer1Timer();
    monitor.ControlSelectedJob(0, win::JOB_CONTROL_PAUSE);
    EXPECT_TRUE(timer.calls.empty());
    EXPECT_FALSE(timer.running);
}

struct CommandCase {
    const char* name;
    win::DWORD command;
    win::DWORD statusBefore;
    bool removed;
    win::DWORD statusAfter;
    const char* statusText;
};

class JobCommandTest : public JobMonitorTest, public testing::WithParamInterface<CommandCase> {};

TEST_P(JobCommandTest, ChangesTheSandboxJobAndTheRowFollows) {
    const CommandCase& c = GetParam();
    monitor.FormCreate();
    AddJob("Microsoft XPS Document Writer", "first.xps");
    const win::DWORD id = AddJob("Fax", "fax.tif", c.statusBefore);
    monitor.Timer1Timer();
    ASSERT_EQ(monitor.Rows().Row(1).key.jobId, id);

    EXPECT_TRUE(monitor.ControlSelectedJob(1, c.command));
    EXPECT_EQ(timer.calls, (std::vector<std::string>{"stop", "start"}));
    const auto job = SandboxJob(id);
    if (c.removed) {
        EXPECT_FALSE(job.has_value());
    } else {
        ASSERT_TRUE(job.has_value());
        EXPECT_EQ(job->Status, c.statusAfter);
    }
    monitor.Timer1Timer();
    EXPECT_EQ(monitor.Rows().Row(1).cells[Status], c.statusText);
    EXPECT_TRUE(ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, JobCommandTest,
    testing::Values(
        CommandCase{"Pause", win::JOB_CONTROL_PAUSE, 0, false, win::JOB_STATUS_PAUSED, "Paused "},
        CommandCase{"Resume", win::JOB_CONTROL_RESUME, win::JOB_STATUS_PAUSED, false, 0, ""},
        CommandCase{"Restart", win::JOB_CONTROL_RESTART, win::JOB_STATUS_PRINTED, false,
                    win::JOB_STATUS_RESTART, ""},
        // The job is gone; its row keeps the last texts seen.
        CommandCase{"Cancel", win::JOB_CONTROL_CANCEL, win::JOB_STATUS_PAUSED, true, 0, "Paused "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobMonitorTest, ACommandForAPrinterThatIsGoneSaysSo) {
    monitor.FormCreate();
    const win::DWORD id = AddJob("Fax", "fax.tif");
    monitor.Timer1Timer();
    ASSERT_TRUE(sim::RemovePrinter("Fax"));
    EXPECT_FALSE(monitor.ControlSelectedJob(0, win::JOB_CONTROL_PAUSE));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error OpenPrinter() : " + std::to_string(id) + " Fax");
    EXPECT_EQ(ui.boxes[0].flags, win::MB_OK);
    EXPECT_EQ(ui.boxes[0].owner, kOwner);
    EXPECT_TRUE(timer.running);
    // The gone printer is skipped at every tick, silently.
    monitor.Timer1Timer();
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(JobMonitorTest, NoSelectionOrAJobFromAnotherServer) {
    monitor.FormCreate();
    sim::JobSpec remote;
    remote.printer = "Fax";
    remote.document = "remote.tif";
    remote.machine = "FILESERVER";
    const win::DWORD id = sim::AddJob(remote);
    monitor.Timer1Timer();
    EXPECT_FALSE(monitor.ControlSelectedJob(std::nullopt, win::JOB_CONTROL_CANCEL));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(timer.calls.empty());

    // The row names its job's server, which the sandbox cannot reach.
    EXPECT_EQ(monitor.Rows().Row(0).cells[Computer], "\\\\FILESERVER");
    EXPECT_FALSE(monitor.ControlSelectedJob(0, win::JOB_CONTROL_CANCEL));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error OpenPrinter() : " + std::to_string(id) + " Fax");
    EXPECT_TRUE(SandboxJob(id).has_value());
}

TEST_F(JobMonitorTest, RowRemovalLeavesTheJobsAndTheyComeBack) {
    monitor.FormCreate();
    AddJob("Fax", "one.tif");
    AddJob("Fax", "two.tif");
    monitor.Timer1Timer();
    monitor.DeleteSelectedItem(std::nullopt);
    EXPECT_EQ(monitor.Rows().RowCount(), 2u);
    monitor.DeleteSelectedItem(0);
    EXPECT_EQ(Column(Document), std::vector<std::string>{"two.tif"});
    monitor.Timer1Timer();
    EXPECT_EQ(Column(Document), (std::vector<std::string>{"two.tif", "one.tif"}));
    monitor.DeleteAllItems();
    EXPECT_EQ(monitor.Rows().RowCount(), 0u);
    EXPECT_EQ(sim::ListJobs("Fax").size(), 2u);
}

TEST_F(JobMonitorTest, AStoppedSpoolerShowsNothing) {
    monitor.FormCreate();
    AddJob("Fax", "fax.tif");
    ASSERT_TRUE(quellin::system::StopServiceAndWait("", "spooler"));
    EXPECT_FALSE(PollPrinterJobs("Fax", [](const win::JOB_INFO_2A&) {}));
    monitor.Timer1Timer();
    EXPECT_EQ(monitor.Rows().RowCount(), 0u);
    monitor.RefreshPrinterNames();
    EXPECT_TRUE(monitor.PrinterNames.empty());
    EXPECT_TRUE(ui.boxes.empty());

    ASSERT_TRUE(quellin::system::StartServiceAndWait("", "spooler"));
    EXPECT_FALSE(PollPrinterJobs("OneNote (Desktop)", [](const win::JOB_INFO_2A&) {}))
        << "a printer without jobs";
    EXPECT_FALSE(PollPrinterJobs("No Such Printer", [](const win::JOB_INFO_2A&) {}));
    int seen = 0;
    EXPECT_TRUE(PollPrinterJobs("fax", [&](const win::JOB_INFO_2A&) { ++seen; }));
    EXPECT_EQ(seen, 1);
}

}  // namespace
}  // namespace quellin::queue
