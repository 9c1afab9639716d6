// install, reinstall, uninstall, clear-queue and spooler start|stop: the repair sequences and
// the uninstall command, with their steps as progress lines, their plan under --check, and the
// result read back afterwards.
#include <chrono>
#include <thread>

#include "cli/command.h"
#include "cli/console_ui.h"
#include "cli/health.h"
#include "cli/repair_plan.h"
#include "driverconfig/driver_files.h"
#include "repair/sequences.h"
#include "repair/uninstall.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/preferences.h"
#include "system/printer_list.h"
#include "system/system_commands.h"

namespace quellin::cli {

namespace {

constexpr const char* kPrinter = quellin::system::kTargetPrinterName;

// Shows each step of a sequence as a progress line and keeps the steps and the servicing
// tool's exit codes for the result.
class ProgressLines final : public repair::Progress {
  public:
    explicit ProgressLines(Reporter& reporter) : reporter_(reporter) {}

    void StepStarted(int step, const std::string& caption, const std::string& label) override {
        if (!caption.empty())
            caption_ = caption;
        std::string line = caption_ + ", step " + std::to_string(step);
        if (!label.empty())
            line += ": " + label;
        reporter_.Progress(line);
        steps_.Push(Json::Object()
                        .Set("step", step)
                        .Set("caption", caption_)
                        .Set("label", label.empty() ? Json() : Json(label)));
    }

    void ServicingToolFinished(const std::string& parameters, std::int32_t exitCode) override {
        reporter_.Progress("dism.exe " + parameters + " ended with exit code " +
                           std::to_string(exitCode));
        codes_.push_back(exitCode);
        tools_.Push(Json::Object()
                        .Set("parameters", parameters)
                        .Set("exitCode", exitCode)
                        .Set("error", ToolErrorJson(exitCode)));
    }

    Json Steps() const { return steps_; }
    Json Tools() const { return tools_; }
    const std::vector<std::int32_t>& Codes() const { return codes_; }

