// The job monitor's work without its window: the printers it watches, one poll of their jobs,
// the job commands and the removal of rows. The window supplies its timer and shows the rows.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler.h"
#include "platform/types.h"
#include "queue/job_table.h"
#include "queue/job_text.h"

namespace quellin::queue {

inline constexpr const char* kEnumPrintersError = "Error Enum Printers!";
inline constexpr const char* kOpenPrinterError = "Error OpenPrinter() : ";
inline constexpr int kMonitorInterval = 200;  // ms between polls

// The window's timer as the monitor sees it.
class MonitorTimer {
  public:
    virtual ~MonitorTimer() = default;
    virtual bool Running() const = 0;
    virtual void Stop() = 0;
    virtual void Start() = 0;
};

// Holds the timer off for its scope and leaves it running only if it ran before: a box shown
// meanwhile pumps messages, and a tick must not run in the middle of the work.
class TimerHold {
  public:
    explicit TimerHold(MonitorTimer& timer) : timer_(timer), wasRunning_(timer.Running()) {
        if (wasRunning_)
            timer_.Stop();
    }
    TimerHold(const TimerHold&) = delete;
    TimerHold& operator=(const TimerHold&) = delete;
    ~TimerHold() {
        if (wasRunning_)
            timer_.Start();
    }

  private:
    MonitorTimer& timer_;
    bool wasRunning_;
};

using JobOperation = std::function<void(const win::JOB_INFO_2A&)>;

// Appends the names of the local printers and connections (on the NT family; local printers
// elsewhere), shared ones only when `sharedOnly`. Never clears `names`. False when there is no
// printer or the enumeration failed; the failure of the sized call shows "Error Enum Printers!".
bool EnumPrinterNames(std::vector<std::string>& names, bool sharedOnly, win::HWND owner);

// Reads all jobs of one printer and hands each record to `operation`, after the printer is
// closed. False when the printer cannot be opened, has no jobs, or its jobs cannot be read.
bool PollPrinterJobs(const std::string& printerName, const JobOperation& operation);

// Pauses, resumes, restarts or cancels (JOB_CONTROL_*) the job on the printer as OpenPrinterA
// names it, and records the change; `document` names the job in the record. False when the
// printer cannot be opened (`*opened` false) or the spooler refuses; the last error says why.
bool ControlJob(const std::string& printerName, win::DWORD jobId, win::DWORD command,
                const std::string& document, bool* opened = nullptr);

class JobMonitor {
  public:
    // `owner` owns the monitor's message boxes.
    JobMonitor(MonitorTimer& timer, win::HWND owner, RowSearch search = RowSearch::Indexed);

    // As the window is created: all printers, no rows.
    void FormCreate();
    // One poll of every printer in PrinterNames (as many as it held when the tick began).
    void Timer1Timer();
    // Rebuilds PrinterNames with the timer held off; the rows stay.
    void RefreshPrinterNames();
    // Inverts SharedOnly and rebuilds PrinterNames; returns the new value.
    bool ToggleSharedOnly();
    // Sends a job command (JOB_CONTROL_*) to the job of `selectedRow` on the server its row
    // names; true when the spooler accepted it.
    bool ControlSelectedJob(std::optional<std::size_t> selectedRow, win::DWORD command);
    void DeleteSelectedItem(std::optional<std::size_t> selectedRow);
    void DeleteAllItems();

    JobTable& Rows() { return rows_; }
    const JobTable& Rows() const { return rows_; }

    std::vector<std::string> PrinterNames;
    bool SharedOnly = false;

  private:
    MonitorTimer& timer_;
    win::HWND owner_;
    JobTable rows_;
};

}  // namespace quellin::queue
