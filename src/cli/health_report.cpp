// The findings of the health report and its two forms of output.
#include <algorithm>
#include <cstdio>

#include "cli/cli.h"
#include "cli/health.h"
#include "driverconfig/driver_files.h"
#include "driverconfig/feature_writer.h"
#include "driverconfig/resolution_editor.h"
#include "driverconfig/text.h"
#include "platform/filesystem.h"
#include "platform/spooler.h"
#include "system/app_info.h"

namespace quellin::cli {

namespace {

// The resolutions "resolution set" can write (1200 is refused as the dialog refuses it).
bool IsEditableResolution(std::int64_t dpi) {
    return dpi != 1200 && std::find(driverconfig::kResolutionsByPosition.begin(),
                                    driverconfig::kResolutionsByPosition.end(),
                                    dpi) != driverconfig::kResolutionsByPosition.end();
}

Remedy Command(std::vector<std::string> args) {
    return MakeRemedy(std::move(args));
}

std::string Join(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty())
            text += separator;
        text += item;
    }
    return text;
}

// "paper set" with the description's sizes, when they are ones the command can write. A custom
// size goes with its dimensions, so the mend keeps the user's setting.
Remedy PaperRemedy(const FeatureFacts& facts) {
    std::vector<std::string> sizes;
    bool defaultChosen = false;
    for (const OfferedOption& option : facts.description) {
        if (std::find(sizes.begin(), sizes.end(), option.name) != sizes.end())
            continue;
        // A custom size whose dimensions cannot be read is left to reinstall.
        if (option.name == driverconfig::kCustomSizeName && !facts.customSizeMm)
            return Command({"reinstall"});
        sizes.push_back(option.name);
        defaultChosen = defaultChosen || option.name == facts.descriptionDefault;
    }
    if (sizes.empty() || !defaultChosen)
        return Command({"reinstall"});
    Remedy remedy = Command(
        {"paper", "set", "--sizes", Join(sizes, ","), "--default", facts.descriptionDefault});
    if (std::find(sizes.begin(), sizes.end(), driverconfig::kCustomSizeName) != sizes.end()) {
        remedy.args.push_back("--custom");
        remedy.args.push_back(std::to_string(facts.customSizeMm->first) + "x" +
                              std::to_string(facts.customSizeMm->second));
    }
    return remedy;
}

Remedy ResolutionRemedy(const FeatureFacts& facts) {
    std::vector<std::string> dpis;
    std::string defaultDpi;
    for (const OfferedOption& option : facts.description) {
        if (!option.dpi || !IsEditableResolution(*option.dpi))
            return Command({"reinstall"});
        const std::string text = std::to_string(*option.dpi);
        if (std::find(dpis.begin(), dpis.end(), text) == dpis.end())
            dpis.push_back(text);
        if (option.name == facts.descriptionDefault && defaultDpi.empty())
            defaultDpi = text;
    }
    if (dpis.empty() || defaultDpi.empty())
        return Command({"reinstall"});
    Remedy remedy =
        Command({"resolution", "set", "--dpi", Join(dpis, ","), "--default", defaultDpi});
    if (dpis.size() > 1)
        remedy.args.push_back("--allow-multiple");
    return remedy;
}

Json UnreadableJson(const std::optional<Unreadable>& error) {
    if (!error)
        return nullptr;
    return Json::Object().Set("code", error->code).Set("text", error->text);
}

Json OptionalBool(const std::optional<bool>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json FileJson(const FileFact& file) {
    return Json::Object()
        .Set("path", file.path.empty() ? Json() : Json(file.path))
        .Set("exists", file.exists);
}

Json FeatureJson(const FeatureFacts& facts, bool resolutions) {
    auto options = [&](const std::vector<OfferedOption>& list) {
        Json array = Json::Array();
        for (const OfferedOption& option : list) {
            Json item = Json::Object().Set("name", option.name);
            if (resolutions)
                item.Set("dpi", option.dpi ? Json(static_cast<long long>(*option.dpi)) : Json());
            else
                item.Set("keyword", option.keyword);
            array.Push(std::move(item));
        }
        return array;
    };
    return Json::Object()
        .Set("description", Json::Object()
                                .Set("found", facts.descriptionFound)
                                .Set("options", options(facts.description))
                                .Set("default", facts.descriptionDefault))
        .Set("capabilities", Json::Object()
                                 .Set("found", facts.capabilitiesFound)
                                 .Set("options", options(facts.capabilities))
                                 .Set("default", facts.capabilitiesDefault))
        .Set("agree", OptionalBool(facts.agree));
}

std::string YesNo(const std::optional<bool>& value, const char* yes, const char* no) {
    return value ? (*value ? yes : no) : "unknown";
}

std::string FeatureLine(const char* label, const FeatureFacts& facts) {
    auto names = [](const std::vector<OfferedOption>& list, bool dpi) {
        std::vector<std::string> items;
        for (const OfferedOption& option : list)
            items.push_back(dpi && option.dpi ? std::to_string(*option.dpi) : option.name);
        return Join(items, ",");
    };
    const bool dpi = std::string(label) == "resolutions";
    std::string line = std::string(label) + ": description ";
    line += facts.descriptionFound
                ? names(facts.description, dpi) + " (default " + facts.descriptionDefault + ")"
                : "unreadable";
    line += "; capabilities ";
    line += facts.capabilitiesFound
                ? names(facts.capabilities, dpi) + " (default " + facts.capabilitiesDefault + ")"
                : "unreadable";
    if (facts.agree)
        line += *facts.agree ? "; agree" : "; DISAGREE";
    return line;
}

}  // namespace

