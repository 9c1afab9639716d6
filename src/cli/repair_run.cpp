// repair: assesses the machine as status does and runs the remedies of its findings in this
// process, one step at a time, assessing again after each, until the machine is healthy or
// running on would not help; --check gives the plan instead.
#include <algorithm>

#include "cli/command.h"
#include "cli/health.h"
#include "cli/repair_steps.h"

namespace quellin::cli {

namespace {

std::string CodeList(const std::vector<std::string>& codes) {
    std::string text;
    for (const std::string& code : codes)
        text += (text.empty() ? "" : ", ") + code;
    return text.empty() ? "none" : text;
}

std::vector<std::string> Codes(const std::vector<Finding>& findings) {
    std::vector<std::string> codes;
    for (const Finding& finding : findings)
        codes.push_back(finding.code);
    return codes;
}

Json StepJson(const RepairStep& step) {
    return Json::Object()
        .Set("findings", Json::StringArray(step.findings))
        .Set("remedy", RemedyJson(step.remedy));
}

Json FailureJson(const CommandFailure& failure) {
    return Json::Object()
        .Set("message", failure.what())
        .Set("windowsError",
             failure.windowsError ? WindowsErrorJson(*failure.windowsError) : Json())
        .Set("remedy", failure.remedy ? RemedyJson(*failure.remedy) : Json());
}

// The plan: the steps one report foresees. A stopped spooler hides the printer, the port and
// the jobs, so findings may appear once it runs: the plan then says it is not complete.
void ReportPlan(const HealthReport& report, Reporter& reporter) {
    const std::vector<RepairStep> steps =
        report.CannotAssess() ? std::vector<RepairStep>{} : PlanSteps(report.findings);
    Json list = Json::Array();
    reporter.Line(steps.empty() ? "would do nothing" : "would do:");
    for (const RepairStep& step : steps) {
        list.Push(StepJson(step));
        reporter.Line("  " + RemedyText(step.remedy) + "  (" + CodeList(step.findings) + ")");
    }
    const std::vector<std::string> codes = Codes(report.findings);
    const bool complete = std::find(codes.begin(), codes.end(), "spooler-stopped") == codes.end();
    reporter.data.Set("plan", Json::Object()
                                  .Set("steps", std::move(list))
                                  .Set("wouldChange", !steps.empty())
                                  .Set("complete", complete));
    reporter.exitCode = steps.empty()             ? report.ExitCode()
                        : report.RestartPending() ? kExitRestartRequired
                                                  : kExitDone;
}

}  // namespace

void RepairCommand(const Invocation& invocation, Reporter& reporter) {
    const Expect expect = ExpectOption(invocation);
    const unsigned stuckAfter = StuckAfterOption(invocation);
    // Every way the run ends keeps these members.
    reporter.data = Json::Object()
                        .Set("expect", expect == Expect::Present ? "present" : "absent")
                        .Set("before", Json::Array())
                        .Set("steps", Json::Array())
                        .Set("after", Json::Array())
                        .Set("healthy", false)
                        .Set("stopped", Json());
    RequireAdministrator();
    if (reporter.check && MachineBusy())
        throw CommandFailure(kExitBusy, kMachineBusyText);

    HealthReport report = GatherHealthReport(expect, stuckAfter);
    reporter.data.Set("before", FindingsJson(report.findings));
    reporter.Line("findings before: " + CodeList(Codes(report.findings)));
    if (reporter.check) {
        ReportPlan(report, reporter);
        reporter.data.Set("after", FindingsJson(report.findings)).Set("healthy", report.Healthy());
        return;
    }

    Json steps = Json::Array();
    std::vector<Remedy> ran;
    std::optional<StepOutcome> last;
    std::optional<CommandFailure> failure;
    bool restartAsked = false;
    std::optional<RepairStop> stop;
    while (!(stop = DecideStop(report, last, ran))) {
        const RepairStep step = *NextStep(report.findings, ran);
        reporter.Progress("repair step " + std::to_string(ran.size() + 1) + " for " +
                          CodeList(step.findings) + ": " + RemedyText(step.remedy));
        reporter.Line("step " + std::to_string(ran.size() + 1) + ": " + RemedyText(step.remedy) +
                      "  (" + CodeList(step.findings) + ")");
        const RemedyRun run = RunRemedy(step.remedy, reporter);
        ran.push_back(step.remedy);
        last = StepOutcome{run.exitCode, run.changed};
        failure = run.failure;
        reporter.changed = reporter.changed || run.changed;
        restartAsked = restartAsked || run.exitCode == kExitRestartRequired;
        steps.Push(StepJson(step)
                       .Set("exitCode", run.exitCode)
                       .Set("changed", run.changed)
                       .Set("error", run.failure ? FailureJson(*run.failure) : Json()));
        reporter.Line("  exit " + std::to_string(run.exitCode) +
                      (run.changed ? ", changed" : ", nothing changed"));
        report = GatherHealthReport(expect, stuckAfter);
    }
    reporter.data.Set("steps", std::move(steps))
        .Set("after", FindingsJson(report.findings))
        .Set("healthy", report.Healthy())
        .Set("stopped", RepairStopName(*stop));
    reporter.Line("findings after: " + CodeList(Codes(report.findings)));
    reporter.Line(std::string("stopped: ") + RepairStopName(*stop));
    const int exitCode = RepairExitCode(*stop, last, restartAsked || report.RestartPending());
    if (*stop == RepairStop::Failed && failure)
        throw CommandFailure(
            exitCode, "the step \"" + RemedyText(ran.back()) + "\" failed: " + failure->what(),
            failure->windowsError, failure->remedy);
    reporter.exitCode = exitCode;
}

}  // namespace quellin::cli
