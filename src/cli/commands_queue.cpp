// status, jobs and job pause|resume|restart|cancel.
#include <algorithm>

#include "cli/command.h"
#include "cli/console_ui.h"
#include "cli/health.h"
#include "platform/spooler.h"
#include "queue/job_monitor.h"
#include "queue/job_text.h"

namespace cli {

namespace {

// The monitor's timer, which a command line does not run.
class NoTimer final : public queue::MonitorTimer {
  public:
    bool Running() const override { return false; }
    void Stop() override {}
    void Start() override {}
};

constexpr win::DWORD kInvalidPrinterName = 1801;  // ERROR_INVALID_PRINTER_NAME

win::DWORD ParseJobId(const std::string& text) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw UsageError("the job id \"" + text + "\" is not a number");
    const unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull)
        throw UsageError("the job id \"" + text + "\" is too large");
    return static_cast<win::DWORD>(value);
}

std::string JobLine(const JobFact& job) {
    return "  " + std::to_string(job.id) + "  " + (job.status.empty() ? "-" : job.status) + "  \"" +
           job.document + "\"  " + job.owner + "  " + std::to_string(job.size) + " bytes  " +
           std::to_string(job.pagesPrinted) + " pages printed  " + IsoTime(job.submitted);
}

void RequirePrinter(const std::string& printer) {
    win::HANDLE handle = nullptr;
    if (!win::OpenPrinterA(printer, &handle, nullptr)) {
        const win::DWORD code = win::GetLastError();
        throw CommandFailure(kExitSystemRefused, "cannot open the printer \"" + printer + "\"",
                             code ? code : kInvalidPrinterName);
    }
    win::ClosePrinter(handle);
}

}  // namespace

void StatusCommand(const Invocation&, Reporter& reporter) {
    const HealthReport report = GatherHealthReport();
    reporter.data = HealthReportJson(report);
    for (const std::string& line : HealthReportLines(report))
        reporter.Line(line);
    reporter.exitCode = report.Healthy() ? kExitDone : kExitFinding;
}

void JobsCommand(const Invocation& invocation, Reporter& reporter) {
    std::vector<std::string> printers;
    if (auto printer = invocation.Value("printer")) {
        RequirePrinter(*printer);
        printers.push_back(*printer);
    } else {
        printers = AllPrinterNames();
    }
    Json list = Json::Array();
    for (const PrinterJobs& entry : ReadJobs(printers)) {
        Json jobs = Json::Array();
        reporter.Line(entry.printer + ": " + std::to_string(entry.jobs.size()) +
                      (entry.jobs.size() == 1 ? " job" : " jobs"));
        for (const JobFact& job : entry.jobs) {
            jobs.Push(JobJson(job));
            reporter.Line(JobLine(job));
        }
        list.Push(Json::Object().Set("printer", entry.printer).Set("jobs", std::move(jobs)));
    }
    reporter.data.Set("printers", std::move(list));
}

void JobControlCommand(const Invocation& invocation, Reporter& reporter) {
    const std::string verb = invocation.command.substr(invocation.command.find(' ') + 1);
    const win::DWORD command = verb == "pause"     ? win::JOB_CONTROL_PAUSE
                               : verb == "resume"  ? win::JOB_CONTROL_RESUME
                               : verb == "restart" ? win::JOB_CONTROL_RESTART
                                                   : win::JOB_CONTROL_CANCEL;
    const win::DWORD jobId = ParseJobId(invocation.positionals.at(0));
    const std::optional<std::string> printer = invocation.Value("printer");
    if (!printer)
        throw UsageError("\"job " + verb + "\" needs --printer P");
    RequirePrinter(*printer);

    // The job monitor's own steps: one poll of the printer gives the job's row, and the row's
    // server-qualified printer name takes the command.
    NoTimer timer;
    queue::JobMonitor monitor(timer, 0);
    monitor.PrinterNames = {*printer};
    monitor.Timer1Timer();
    std::optional<std::size_t> row;
    for (std::size_t i = 0; i < monitor.Rows().RowCount() && !row; ++i)
        if (monitor.Rows().Row(i).key.jobId == jobId)
            row = i;
    reporter.data.Set("printer", *printer).Set("job", jobId).Set("action", verb);
    if (!row) {
        reporter.data.Set("found", false);
        throw CommandFailure(kExitFinding,
                             "printer \"" + *printer + "\" has no job " + std::to_string(jobId));
    }
    reporter.data.Set("found", true);
    reporter.Progress(verb + " job " + std::to_string(jobId) + " on \"" + *printer + "\"");
    win::SetLastError(win::ERROR_SUCCESS);
    if (!monitor.ControlSelectedJob(row, command)) {
        const win::DWORD code = win::GetLastError();
        throw CommandFailure(kExitSystemRefused,
                             "the spooler refused to " + verb + " job " + std::to_string(jobId),
                             code ? std::optional<win::DWORD>(code) : std::nullopt);
    }
    // Read back: the job's state now, or its absence after a cancel.
    const std::vector<PrinterJobs> after = ReadJobs({*printer});
    const JobFact* now = nullptr;
    for (const JobFact& job : after.front().jobs)
        if (job.id == jobId)
            now = &job;
    reporter.data.Set("after", now ? JobJson(*now) : Json());
    reporter.Line("job " + std::to_string(jobId) + " on \"" + *printer + "\": " +
                  (now ? (now->status.empty() ? "queued" : now->status) : "no longer queued"));
}

}  // namespace cli
