// The decisions of "quellin-cli repair": which remedies to run for a set of findings, in which
// order, which a plan can leave out because an earlier step mends their findings too, and when
// a run stops. Data in, data out: the command gathers the reports and runs the steps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/health.h"
#include "cli/remedy.h"

namespace quellin::cli {

// The order a machine is mended in: nothing can be read or changed without the spooler, the
// driver files belong to the printer the feature brings, and a job needs its printer.
enum class RepairStage { Spooler, FeatureAndPrinter, DriverFiles, Jobs };
RepairStage StageOf(const Remedy& remedy);

struct RepairStep {
    Remedy remedy;
    std::vector<std::string> findings;  // the codes it answers, in report order
};

// One step per distinct remedy of `findings`, by stage; within a stage the reinstall first
// (it mends what an install would), then in the order of the report.
std::vector<RepairStep> OrderSteps(const std::vector<Finding>& findings);

// Whether running `step` mends `finding` by what the command does: its own finding, and for a
// reinstall every finding of the feature, printer, port, driver files and the printer's jobs
// (it deletes every queued job and brings fresh driver files).
bool StepMends(const Remedy& step, const Finding& finding);

// The steps a run would take, foreseen from one report: the ordered steps less those whose
// findings an earlier step mends.
std::vector<RepairStep> PlanSteps(const std::vector<Finding>& findings);

// The next step of a real run: the first step the findings now call for whose remedy has not
// run yet, nor another command on the same job; none when no finding has a remedy left.
std::optional<RepairStep> NextStep(const std::vector<Finding>& findings,
                                   const std::vector<Remedy>& ran);

// Why a run ended.
enum class RepairStop {
    Healthy,         // no finding stands
    CannotAssess,    // the report cannot be made (see HealthReport::CannotAssess)
    Failed,          // a step ended with an exit code other than 0 or 3010
    Unchanged,       // a step changed nothing: running on would go round in circles
    RestartPending,  // only a restart can mend what stands
    NoRemedyLeft,    // findings stand that no command mends, or whose remedy already ran
};
const char* RepairStopName(RepairStop stop);

struct StepOutcome {
    int exitCode = 0;
    bool changed = false;
};

// After a report, with the outcome of the step that led to it (none before the first step):
// the reason to stop, or nullopt to run NextStep.
std::optional<RepairStop> DecideStop(const HealthReport& report,
                                     const std::optional<StepOutcome>& last,
                                     const std::vector<Remedy>& ran);

// The run's exit code: 0 healthy, 3010 when a restart stands or a step asked for one, the
// failing step's code, 6 when the machine cannot be assessed, else 1 for the findings left.
int RepairExitCode(RepairStop stop, const std::optional<StepOutcome>& last, bool restartAsked);

}  // namespace quellin::cli