namespace {

// Why a job that is not in error makes no progress, or "" when it does or may. A job printing
// pages is working however long it takes; any other job waiting longer than the threshold is
// not (the spooler's clock and the submitted time are both UTC).
std::string StuckReason(const JobFact& job, const HealthReport& r) {
    if (job.statusBits & win::JOB_STATUS_BLOCKED_DEVQ)
        return "is blocked";
    if (job.statusBits & win::JOB_STATUS_USER_INTERVENTION)
        return "needs user intervention";
    if (job.statusBits & win::JOB_STATUS_OFFLINE)
        return "waits for a printer that is offline";
    if (job.statusBits & win::JOB_STATUS_PAPEROUT)
        return "waits for a printer that is out of paper";
    if ((job.statusBits & win::JOB_STATUS_PRINTING) && job.pagesPrinted > 0)
        return {};
    win::FILETIME submitted;
    if (!win::SystemTimeToFileTime(job.submitted, &submitted) || r.now.ticks <= submitted.ticks)
        return {};
    constexpr std::uint64_t kTicksPerMinute = 600000000;  // of 100 ns
    const std::uint64_t minutes = (r.now.ticks - submitted.ticks) / kTicksPerMinute;
    if (minutes < r.stuckAfterMinutes)
        return {};
    return "has waited " + std::to_string(minutes) + " minutes (the limit is " +
           std::to_string(r.stuckAfterMinutes) + ")";
}

// Jobs in error or stuck on "Microsoft Print to PDF" (`target`), or on the other printers.
std::vector<Finding> JobTroubles(const HealthReport& r, bool target) {
    std::vector<Finding> found;
    const std::string prefix = target ? "" : "other-printer-";
    for (const PrinterJobs& printer : r.jobs) {
        if ((printer.printer == quellin::system::kTargetPrinterName) != target)
            continue;
        for (const JobFact& job : printer.jobs) {
            const std::string what = "Job " + std::to_string(job.id) + " (\"" + job.document +
                                     "\") on \"" + printer.printer + "\" ";
            // "--printer=NAME": a name beginning with dashes stays the option's value.
            const Remedy cancel =
                Command({"job", "cancel", std::to_string(job.id), "--printer=" + printer.printer});
            if (job.statusBits & win::JOB_STATUS_ERROR) {
                found.push_back({prefix + "job-error", what + "is in error.", cancel});
            } else if (const std::string reason = StuckReason(job, r); !reason.empty()) {
                // A job someone paused is let go, never thrown away: its document still prints.
                const bool paused = (job.statusBits & win::JOB_STATUS_PAUSED) != 0;
                found.push_back({prefix + "job-stuck", what + reason + ".",
                                 paused ? Command({"job", "resume", std::to_string(job.id),
                                                   "--printer=" + printer.printer})
                                        : cancel});
            }
        }
    }
    return found;
}

}  // namespace

bool HealthReport::CannotAssess() const {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& finding) {
        return finding.code == kNotAdministratorFinding ||
               finding.code == kSpoolerUnavailableFinding || finding.code == kFeatureUnknownFinding;
    });
}

bool HealthReport::RestartPending() const {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& finding) {
        return finding.code == kRestartPendingFinding;
    });
}

int HealthReport::ExitCode() const {
    return CannotAssess()     ? kExitCannotAssess
           : RestartPending() ? kExitRestartRequired
           : Healthy()        ? kExitDone
                              : kExitFinding;
}