  private:
    Reporter& reporter_;
    std::string caption_;
    Json steps_ = Json::Array();
    Json tools_ = Json::Array();
    std::vector<std::int32_t> codes_;
};

repair::RepairSettings Settings() {
    repair::RepairSettings settings;
    settings.wow64KeyFlag = Wow64KeyFlag();
    settings.targetPrinterName = quellin::system::kTargetPrinterName;
    settings.targetDriverName = quellin::system::kTargetDriverName;
    settings.autoSaveFile = quellin::system::LoadPreferences().ASFile;
    return settings;
}

// The steps run so far stay in the result whatever ends the sequence.
void RunSequence(int mode, Reporter& reporter, ProgressLines& progress) {
    repair::RepairOutcome outcome{};
    try {
        outcome = repair::RunRepair(mode, Settings(), progress);
    } catch (const quellin::system::SystemError& error) {
        reporter.data.Set("steps", progress.Steps()).Set("servicingTool", progress.Tools());
        reporter.changed = true;
        // The sequence ends where it failed, which may leave the spooler stopped.
        const StateReading spooler = ReadSpoolerState();
        const bool stopped = !spooler.error && spooler.state != "running";
        throw CommandFailure(
            kExitSystemRefused, error.what(), error.code(),
            stopped ? std::optional<Remedy>(MakeRemedy({"spooler", "start"})) : std::nullopt);
    } catch (...) {
        reporter.data.Set("steps", progress.Steps()).Set("servicingTool", progress.Tools());
        reporter.changed = true;
        throw;
    }
    reporter.data.Set("steps", progress.Steps()).Set("servicingTool", progress.Tools());
    if (outcome == repair::RepairOutcome::ServicingToolMissing)
        throw CommandFailure(kExitSystemRefused,
                             "the servicing tool " + repair::BuildRepairPaths().servicingTool +
                                 " is missing; nothing was changed",
                             win::ERROR_FILE_NOT_FOUND);
}

// The plan of a changing command under --check: what it would run, delete and remove.
void ReportPlan(const Plan& plan, Reporter& reporter) {
    Json jobs = Json::Array();
    for (const JobFact& job : plan.jobs)
        jobs.Push(JobJson(job));
    reporter.data.Set("plan", Json::Object()
                                  .Set("steps", Json::StringArray(plan.steps))
                                  .Set("write", Json::StringArray(plan.writes))
                                  .Set("delete", Json::StringArray(plan.deletes))
                                  .Set("jobs", std::move(jobs)));
    reporter.Line("would do:");
    for (const std::string& step : plan.steps)
        reporter.Line("  " + step);
    for (const std::string& path : plan.deletes)
        reporter.Line("  delete " + path);
    for (const JobFact& job : plan.jobs)
        reporter.Line("  remove job " + std::to_string(job.id) + " \"" + job.document + "\" of \"" +
                      job.printer + "\"");
}

// A feature whose state cannot be read is neither enabled nor disabled: a command that would
// decide by it refuses with Windows' reason.
bool FeatureEnabled() {
    const StateReading feature = ReadFeatureState();
    if (feature.error)
        throw CommandFailure(kExitSystemRefused,
                             "the optional feature's state cannot be read: " + feature.error->text,
                             feature.error->code);
    return feature.state == "Enabled";
}

// The printer's presence afterwards decides the result; a servicing tool that asks for a
// restart makes it exit 3010.
void FinishInstall(Reporter& reporter, const ProgressLines& progress, const std::string& done,
                   const std::string& failed) {
    const bool present = quellin::system::IsPrinterPresent(kPrinter);
    reporter.data.Set("printerPresent", present);
    const SequenceVerdict verdict = JudgeInstall(present, progress.Codes());
    reporter.data.Set("restartRequired", verdict.exitCode == kExitRestartRequired);
    if (verdict.exitCode == kExitRestartRequired) {
        reporter.exitCode = kExitRestartRequired;
        reporter.Line(done + " Windows asks for a restart to finish.");
        return;
    }
    if (verdict.exitCode != kExitDone)
        throw CommandFailure(verdict.exitCode, failed, verdict.windowsError,
                             MakeRemedy({"reinstall"}));
    reporter.Line(done);
}

void Reinstall(Reporter& reporter) {
    if (reporter.check) {
        ReportPlan(PlanSequence(repair::kReinstallMode, Settings()), reporter);
        return;
    }
    const std::vector<std::string> before =
        PlanSequence(repair::kReinstallMode, Settings()).deletes;
    const std::vector<JobFact> jobs = AllJobs();
    reporter.changed = true;
    ProgressLines progress(reporter);
    RunSequence(repair::kReinstallMode, reporter, progress);
    ReportRemoved(before, jobs, reporter);
    FinishInstall(reporter, progress, "\"Microsoft Print to PDF\" is reinstalled.",
                  "the reinstall ran, but \"Microsoft Print to PDF\" is missing");
}

}  // namespace

void InstallCommand(const Invocation& invocation, Reporter& reporter) {
    RequireAdministrator();
    // Scripts run this again and again: a present printer is left alone.
    if (quellin::system::IsPrinterPresent(kPrinter)) {
        reporter.data.Set("printerPresent", true);
        if (reporter.check)
            ReportPlan({}, reporter);
        reporter.Line("\"Microsoft Print to PDF\" is already present; nothing was done.");
        return;
    }
    // Enabling an enabled feature does not bring its printer back; only a reinstall does.
    if (FeatureEnabled()) {
        reporter.data.Set("printerPresent", false).Set("featureState", "Enabled");
        if (!invocation.Has("repair"))
            throw CommandFailure(kExitFinding,
                                 "the optional feature is enabled but the printer is missing; "
                                 "enabling it again cannot bring the printer back",
                                 std::nullopt, MakeRemedy({"reinstall"}));
        reporter.Progress("the feature is enabled without its printer: reinstalling");
        Reinstall(reporter);
        return;
    }
    if (reporter.check) {
        ReportPlan(PlanSequence(repair::kInstallMode, Settings()), reporter);
        return;
    }
    ProgressLines progress(reporter);
    RunSequence(repair::kInstallMode, reporter, progress);
    // The sequence ran: what cannot be read back counts as changed.
    const StateReading feature = ReadFeatureState();
    reporter.changed =
        quellin::system::IsPrinterPresent(kPrinter) || feature.error || feature.state == "Enabled";
    FinishInstall(reporter, progress, "\"Microsoft Print to PDF\" is installed.",
                  "the install ran, but \"Microsoft Print to PDF\" is still missing");
}

void ReinstallCommand(const Invocation&, Reporter& reporter) {
    RequireAdministrator();
    Reinstall(reporter);
}

void UninstallCommand(const Invocation& invocation, Reporter& reporter) {
    RequireAdministrator();
    const bool keepFeature = invocation.Has("keep-feature");
    const bool present = quellin::system::IsPrinterPresent(kPrinter);
    // The feature's state decides only when the printer is gone and the feature is to go.
    const bool removeFeature = !keepFeature && (present || FeatureEnabled());
    const Plan removal = present ? PlanPrinterRemoval(kPrinter, Wow64KeyFlag()) : Plan();
    if (reporter.check) {
        Plan plan = removal;
        if (removeFeature)
            plan.steps.push_back(std::string("dism.exe ") + repair::kDisableParameters);
        ReportPlan(plan, reporter);
        return;
    }
    if (!present && !removeFeature) {
        reporter.data.Set("printerPresent", false);
        // A removal that waits for a restart is not finished: say so, as status does.
        if (!keepFeature && ReadFeatureState().state == "DisablePending") {
            reporter.exitCode = kExitRestartRequired;
            reporter.Line(
                "\"Microsoft Print to PDF\" is not present; the optional feature's "
                "removal waits for a restart.");
            return;
        }
        reporter.Line("\"Microsoft Print to PDF\" is not present; nothing was done.");
        return;
    }
    const StateReading featureBefore = ReadFeatureState();
    std::optional<std::int32_t> toolCode;
    if (present) {
        // The command line has already answered the window's two questions.
        CurrentConsoleUi()->answerQuestion = [keepFeature](const std::string&,
                                                           const std::string& text) {
            if (text == repair::kRemovePrinterQuestion)
                return win::IDYES;
            if (text == repair::kRemovePackageQuestion)
                return keepFeature ? win::IDNO : win::IDYES;
            return win::IDNO;
        };
        repair::UninstallSettings settings;
        settings.wow64KeyFlag = Wow64KeyFlag();
        settings.targetPrinterName = kPrinter;
        reporter.Progress(keepFeature ? "removing the printer"
                                      : "removing the printer and the feature");
        std::int32_t code = 0;
        if (repair::UninstallPrinter(settings, &code) == repair::UninstallOutcome::PackageRemoved)
            toolCode = code;
    } else {
        // A feature left enabled without its printer is what "status --expect absent" finds.
        reporter.Progress("the printer is gone; removing the feature that is still enabled");
        toolCode = repair::RunServicingTool(repair::BuildRepairPaths(), repair::kDisableParameters,
                                            Wow64KeyFlag());
    }
    ReportRemoved(removal.deletes, removal.jobs, reporter);
    const bool presentAfter = quellin::system::IsPrinterPresent(kPrinter);
    const StateReading feature = ReadFeatureState();
    // What cannot be read back counts as changed.
    reporter.changed = presentAfter != present || featureBefore.error || feature.error ||
                       feature.state != featureBefore.state;
    reporter.data.Set("printerPresent", presentAfter);
    if (toolCode)
        reporter.data.Set("servicingTool",
                          Json::Array().Push(Json::Object()
                                                 .Set("parameters", repair::kDisableParameters)
                                                 .Set("exitCode", *toolCode)
                                                 .Set("error", ToolErrorJson(*toolCode))));
    if (presentAfter)
        throw CommandFailure(kExitSystemRefused, "\"Microsoft Print to PDF\" could not be removed");
    if (keepFeature) {
        reporter.Line("\"Microsoft Print to PDF\" is removed.");
        return;
    }
    reporter.data.Set("featureState", feature.error ? Json() : Json(feature.state));
    if (feature.error)
        throw CommandFailure(kExitSystemRefused,
                             "the printer is removed, but the optional feature's state cannot be "
                             "read: " +
                                 feature.error->text,
                             feature.error->code);
    if (feature.state == "Enabled")
        throw CommandFailure(
            kExitSystemRefused, "the printer is removed, but the optional feature is still enabled",
            toolCode && *toolCode != 0 && *toolCode != -1 && *toolCode != kExitRestartRequired
                ? std::optional<win::DWORD>(static_cast<win::DWORD>(*toolCode))
                : std::nullopt);
    if (toolCode && *toolCode == kExitRestartRequired) {
        reporter.exitCode = kExitRestartRequired;
        reporter.Line("\"Microsoft Print to PDF\" is removed; the optional feature is " +
                      feature.state + ". Windows asks for a restart to finish.");
        return;
    }
    reporter.Line("\"Microsoft Print to PDF\" is removed; the optional feature is " +
                  feature.state + ".");
}

void ClearQueueCommand(const Invocation&, Reporter& reporter) {
    RequireAdministrator();
    const Plan plan = PlanSequence(repair::kMaintenanceMode, Settings());
    if (reporter.check) {
        ReportPlan(plan, reporter);
        return;
    }
    ProgressLines progress(reporter);
    RunSequence(repair::kMaintenanceMode, reporter, progress);
    // Restarting the spooler is no change of its own: only what went counts.
    const Removal removal = ReportRemoved(plan.deletes, plan.jobs, reporter);
    reporter.changed = removal.deleted > 0 || removal.jobsRemoved > 0;
    const StateReading spooler = ReadSpoolerState();
    reporter.data.Set("spooler", spooler.error ? Json() : Json(spooler.state));
    if (spooler.error)
        throw CommandFailure(kExitSystemRefused, "the Spooler service cannot be queried",
                             spooler.error->code);
    if (spooler.state != "running")
        throw CommandFailure(kExitSystemRefused,
                             "the queue was cleared, but the Spooler service is " + spooler.state,
                             std::nullopt, MakeRemedy({"spooler", "start"}));
    if (!removal.left.empty() || !removal.jobsLeft.empty()) {
        std::string what;
        for (const std::string& path : removal.left)
            what += (what.empty() ? "" : "; ") + path;
        for (const JobFact& job : removal.jobsLeft)
            what += (what.empty() ? "job " : "; job ") + std::to_string(job.id) + " of \"" +
                    job.printer + "\"";
        const std::optional<win::DWORD> why =
            removal.left.empty() ? std::nullopt : WhyNotDeleted(removal.left.front());
        throw CommandFailure(kExitSystemRefused,
                             "the queue was cleared only in part; still there: " + what +
                                 (why ? " (" + WindowsErrorText(*why) + ")" : std::string()),
                             why);
    }
    reporter.Line(reporter.changed ? "The print queue is cleared and the Spooler service runs."
                                   : "The print queue was empty; the Spooler service runs.");
}

void SpoolerCommand(const Invocation& invocation, Reporter& reporter) {
    const bool start = invocation.command == "spooler start";
    const std::string wanted = start ? "running" : "stopped";
    RequireAdministrator();
    // A service on its way to a state takes no control until it gets there.
    StateReading before = ReadSpoolerState();
    for (int polls = 0;
         polls < 300 && !before.error && before.state.find("pending") != std::string::npos;
         ++polls) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        before = ReadSpoolerState();
    }
    if (before.error)
        throw CommandFailure(kExitSystemRefused, "the Spooler service cannot be queried",
                             before.error->code);
    if (reporter.check) {
        Plan plan;
        if (before.state != wanted)
            plan.steps.push_back(std::string(start ? "start" : "stop") +
                                 " the Spooler service and wait");
        ReportPlan(plan, reporter);
        reporter.data.Set("spooler", before.state);
        return;
    }
    if (before.state != wanted) {
        reporter.Progress(std::string(start ? "starting" : "stopping") + " the Spooler service");
        if (start)
            quellin::system::StartServiceAndWait("", repair::kSpoolerService);
        else
            quellin::system::StopServiceAndWait("", repair::kSpoolerService);
    }
    const StateReading after = ReadSpoolerState();
    reporter.changed = after.error || after.state != before.state;
    reporter.data.Set("spooler", after.error ? Json() : Json(after.state));
    if (after.error || after.state != wanted)
        throw CommandFailure(
            kExitSystemRefused,
            "the Spooler service is " + (after.error ? std::string("unknown") : after.state) +
                ", not " + wanted,
            after.error ? std::optional<win::DWORD>(after.error->code) : std::nullopt);
    reporter.Line("The Spooler service is " + wanted + ".");
}

}  // namespace quellin::cli
