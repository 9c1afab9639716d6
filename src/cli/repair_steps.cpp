#include "cli/repair_steps.h"

#include <algorithm>

#include "cli/cli.h"

namespace quellin::cli {

namespace {

bool IsCommand(const Remedy& remedy, const char* word) {
    return !remedy.args.empty() && remedy.args.front() == word;
}

// A job is acted on once a run: a job resumed to keep its document is not cancelled a moment
// later because it has not started printing yet.
bool SameJob(const Remedy& a, const Remedy& b) {
    return IsCommand(a, "job") && IsCommand(b, "job") && a.args.size() == b.args.size() &&
           std::equal(a.args.begin() + 2, a.args.end(), b.args.begin() + 2);
}

bool Ran(const std::vector<Remedy>& ran, const Remedy& remedy) {
    return std::any_of(ran.begin(), ran.end(),
                       [&](const Remedy& done) { return done == remedy || SameJob(done, remedy); });
}

bool Stands(const HealthReport& report, const char* code) {
    return std::any_of(report.findings.begin(), report.findings.end(),
                       [&](const Finding& finding) { return finding.code == code; });
}

}  // namespace

RepairStage StageOf(const Remedy& remedy) {
    if (IsCommand(remedy, "spooler"))
        return RepairStage::Spooler;
    if (IsCommand(remedy, "install") || IsCommand(remedy, "reinstall") ||
        IsCommand(remedy, "uninstall"))
        return RepairStage::FeatureAndPrinter;
    if (IsCommand(remedy, "job"))
        return RepairStage::Jobs;
    return RepairStage::DriverFiles;
}

std::vector<RepairStep> OrderSteps(const std::vector<Finding>& findings) {
    std::vector<RepairStep> steps;
    for (const Finding& finding : findings) {
        if (!finding.remedy)
            continue;
        auto same = std::find_if(steps.begin(), steps.end(), [&](const RepairStep& step) {
            return step.remedy == *finding.remedy;
        });
        if (same == steps.end())
            steps.push_back({*finding.remedy, {finding.code}});
        else
            same->findings.push_back(finding.code);
    }
    std::stable_sort(steps.begin(), steps.end(), [](const RepairStep& a, const RepairStep& b) {
        const auto key = [](const RepairStep& step) {
            return std::pair(StageOf(step.remedy), IsCommand(step.remedy, "reinstall") ? 0 : 1);
        };
        return key(a) < key(b);
    });
    return steps;
}

bool StepMends(const Remedy& step, const Finding& finding) {
    if (!finding.remedy)
        return false;
    if (*finding.remedy == step)
        return true;
    return IsCommand(step, "reinstall") && StageOf(*finding.remedy) != RepairStage::Spooler &&
           !IsCommand(*finding.remedy, "uninstall");
}

std::vector<RepairStep> PlanSteps(const std::vector<Finding>& findings) {
    std::vector<RepairStep> kept;
    for (RepairStep& step : OrderSteps(findings)) {
        const bool mendedBefore =
            std::all_of(findings.begin(), findings.end(), [&](const Finding& finding) {
                return !finding.remedy || !(*finding.remedy == step.remedy) ||
                       std::any_of(kept.begin(), kept.end(), [&](const RepairStep& earlier) {
                           return StepMends(earlier.remedy, finding);
                       });
            });
        if (!mendedBefore)
            kept.push_back(std::move(step));
    }
    return kept;
}

std::optional<RepairStep> NextStep(const std::vector<Finding>& findings,
                                   const std::vector<Remedy>& ran) {
    for (RepairStep& step : OrderSteps(findings))
        if (!Ran(ran, step.remedy))
            return std::move(step);
    return std::nullopt;
}

const char* RepairStopName(RepairStop stop) {
    switch (stop) {
        case RepairStop::Healthy:
            return "healthy";
        case RepairStop::CannotAssess:
            return "cannot-assess";
        case RepairStop::Failed:
            return "step-failed";
        case RepairStop::Unchanged:
            return "step-changed-nothing";
        case RepairStop::RestartPending:
            return "restart-pending";
        case RepairStop::NoRemedyLeft:
            return "no-remedy-left";
    }
    return "unknown";
}

std::optional<RepairStop> DecideStop(const HealthReport& report,
                                     const std::optional<StepOutcome>& last,
                                     const std::vector<Remedy>& ran) {
    if (last && last->exitCode != kExitDone && last->exitCode != kExitRestartRequired)
        return RepairStop::Failed;
    if (report.CannotAssess())
        return RepairStop::CannotAssess;
    if (report.Healthy())
        return RepairStop::Healthy;
    if (last && !last->changed)
        return RepairStop::Unchanged;
    if (!NextStep(report.findings, ran))
        return Stands(report, kRestartPendingFinding) ? RepairStop::RestartPending
                                                      : RepairStop::NoRemedyLeft;
    return std::nullopt;
}

int RepairExitCode(RepairStop stop, const std::optional<StepOutcome>& last, bool restartAsked) {
    switch (stop) {
        case RepairStop::Failed:
            return last ? last->exitCode : kExitSystemRefused;
        case RepairStop::CannotAssess:
            return kExitCannotAssess;
        case RepairStop::RestartPending:
            return kExitRestartRequired;
        case RepairStop::Healthy:
            return restartAsked ? kExitRestartRequired : kExitDone;
        case RepairStop::Unchanged:
        case RepairStop::NoRemedyLeft:
            break;
    }
    return restartAsked ? kExitRestartRequired : kExitFinding;
}

}  // namespace quellin::cli
