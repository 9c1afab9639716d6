// install, reinstall, uninstall and clear-queue: the repair sequences and the uninstall
// command, with their steps as progress lines and the result read back afterwards.
#include "cli/command.h"
#include "cli/console_ui.h"
#include "cli/health.h"
#include "repair/sequences.h"
#include "repair/uninstall.h"
#include "system/appinfo.h"
#include "system/preferences.h"
#include "system/printer_list.h"

namespace cli {

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
        tools_.Push(Json::Object().Set("parameters", parameters).Set("exitCode", exitCode));
        lastExitCode_ = exitCode;
    }

    Json Steps() const { return steps_; }
    Json Tools() const { return tools_; }
    std::int32_t LastExitCode() const { return lastExitCode_; }

  private:
    Reporter& reporter_;
    std::string caption_;
    Json steps_ = Json::Array();
    Json tools_ = Json::Array();
    std::int32_t lastExitCode_ = 0;
};

repair::RepairSettings Settings() {
    repair::RepairSettings settings;
    settings.wow64KeyFlag = Wow64KeyFlag();
    settings.targetPrinterName = quellin::system::kTargetPrinterName;
    settings.targetDriverName = quellin::system::kTargetDriverName;
    settings.autoSaveFile = quellin::system::LoadPreferences().ASFile;
    return settings;
}

// A servicing tool's non-zero exit code is a Windows error code (or an HRESULT).
std::optional<win::DWORD> ToolError(std::int32_t exitCode) {
    if (exitCode == 0 || exitCode == -1)
        return std::nullopt;
    return static_cast<win::DWORD>(exitCode);
}

void RunSequence(int mode, Reporter& reporter, ProgressLines& progress) {
    const repair::RepairOutcome outcome = repair::RunRepair(mode, Settings(), progress);
    reporter.data.Set("steps", progress.Steps()).Set("servicingTool", progress.Tools());
    if (outcome == repair::RepairOutcome::ServicingToolMissing)
        throw CommandFailure(kExitSystemRefused,
                             "the servicing tool " + repair::BuildRepairPaths().servicingTool +
                                 " is missing; nothing was changed",
                             win::ERROR_FILE_NOT_FOUND);
}

// The printer's presence afterwards decides the result.
void RequirePrinterState(bool wantPresent, Reporter& reporter, const ProgressLines* progress,
                         const std::string& done, const std::string& failed) {
    const bool present = quellin::system::IsPrinterPresent(kPrinter);
    reporter.data.Set("printerPresent", present);
    if (present != wantPresent)
        throw CommandFailure(kExitSystemRefused, failed,
                             progress ? ToolError(progress->LastExitCode()) : std::nullopt);
    reporter.Line(done);
}

}  // namespace

void InstallCommand(const Invocation&, Reporter& reporter) {
    RequireAdministrator();
    // Scripts run this again and again: a present printer is left alone.
    if (quellin::system::IsPrinterPresent(kPrinter)) {
        reporter.data.Set("changed", false).Set("printerPresent", true);
        reporter.Line("\"Microsoft Print to PDF\" is already present; nothing was done.");
        return;
    }
    reporter.data.Set("changed", true);
    ProgressLines progress(reporter);
    RunSequence(repair::kInstallMode, reporter, progress);
    RequirePrinterState(true, reporter, &progress, "\"Microsoft Print to PDF\" is installed.",
                        "the install ran, but \"Microsoft Print to PDF\" is still missing");
}

void ReinstallCommand(const Invocation&, Reporter& reporter) {
    RequireAdministrator();
    reporter.data.Set("changed", true);
    ProgressLines progress(reporter);
    RunSequence(repair::kReinstallMode, reporter, progress);
    RequirePrinterState(true, reporter, &progress, "\"Microsoft Print to PDF\" is reinstalled.",
                        "the reinstall ran, but \"Microsoft Print to PDF\" is missing");
}

void UninstallCommand(const Invocation& invocation, Reporter& reporter) {
    RequireAdministrator();
    const bool keepFeature = invocation.Has("keep-feature");
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
    const repair::UninstallOutcome outcome = repair::UninstallPrinter(settings);
    if (outcome == repair::UninstallOutcome::PrinterMissing) {
        reporter.data.Set("changed", false).Set("printerPresent", false);
        reporter.Line("\"Microsoft Print to PDF\" is not present; nothing was done.");
        return;
    }
    reporter.data.Set("changed", true);
    RequirePrinterState(false, reporter, nullptr, "\"Microsoft Print to PDF\" is removed.",
                        "\"Microsoft Print to PDF\" could not be removed");
    if (keepFeature)
        return;
    const StateReading feature = ReadFeatureState();
    reporter.data.Set("featureState", feature.error ? Json() : Json(feature.state));
    if (!feature.error && feature.state == "Enabled")
        throw CommandFailure(kExitSystemRefused,
                             "the printer is removed, but the optional feature is still enabled");
    reporter.Line("The optional feature is " +
                  (feature.error ? "in an unknown state" : feature.state) + ".");
}

void ClearQueueCommand(const Invocation&, Reporter& reporter) {
    RequireAdministrator();
    ProgressLines progress(reporter);
    RunSequence(repair::kMaintenanceMode, reporter, progress);
    const StateReading spooler = ReadSpoolerState();
    reporter.data.Set("spooler", spooler.error ? Json() : Json(spooler.state));
    if (spooler.error)
        throw CommandFailure(kExitSystemRefused, "the Spooler service cannot be queried",
                             spooler.error->code);
    if (spooler.state != "running")
        throw CommandFailure(kExitSystemRefused,
                             "the queue was cleared, but the Spooler service is " + spooler.state);
    reporter.Line("The print queue is cleared and the Spooler service runs.");
}

}  // namespace cli