namespace {

std::vector<Finding> DiagnoseMachine(const HealthReport& r) {
    std::vector<Finding> findings;
    auto add = [&](std::string code, std::string sentence, std::optional<Remedy> remedy) {
        findings.push_back({std::move(code), std::move(sentence), std::move(remedy)});
    };
    const Remedy reinstall = Command({"reinstall"});

    if (!r.administrator)
        add(kNotAdministratorFinding,
            "Not running as an administrator: the optional feature's state cannot be read and "
            "the commands that mend this machine will be refused.",
            std::nullopt);

    if (r.spoolerError) {
        add(kSpoolerUnavailableFinding,
            "The Spooler service cannot be queried: " + r.spoolerError->text, std::nullopt);
    } else if (r.spoolerState != "running") {
        add("spooler-stopped",
            "The Spooler service is " + r.spoolerState +
                ", so no printer, port or job can be read or used.",
            Command({"spooler", "start"}));
    }

    const bool featureKnown = !r.featureError;
    // An administrator who cannot read the feature cannot tell enabled from removed.
    if (r.administrator && r.featureError)
        add(kFeatureUnknownFinding,
            "The optional feature's state cannot be read: " + r.featureError->text, std::nullopt);
    const bool featureEnabled = featureKnown && r.featureState == "Enabled";
    if (r.expect == Expect::Absent) {
        // Removed on purpose: what is left of the printer or its feature is the finding.
        if (r.printerPresent == true)
            add("printer-present",
                "The printer \"Microsoft Print to PDF\" is present, but it should be removed.",
                Command({"uninstall"}));
        else if (featureEnabled)
            add("feature-enabled", "The optional feature is enabled, but it should be removed.",
                Command({"uninstall"}));
        return findings;
    }
    if (r.printerPresent == false) {
        if (featureEnabled)
            add("printer-missing",
                "The optional feature is enabled, but the printer \"Microsoft Print to PDF\" "
                "is missing.",
                reinstall);
        else if (featureKnown)
            add("feature-disabled",
                "The optional feature is " + r.featureState +
                    " and the printer \"Microsoft Print to PDF\" is missing.",
                Command({"install"}));
        else
            add("printer-missing", "The printer \"Microsoft Print to PDF\" is missing.", reinstall);
    }
    if (r.printerPresent == true) {
        if (featureKnown && !featureEnabled)
            add("feature-not-enabled",
                "The printer is present, but the optional feature that carries it is " +
                    r.featureState + ".",
                reinstall);
        // Windows names the driver "Microsoft Print To PDF"; its name compares without case.
        if (driverconfig::AsciiUpper(r.printerDriver) !=
            driverconfig::AsciiUpper(quellin::system::kTargetDriverName))
            add("printer-driver-wrong",
                "The printer uses the driver \"" + r.printerDriver + "\" instead of \"" +
                    quellin::system::kTargetDriverName + "\".",
                reinstall);
        if (r.printerPort != quellin::system::kPdfPortName)
            add("printer-port-wrong",
                "The printer prints to the port \"" + r.printerPort + "\" instead of \"" +
                    quellin::system::kPdfPortName + "\".",
                reinstall);
    }
    if (r.portPresent == false)
        add("port-missing",
            std::string("The port \"") + quellin::system::kPdfPortName + "\" is missing.",
            reinstall);

    // The driver files matter only where there is a printer to use them, or where the spooler
    // cannot say whether there is one.
    if (r.printerPresent != false) {
        std::vector<std::string> missing;
        if (r.queueFolderName.empty())
            missing.push_back(driverconfig::kQueueFolderValue);
        if (r.mergedConfigName.empty())
            missing.push_back(driverconfig::kMergedConfigValue);
        if (r.deviceCapabilitiesName.empty())
            missing.push_back(driverconfig::kDeviceCapabilitiesValue);
        if (!missing.empty())
            add("registry-values-missing",
                "The printer's registry lacks " + Join(missing, ", ") +
                    ", so its driver files cannot be found.",
                reinstall);
        if (!r.namesPlain) {
            add("registry-values-invalid",
                "The printer's registry names its driver files by paths that lead out of its "
                "driver folder.",
                reinstall);
        } else if (!r.queueFolderName.empty() && !r.queueFolder.exists) {
            add("queue-folder-missing", "The driver folder " + r.queueFolder.path + " is missing.",
                reinstall);
        } else if (!r.queueFolderName.empty()) {
            if (!r.mergedConfigName.empty() && !r.description.exists)
                add("description-missing",
                    "The merged description " + r.description.path + " is missing.", reinstall);
            if (!r.deviceCapabilitiesName.empty() && !r.capabilities.exists)
                add("capabilities-missing",
                    "The capabilities document " + r.capabilities.path + " is missing.", reinstall);
        }
        if (r.descriptionError)
            add("description-unreadable",
                "The merged description cannot be read: " + r.descriptionError->text, reinstall);
        if (r.capabilitiesError)
            add("capabilities-unreadable",
                "The capabilities document cannot be read: " + r.capabilitiesError->text,
                reinstall);
        const bool descriptionRead = r.description.exists && !r.descriptionError;
        const bool capabilitiesRead = r.capabilities.exists && !r.capabilitiesError;
        if (descriptionRead && !r.paperSizes.descriptionFound)
            add("paper-feature-unreadable",
                "The PaperSize feature cannot be cut from the merged description.", reinstall);
        if (descriptionRead && !r.resolutions.descriptionFound)
            add("resolution-feature-unreadable",
                "The Resolution feature cannot be cut from the merged description.", reinstall);
        if (capabilitiesRead && !r.paperSizes.capabilitiesFound)
            add("paper-element-unreadable",
                "The PageMediaSize element cannot be cut from the capabilities document.",
                reinstall);
        if (capabilitiesRead && !r.resolutions.capabilitiesFound)
            add("resolution-element-unreadable",
                "The PageResolution element cannot be cut from the capabilities document.",
                reinstall);
        if (r.paperSizes.agree == false)
            add("paper-sizes-disagree",
                "The description and the capabilities document offer different paper sizes or "
                "defaults.",
                PaperRemedy(r.paperSizes));
        if (r.resolutions.agree == false)
            add("resolutions-disagree",
                "The description and the capabilities document offer different resolutions or "
                "defaults.",
                ResolutionRemedy(r.resolutions));
    }

    for (const Finding& note : JobTroubles(r, true))
        findings.push_back(note);
    return findings;
}

}  // namespace

