#include "queue/job_monitor.h"

#include "audit/audit.h"
#include "platform/handle.h"
#include "platform/security.h"
#include "platform/ui.h"
#include "system/app_info.h"

namespace quellin::queue {

namespace {

constexpr win::DWORD kAllJobs = 0xFFFFFFFF;

bool IsNtFamily() {
    return (win::GetVersion() & 0x80000000) == 0;
}

}  // namespace

bool EnumPrinterNames(std::vector<std::string>& names, bool sharedOnly, win::HWND owner) {
    win::DWORD flags = win::PRINTER_ENUM_LOCAL;
    win::DWORD level = 5;
    if (IsNtFamily()) {
        flags = win::PRINTER_ENUM_LOCAL | win::PRINTER_ENUM_CONNECTIONS;
        level = 4;
    }
    if (sharedOnly)
        flags |= win::PRINTER_ENUM_SHARED;
    win::DWORD needed = 0, returned = 0;
    win::EnumPrintersA(flags, "", level, nullptr, 0, &needed, &returned);
    if (needed == 0)
        return false;
    std::vector<win::PRINTER_INFO_A> records;
    if (!win::EnumPrintersA(flags, "", level, &records, needed, &needed, &returned)) {
        win::MessageBoxA(owner, kEnumPrintersError, quellin::system::kApplicationTitle,
                         win::MB_OK | win::MB_ICONERROR);
        return false;
    }
    for (win::DWORD i = 0; i < returned && i < records.size(); ++i)
        names.push_back(records[i].pPrinterName);
    return true;
}

bool PollPrinterJobs(const std::string& printerName, const JobOperation& operation) {
    win::UniquePrinter printer;
    if (!win::OpenPrinterA(printerName, printer.put(), nullptr))
        return false;
    win::DWORD needed = 0, returned = 0;
    if (!win::EnumJobsA(printer.get(), 0, kAllJobs, 2, nullptr, 0, &needed, &returned) &&
        win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER)
        return false;
    if (needed == 0)
        return false;
    std::vector<win::JOB_INFO_2A> jobs;
    if (!win::EnumJobsA(printer.get(), 0, kAllJobs, 2, &jobs, needed, &needed, &returned))
        return false;
    // The printer is closed before any row changes.
    printer.reset();
    for (win::DWORD i = 0; i < returned && i < jobs.size(); ++i)
        operation(jobs[i]);
    return true;
}

JobMonitor::JobMonitor(MonitorTimer& timer, win::HWND owner, RowSearch search)
    : timer_(timer), owner_(owner), rows_(TextFormats::FromUserLocale(), search) {}

void JobMonitor::FormCreate() {
    SharedOnly = false;
    PrinterNames.clear();
    EnumPrinterNames(PrinterNames, SharedOnly, owner_);
}

void JobMonitor::Timer1Timer() {
    const std::size_t count = PrinterNames.size();
    for (std::size_t i = 0; i < count && i < PrinterNames.size(); ++i) {
        // A copy: the name outlives any change to the list during the poll.
        const std::string name = PrinterNames[i];
        PollPrinterJobs(name, [this](const win::JOB_INFO_2A& job) { rows_.UpdateJobRow(job); });
    }
}

void JobMonitor::RefreshPrinterNames() {
    TimerHold hold(timer_);
    PrinterNames.clear();
    EnumPrinterNames(PrinterNames, SharedOnly, owner_);
}

bool JobMonitor::ToggleSharedOnly() {
    SharedOnly = !SharedOnly;
    RefreshPrinterNames();
    return SharedOnly;
}

bool ControlJob(const std::string& printerName, win::DWORD jobId, win::DWORD command,
                const std::string& document, bool* opened) {
    win::UniquePrinter printer;
    const bool open = win::OpenPrinterA(printerName, printer.put(), nullptr);
    if (opened)
        *opened = open;
    if (!open)
        return false;
    const bool accepted = win::SetJobA(printer.get(), jobId, 0, command);
    // Closing the printer must not overwrite the reason SetJob gave.
    const win::DWORD code = win::GetLastError();
    printer.reset();
    const std::string what = "job " + std::to_string(jobId) + " " + audit::Quoted(document) +
                             " on " + audit::Quoted(printerName);
    if (accepted) {
        const audit::EventId id = command == win::JOB_CONTROL_PAUSE     ? audit::kJobPaused
                                  : command == win::JOB_CONTROL_RESUME  ? audit::kJobResumed
                                  : command == win::JOB_CONTROL_RESTART ? audit::kJobRestarted
                                                                        : audit::kJobCancelled;
        const char* verb = id == audit::kJobPaused      ? "paused "
                           : id == audit::kJobResumed   ? "resumed "
                           : id == audit::kJobRestarted ? "restarted "
                                                        : "cancelled ";
        audit::Record(id, verb + what);
    } else {
        audit::Record(audit::kJobFailed, "the spooler refused to change " + what + ": " +
                                             win::FormatSystemMessage(code));
    }
    win::SetLastError(code);
    return accepted;
}

bool JobMonitor::ControlSelectedJob(std::optional<std::size_t> selectedRow, win::DWORD command) {
    if (!selectedRow || *selectedRow >= rows_.RowCount())
        return false;
    TimerHold hold(timer_);
    // Copies: a box shown below pumps messages, and the row may go meanwhile.
    const JobRow row = rows_.Row(*selectedRow);
    const std::string& printerText = row.cells[Printer];
    // The Computer text is "\\machine", so this names the printer on its server.
    const std::string name = row.cells[Computer] + "\\" + printerText;
    bool opened = false;
    const bool accepted = ControlJob(name, row.key.jobId, command, row.cells[Document], &opened);
    if (!opened) {
        win::MessageBoxA(owner_,
                         kOpenPrinterError + std::to_string(row.key.jobId) + " " + printerText,
                         quellin::system::kApplicationTitle, win::MB_OK);
    }
    return accepted;
}

void JobMonitor::DeleteSelectedItem(std::optional<std::size_t> selectedRow) {
    if (selectedRow && *selectedRow < rows_.RowCount())
        rows_.RemoveRow(*selectedRow);
}

void JobMonitor::DeleteAllItems() {
    rows_.Clear();
}

}  // namespace quellin::queue
