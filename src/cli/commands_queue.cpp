// status, jobs and job pause|resume|restart|cancel.
#include <algorithm>

#include "cli/command.h"
#include "cli/console_ui.h"
#include "cli/health.h"
#include "platform/spooler.h"
#include "queue/job_monitor.h"
#include "queue/job_text.h"

namespace quellin::cli {

namespace {

constexpr win::DWORD kInvalidPrinterName = 1801;  // ERROR_INVALID_PRINTER_NAME

win::DWORD ParseJobId(const std::string& text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw UsageError("the job id \"" + text + "\" is not a number");
    // Any count of digits is a number; leading zeros add nothing to its size.
    const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    if (digits.size() > 10 || (!digits.empty() && std::stoull(digits) > 0xFFFFFFFFull))
        throw UsageError("the job id \"" + text + "\" is too large");
    return digits.empty() ? 0 : static_cast<win::DWORD>(std::stoull(digits));
}

std::string JobLine(const JobFact& job) {
    return "  " + std::to_string(job.id) + "  " + (job.status.empty() ? "-" : job.status) + "  \"" +
           job.document + "\"  " + job.owner + "  " + std::to_string(job.size) + " bytes  " +
           std::to_string(job.pagesPrinted) + " pages printed  " + IsoTime(job.submitted);
}

constexpr win::DWORD kRpcServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE

// A spooler that is not running answers every printer call with "The RPC server is
// unavailable": an empty list would read as "no jobs".
void RequireSpooler() {
    const StateReading spooler = ReadSpoolerState();
    if (spooler.error)
        throw CommandFailure(kExitSystemRefused, "the Spooler service cannot be queried",
                             spooler.error->code);
    if (spooler.state != "running")
        throw CommandFailure(kExitSystemRefused, "the Spooler service is " + spooler.state,
                             kRpcServerUnavailable, MakeRemedy({"spooler", "start"}));
}

void RequirePrinter(const std::string& printer) {
    win::UniquePrinter handle;
    if (!win::OpenPrinterA(printer, handle.put(), nullptr)) {
        const win::DWORD code = win::GetLastError();
        throw CommandFailure(kExitSystemRefused, "cannot open the printer \"" + printer + "\"",
                             code ? code : kInvalidPrinterName);
    }
}

const JobFact* FindJob(const std::vector<PrinterJobs>& jobs, win::DWORD id) {
    for (const JobFact& job : jobs.front().jobs)
        if (job.id == id)
            return &job;
    return nullptr;
}

}  // namespace

Expect ExpectOption(const Invocation& invocation) {
    const std::string text = invocation.Value("expect").value_or("present");
    if (text != "present" && text != "absent")
        throw UsageError("--expect takes present or absent");
    return text == "present" ? Expect::Present : Expect::Absent;
}

unsigned StuckAfterOption(const Invocation& invocation) {
    const std::optional<std::string> text = invocation.Value("stuck-after");
    if (!text)
        return kDefaultStuckAfterMinutes;
    if (text->empty() || text->size() > 7 ||
        !std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoul(*text) == 0)
        throw UsageError("--stuck-after takes whole minutes, 1 to 9999999");
    return static_cast<unsigned>(std::stoul(*text));
}

void StatusCommand(const Invocation& invocation, Reporter& reporter) {
    const Expect expect = ExpectOption(invocation);
    const unsigned stuckAfter = StuckAfterOption(invocation);
    // Read while another command changes the machine, its passing state would name findings
    // and remedies that the command under way is about to mend.
    if (MachineBusy()) {
        reporter.data.Set("findings", Json::Array());
        throw CommandFailure(kExitBusy, kMachineBusyText);
    }
    const HealthReport report = GatherHealthReport(expect, stuckAfter);
    reporter.data = HealthReportJson(report);
    for (const std::string& line : HealthReportLines(report))
        reporter.Line(line);
    reporter.exitCode = report.ExitCode();
}

void JobsCommand(const Invocation& invocation, Reporter& reporter) {
    RequireSpooler();
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
    RequireSpooler();
    RequirePrinter(*printer);
    HoldMachine();

    // The printer is opened by the name given: a job sent from another computer is held by
    // this one's queue, and its sender's name would lead to a printer that does not exist.
    const JobFact* found = nullptr;
    const std::vector<PrinterJobs> before = ReadJobs({*printer});
    found = FindJob(before, jobId);
    reporter.data.Set("printer", *printer).Set("job", jobId).Set("action", verb);
    if (!found) {
        // A job that is gone is what a cancel wants and leaves nothing to pause, resume or
        // restart: a remedy run after another remedy removed the job is done, not failed.
        reporter.data.Set("found", false);
        if (reporter.check)
            reporter.data.Set("plan", Json::Object()
                                          .Set("steps", Json::Array())
                                          .Set("write", Json::Array())
                                          .Set("delete", Json::Array())
                                          .Set("jobs", Json::Array()));
        reporter.changed = false;
        reporter.Line("printer \"" + *printer + "\" has no job " + std::to_string(jobId) +
                      ": nothing to " + verb);
        return;
    }
    reporter.data.Set("found", true).Set("before", JobJson(*found));
    if (reporter.check) {
        reporter.data.Set(
            "plan", Json::Object()
                        .Set("steps", Json::StringArray({verb + " job " + std::to_string(jobId)}))
                        .Set("write", Json::Array())
                        .Set("delete", Json::Array())
                        .Set("jobs", verb == "cancel" ? Json::Array().Push(JobJson(*found))
                                                      : Json::Array()));
        reporter.Line("would " + verb + " job " + std::to_string(jobId) + " on \"" + *printer +
                      "\"");
        return;
    }
    reporter.Progress(verb + " job " + std::to_string(jobId) + " on \"" + *printer + "\"");
    win::SetLastError(win::ERROR_SUCCESS);
    const bool accepted = queue::ControlJob(*printer, jobId, command, found->document);
    if (!accepted) {
        const win::DWORD code = win::GetLastError();
        throw CommandFailure(kExitSystemRefused,
                             "the spooler refused to " + verb + " job " + std::to_string(jobId),
                             code ? std::optional<win::DWORD>(code) : std::nullopt);
    }
    // Read back: the job's state now, or its absence after a cancel.
    const std::vector<PrinterJobs> after = ReadJobs({*printer});
    const JobFact* now = FindJob(after, jobId);
    reporter.changed = !now || now->statusBits != found->statusBits;
    reporter.data.Set("after", now ? JobJson(*now) : Json());
    reporter.Line("job " + std::to_string(jobId) + " on \"" + *printer + "\": " +
                  (now ? (now->status.empty() ? "queued" : now->status) : "no longer queued"));
}

}  // namespace quellin::cli