// A feature waiting for a restart reads as neither enabled nor disabled, so the findings that
// follow from its state, and any other mend by the servicing tool, wait for the restart too.
std::vector<Finding> DiagnoseFindings(const HealthReport& r) {
    std::vector<Finding> findings = DiagnoseMachine(r);
    if (r.featureError || (r.featureState != "EnablePending" && r.featureState != "DisablePending"))
        return findings;
    const auto servicing = [](const Finding& finding) {
        const std::string command =
            finding.remedy && !finding.remedy->args.empty() ? finding.remedy->args.front() : "";
        return command == "install" || command == "reinstall" || command == "uninstall";
    };
    findings.erase(std::remove_if(findings.begin(), findings.end(), servicing), findings.end());
    auto at = std::find_if(findings.begin(), findings.end(), [](const Finding& finding) {
        return finding.code != kNotAdministratorFinding && finding.code != "spooler-stopped";
    });
    findings.insert(at, {kRestartPendingFinding,
                         "The optional feature is " + r.featureState +
                             ": Windows finishes the change when the computer restarts.",
                         std::nullopt});
    return findings;
}

std::vector<Finding> DiagnoseNotes(const HealthReport& r) {
    return JobTroubles(r, false);
}

std::string IsoTime(const win::SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

Json JobJson(const JobFact& job) {
    return Json::Object()
        .Set("id", job.id)
        .Set("machine", job.machine)
        .Set("printer", job.printer)
        .Set("document", job.document)
        .Set("owner", job.owner)
        .Set("status", job.status)
        .Set("statusBits", job.statusBits)
        .Set("size", job.size)
        .Set("pagesPrinted", job.pagesPrinted)
        .Set("submitted", IsoTime(job.submitted));
}

Json FindingsJson(const std::vector<Finding>& list) {
    Json findings = Json::Array();
    for (const Finding& finding : list)
        findings.Push(Json::Object()
                          .Set("code", finding.code)
                          .Set("sentence", finding.sentence)
                          .Set("remedy", finding.remedy ? RemedyJson(*finding.remedy) : Json()));
    return findings;
}

Json HealthReportJson(const HealthReport& r) {
    Json jobs = Json::Array();
    for (const PrinterJobs& printer : r.jobs) {
        Json list = Json::Array();
        for (const JobFact& job : printer.jobs)
            list.Push(JobJson(job));
        jobs.Push(Json::Object().Set("printer", printer.printer).Set("jobs", std::move(list)));
    }
    return Json::Object()
        .Set("expect", r.expect == Expect::Present ? "present" : "absent")
        .Set("stuckAfterMinutes", r.stuckAfterMinutes)
        .Set("healthy", r.Healthy())
        .Set("assessed", !r.CannotAssess())
        .Set("administrator", r.administrator)
        .Set("wow64", r.wow64)
        .Set("feature", Json::Object()
                            .Set("name", quellin::system::kPdfFeatureName)
                            .Set("state", r.featureError ? Json() : Json(r.featureState))
                            .Set("error", UnreadableJson(r.featureError)))
        .Set("spooler", Json::Object()
                            .Set("state", r.spoolerError ? Json() : Json(r.spoolerState))
                            .Set("error", UnreadableJson(r.spoolerError)))
        .Set("printer",
             Json::Object()
                 .Set("name", quellin::system::kTargetPrinterName)
                 .Set("present", OptionalBool(r.printerPresent))
                 .Set("driver", r.printerPresent == true ? Json(r.printerDriver) : Json())
                 .Set("port", r.printerPresent == true ? Json(r.printerPort) : Json()))
        .Set("port", Json::Object()
                         .Set("name", quellin::system::kPdfPortName)
                         .Set("present", OptionalBool(r.portPresent)))
        .Set("registry", Json::Object()
                             .Set(driverconfig::kQueueFolderValue, r.queueFolderName)
                             .Set(driverconfig::kMergedConfigValue, r.mergedConfigName)
                             .Set(driverconfig::kDeviceCapabilitiesValue, r.deviceCapabilitiesName))
        .Set("files", Json::Object()
                          .Set("queueFolder", FileJson(r.queueFolder))
                          .Set("description", FileJson(r.description))
                          .Set("capabilities", FileJson(r.capabilities))
                          .Set("cache", FileJson(r.cache)))
        .Set("paperSizes", FeatureJson(r.paperSizes, false))
        .Set("resolutions", FeatureJson(r.resolutions, true))
        .Set("jobs", std::move(jobs))
        .Set("findings", FindingsJson(r.findings))
        .Set("notes", FindingsJson(r.notes));
}

std::vector<std::string> HealthReportLines(const HealthReport& r) {
    std::vector<std::string> lines;
    lines.push_back(std::string("administrator: ") + (r.administrator ? "yes" : "no"));
    lines.push_back("feature: " +
                    (r.featureError ? "unknown (" + r.featureError->text + ")" : r.featureState));
    lines.push_back("spooler: " +
                    (r.spoolerError ? "unknown (" + r.spoolerError->text + ")" : r.spoolerState));
    std::string printer = "printer: " + YesNo(r.printerPresent, "present", "missing");
    if (r.printerPresent == true)
        printer += " (driver \"" + r.printerDriver + "\", port \"" + r.printerPort + "\")";
    lines.push_back(printer);
    lines.push_back(std::string("port \"") + quellin::system::kPdfPortName +
                    "\": " + YesNo(r.portPresent, "present", "missing"));
    lines.push_back(std::string("registry: ") + driverconfig::kQueueFolderValue + "=\"" +
                    r.queueFolderName + "\" " + driverconfig::kMergedConfigValue + "=\"" +
                    r.mergedConfigName + "\" " + driverconfig::kDeviceCapabilitiesValue + "=\"" +
                    r.deviceCapabilitiesName + "\"");
    for (const auto& [label, file] :
         {std::pair<const char*, const FileFact*>{"driver folder", &r.queueFolder},
          {"description", &r.description},
          {"capabilities", &r.capabilities},
          {"compiled cache", &r.cache}})
        lines.push_back(std::string(label) + ": " +
                        (file->path.empty()
                             ? "unknown (no registry name)"
                             : (file->exists ? "present " : "missing ") + file->path));
    lines.push_back(FeatureLine("paper sizes", r.paperSizes));
    lines.push_back(FeatureLine("resolutions", r.resolutions));
    for (const PrinterJobs& entry : r.jobs)
        lines.push_back("jobs on \"" + entry.printer + "\": " + std::to_string(entry.jobs.size()));
    for (const Finding& note : r.notes)
        lines.push_back("note " + note.code + ": " + note.sentence);
    if (r.findings.empty()) {
        lines.push_back(r.expect == Expect::Present ? "healthy: no findings"
                                                    : "removed as expected: no findings");
    } else {
        for (const Finding& finding : r.findings) {
            std::string line = "FINDING " + finding.code + ": " + finding.sentence;
            if (finding.remedy)
                line += " Mend: " + RemedyText(*finding.remedy);
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace quellin::cli
