// repair's decisions on random sets of findings, on a machine where each step mends what it
// is meant to: the run takes the steps its plan foresaw, each once, in stage order, and ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "cli/cli.h"
#include "cli/repair_steps.h"

namespace quellin::cli {

namespace {

TEST(RepairSteps, TheRunTakesThePlannedStepsOnceEachInStageOrder) {
    const auto remedy = [](std::vector<std::string> args) { return MakeRemedy(std::move(args)); };
    const std::vector<Finding> catalogue = {
        {"spooler-stopped", "", remedy({"spooler", "start"})},
        {"feature-disabled", "", remedy({"install"})},
        {"printer-missing", "", remedy({"reinstall"})},
        {"port-missing", "", remedy({"reinstall"})},
        {"paper-sizes-disagree", "", remedy({"paper", "set", "--sizes", "A4", "--default", "A4"})},
        {"resolutions-disagree", "", remedy({"resolution", "set", "--dpi", "600"})},
        {"job-error", "", remedy({"job", "cancel", "3", "--printer=P"})},
        {"job-stuck", "", remedy({"job", "resume", "4", "--printer=P"})},
        {kRestartPendingFinding, "", std::nullopt}};
    std::mt19937 random(31);
    for (int round = 0; round < 500; ++round) {
        HealthReport report;
        for (const Finding& finding : catalogue)
            if (random() % 3 == 0)
                report.findings.push_back(finding);
        std::shuffle(report.findings.begin(), report.findings.end(), random);
        const std::vector<RepairStep> plan = PlanSteps(report.findings);
        std::vector<Remedy> ran;
        std::optional<StepOutcome> last;
        std::optional<RepairStop> stop;
        while (!(stop = DecideStop(report, last, ran))) {
            const Remedy step = NextStep(report.findings, ran)->remedy;
            ASSERT_TRUE(ran.empty() || StageOf(ran.back()) <= StageOf(step));
            ran.push_back(step);
            std::erase_if(report.findings, [&](const Finding& f) { return StepMends(step, f); });
            last = StepOutcome{kExitDone, true};
        }
        std::vector<Remedy> planned;
        for (const RepairStep& step : plan)
            planned.push_back(step.remedy);
        EXPECT_EQ(ran, planned) << "round " << round;
        const bool pending = !report.Healthy();
        EXPECT_EQ(*stop, pending ? RepairStop::RestartPending : RepairStop::Healthy);
        EXPECT_EQ(RepairExitCode(*stop, last, pending), pending ? kExitRestartRequired : kExitDone);
    }
}

}  // namespace

}  // namespace quellin::cli
