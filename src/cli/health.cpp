#include "cli/health.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "driverconfig/capability_scan.h"
#include "driverconfig/driver_files.h"
#include "driverconfig/feature_writer.h"
#include "driverconfig/paper_catalogue.h"
#include "driverconfig/paper_sizes.h"
#include "driverconfig/text.h"
#include "driverconfig/text_model.h"
#include "platform/dates.h"
#include "platform/dism.h"
#include "platform/filesystem.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/text.h"
#include "queue/job_monitor.h"
#include "queue/job_text.h"
#include "system/admin.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/redirection.h"
#include "system/system_commands.h"

namespace quellin::cli {

namespace {

constexpr const char* kSpoolerService = "spooler";

Unreadable LastError() {
    const win::DWORD code = win::GetLastError();
    return {code, win::FormatSystemMessage(code)};
}

// An HRESULT that wraps a Windows error reads as that error; others by their number.
Unreadable FromHresult(win::HRESULT result) {
    const auto bits = static_cast<win::DWORD>(result);
    if (result == win::DISM_E_WRONG_ARCHITECTURE)
        return {bits, win::FormatSystemMessage(bits & 0xFFFF) +
                          " The DISM API serves only programs of the system's architecture: on "
                          "64-bit Windows, run the 64-bit quellin-cli."};
    if (((bits >> 16) & 0x1FFF) == 7)
        return {bits, win::FormatSystemMessage(bits & 0xFFFF)};
    char text[64];
    std::snprintf(text, sizeof text, "DISM error 0x%08X.", static_cast<unsigned>(bits));
    return {bits, text};
}

const char* FeatureStateName(win::DismPackageFeatureState state) {
    switch (state) {
        case win::DismStateNotPresent:
            return "NotPresent";
        case win::DismStateUninstallPending:
            return "DisablePending";
        case win::DismStateStaged:
            return "Disabled";
        case win::DismStateRemoved:
            return "DisabledWithPayloadRemoved";
        case win::DismStateInstalled:
            return "Enabled";
        case win::DismStateInstallPending:
            return "EnablePending";
        case win::DismStateSuperseded:
            return "Superseded";
        case win::DismStatePartiallyInstalled:
            return "PartiallyInstalled";
    }
    return "Unknown";
}

}  // namespace

namespace {

// The DISM API serves a process once: initialized on first use and shut down when the process
// ends. A refused initialization is not kept, so a later reading asks again.
win::HRESULT InitializeDismOnce() {
    static std::mutex mutex;
    static bool initialized = false;
    static const struct ShutdownAtExit {
        ~ShutdownAtExit() {
            if (initialized)
                win::DismShutdown();
        }
    } shutdownAtExit;
    const std::lock_guard<std::mutex> lock(mutex);
    if (initialized)
        return win::S_OK;
    const win::HRESULT result = win::DismInitialize(win::DismLogErrors, "", "");
    initialized = result == win::S_OK;
    return result;
}

}  // namespace

StateReading ReadFeatureState() {
    StateReading reading;
    win::HRESULT result = InitializeDismOnce();
    if (result != win::S_OK) {
        reading.error = FromHresult(result);
        return reading;
    }
    win::DismSession session = 0;
    result = win::DismOpenSession(win::DISM_ONLINE_IMAGE, "", "", &session);
    if (result == win::S_OK) {
        win::DismFeatureInfo info;
        result = win::DismGetFeatureInfo(session, quellin::system::kPdfFeatureName, &info);
        if (result == win::S_OK)
            reading.state = FeatureStateName(info.FeatureState);
        win::DismCloseSession(session);
    }
    if (result != win::S_OK)
        reading.error = FromHresult(result);
    return reading;
}

namespace {

const char* ServiceStateName(win::DWORD state) {
    switch (state) {
        case win::SERVICE_STOPPED:
            return "stopped";
        case win::SERVICE_START_PENDING:
            return "start-pending";
        case win::SERVICE_STOP_PENDING:
            return "stop-pending";
        case win::SERVICE_RUNNING:
            return "running";
        case 5:
            return "continue-pending";
        case 6:
            return "pause-pending";
        case 7:
            return "paused";
    }
    return "unknown";
}

}  // namespace

StateReading ReadSpoolerState() {
    StateReading reading;
    const win::UniqueScHandle manager(win::OpenSCManagerA("", "", win::SC_MANAGER_CONNECT));
    if (!manager) {
        reading.error = LastError();
        return reading;
    }
    const win::UniqueScHandle service(
        win::OpenServiceA(manager.get(), kSpoolerService, win::SERVICE_QUERY_STATUS));
    win::SERVICE_STATUS status;
    if (!service)
        reading.error = LastError();
    else if (win::QueryServiceStatus(service.get(), &status))
        reading.state = ServiceStateName(status.dwCurrentState);
    else
        reading.error = LastError();
    return reading;
}

namespace {

void ReadPrinter(HealthReport& report) {
    constexpr win::DWORD kFlags = win::PRINTER_ENUM_LOCAL | win::PRINTER_ENUM_CONNECTIONS;
    win::DWORD needed = 0, returned = 0;
    std::vector<win::PRINTER_INFO_A> records;
    win::EnumPrintersA(kFlags, "", 2, nullptr, 0, &needed, &returned);
    const bool read = needed == 0
                          ? win::GetLastError() == win::ERROR_SUCCESS ||
                                win::GetLastError() == win::ERROR_INSUFFICIENT_BUFFER
                          : win::EnumPrintersA(kFlags, "", 2, &records, needed, &needed, &returned);
    if (!read)
        return;
    report.printerPresent = false;
    for (const win::PRINTER_INFO_A& record : records) {
        if (record.pPrinterName == quellin::system::kTargetPrinterName) {
            report.printerPresent = true;
            report.printerDriver = record.pDriverName;
            report.printerPort = record.pPortName;
        }
    }
}

void ReadPort(HealthReport& report) {
    try {
        report.portPresent = !quellin::system::IsPortMissing(quellin::system::kPdfPortName);
    } catch (const quellin::system::SystemError&) {
        // Unknown: the spooler does not answer.
    }
}

bool IsFolder(const std::string& path, win::DWORD wow64KeyFlag) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    const win::DWORD attributes = win::GetFileAttributesA(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string KeywordOfDescriptionOption(const driverconfig::ScannedOption& option) {
    if (option.window) {
        std::string mapped = driverconfig::ReadKeywordMap(*option.window);
        // The capabilities go by local name; the map may carry a prefix ("ns0000:MyPaper").
        if (const std::size_t colon = mapped.find(':'); colon != std::string::npos)
            mapped.erase(0, colon + 1);
        if (!mapped.empty())
            return mapped;
    }
    const std::string name = driverconfig::AsciiUpper(option.name);
    if (name == driverconfig::kCustomSizeName)
        return std::string(driverconfig::kCustomSizeKeyword);
    driverconfig::PaperSettings settings;
    if (auto found =
            driverconfig::LookupPaperSize(name, driverconfig::KeywordTableText(), settings))
        return found->keyword;
    return {};
}

void ReadPaperSizes(HealthReport& report, const std::string& description,
                    const std::optional<std::string>& capabilities) {
    FeatureFacts& facts = report.paperSizes;
    // The editors' own cut: what they can rewrite is what the report calls readable.
    const driverconfig::FeatureCut split =
        driverconfig::CutFeature(description, driverconfig::kPaperSizeHeader);
    if (split.found) {
        facts.descriptionFound = true;
        const driverconfig::FeatureScan scan = driverconfig::ScanFeatureBlock(split.block);
        for (const driverconfig::ScannedOption& option : scan.options)
            facts.description.push_back(
                {driverconfig::AsciiUpper(option.name), KeywordOfDescriptionOption(option), {}});
        facts.descriptionDefault = driverconfig::AsciiUpper(scan.defaultName);
        driverconfig::PaperSettings settings;
        const driverconfig::PaperSizeReading reading =
            driverconfig::ReadPaperSizes(description, settings);
        if (!reading.customKept && settings.customWidthMm > 0 && settings.customHeightMm > 0)
            facts.customSizeMm = std::pair(settings.customWidthMm, settings.customHeightMm);
    }
    if (capabilities) {
        if (auto element = driverconfig::CapabilityElementText(
                *capabilities, driverconfig::kPageMediaSizeOpenTag,
                driverconfig::kPageMediaSizeCloseTag)) {
            facts.capabilitiesFound = true;
            for (const driverconfig::CapabilityOption& option :
                 driverconfig::ScanCapabilityOptions(*element)) {
                facts.capabilities.push_back({option.name, option.name, {}});
                if (option.isDefault && facts.capabilitiesDefault.empty())
                    facts.capabilitiesDefault = option.name;
            }
        }
    }
    if (!facts.descriptionFound || !facts.capabilitiesFound)
        return;
    // The files agree when the editor, saving what it read, would leave the capabilities
    // document as it is; a feature it refuses to rewrite cannot be brought in line by a save.
    const driverconfig::RewrittenTexts saved =
        driverconfig::RewritePaperSizesAsRead(description, capabilities);
    facts.agree =
        saved.result == driverconfig::ReplaceResult::Written && saved.capabilities == capabilities;
}

void ReadResolutions(HealthReport& report, const std::string& description,
                     const std::optional<std::string>& capabilities) {
    FeatureFacts& facts = report.resolutions;
    const driverconfig::FeatureCut split =
        driverconfig::CutFeature(description, driverconfig::kResolutionHeader);
    std::optional<std::int64_t> descriptionDefaultDpi;
    if (split.found) {
        facts.descriptionFound = true;
        const driverconfig::FeatureScan scan = driverconfig::ScanFeatureBlock(split.block);
        facts.descriptionDefault = scan.defaultName;
        for (const driverconfig::ScannedOption& option : scan.options) {
            OfferedOption offered{option.name, {}, {}};
            if (option.window)
                offered.dpi =
                    driverconfig::ParseStrictInt(driverconfig::ReadResolutionText(*option.window));
            if (option.name == scan.defaultName && !descriptionDefaultDpi)
                descriptionDefaultDpi = offered.dpi;
            facts.description.push_back(std::move(offered));
        }
    }
    std::optional<std::int64_t> capabilitiesDefaultDpi;
    if (capabilities) {
        if (auto element = driverconfig::CapabilityElementText(
                *capabilities, driverconfig::kPageResolutionOpenTag,
                driverconfig::kPageResolutionCloseTag)) {
            facts.capabilitiesFound = true;
            for (const driverconfig::CapabilityOption& option :
                 driverconfig::ScanCapabilityOptions(*element)) {
                facts.capabilities.push_back({option.name, {}, option.resolutionX});
                if (option.isDefault && facts.capabilitiesDefault.empty()) {
                    facts.capabilitiesDefault = option.name;
                    capabilitiesDefaultDpi = option.resolutionX;
                }
            }
        }
    }
    if (!facts.descriptionFound || !facts.capabilitiesFound)
        return;
    auto dpis = [](const std::vector<OfferedOption>& options) {
        std::vector<std::int64_t> values;
        for (const OfferedOption& option : options)
            values.push_back(option.dpi.value_or(-1));
        std::sort(values.begin(), values.end());
        return values;
    };
    facts.agree = dpis(facts.description) == dpis(facts.capabilities) &&
                  descriptionDefaultDpi == capabilitiesDefaultDpi;
}

void ReadDriverFiles(HealthReport& report, win::DWORD wow64KeyFlag) {
    const driverconfig::DriverFileNames names = driverconfig::ReadDriverFileNames(wow64KeyFlag);
    report.queueFolderName = names.queueFolderName;
    report.mergedConfigName = names.mergedConfigName;
    report.deviceCapabilitiesName = names.deviceCapabilitiesName;
    const driverconfig::DriverFilePaths paths = driverconfig::DriverFilePathsFor(names);
    // Paths built from missing names name nothing, and names that are paths would lead out of
    // the queue's folder; neither is followed.
    if (names.queueFolderName.empty())
        return;
    // A missing description name is its own finding; the others are judged as they stand.
    driverconfig::DriverFileNames judged = names;
    if (judged.mergedConfigName.empty())
        judged.mergedConfigName = "merged.gpd";
    report.namesPlain = driverconfig::HasPlainNames(judged);
    if (!report.namesPlain)
        return;
    report.queueFolder = {paths.queueFolder, IsFolder(paths.queueFolder, wow64KeyFlag)};
    const bool named = !names.mergedConfigName.empty();
    if (named) {
        report.description = {paths.mergedConfigPath,
                              driverconfig::FileExists(paths.mergedConfigPath, wow64KeyFlag)};
        report.cache = {paths.cachePath, driverconfig::FileExists(paths.cachePath, wow64KeyFlag)};
    }
    if (named && !names.deviceCapabilitiesName.empty())
        report.capabilities = {
            paths.deviceCapabilitiesPath,
            driverconfig::FileExists(paths.deviceCapabilitiesPath, wow64KeyFlag)};

    std::optional<std::string> description, capabilities;
    if (report.description.exists) {
        try {
            bool cutShort = false;
            description =
                driverconfig::ReadWorkingText(paths.mergedConfigPath, wow64KeyFlag, &cutShort);
            // The editors refuse a text that a NUL byte cuts short; so does the report.
            if (cutShort)
                report.descriptionError =
                    Unreadable{0, driverconfig::TextCutShortText(paths.mergedConfigPath)};
        } catch (const quellin::system::SystemError& error) {
            report.descriptionError = Unreadable{error.code(), error.what()};
        }
    }
    if (report.capabilities.exists) {
        try {
            bool cutShort = false;
            capabilities = driverconfig::ReadWorkingText(paths.deviceCapabilitiesPath, wow64KeyFlag,
                                                         &cutShort);
            if (cutShort)
                report.capabilitiesError =
                    Unreadable{0, driverconfig::TextCutShortText(paths.deviceCapabilitiesPath)};
        } catch (const quellin::system::SystemError& error) {
            report.capabilitiesError = Unreadable{error.code(), error.what()};
        }
    }
    if (description || capabilities)
        ReadFeatureFacts(report, description.value_or(""), capabilities);
}

}  // namespace

void ReadFeatureFacts(HealthReport& report, const std::string& description,
                      const std::optional<std::string>& capabilities) {
    ReadPaperSizes(report, description, capabilities);
    ReadResolutions(report, description, capabilities);
}

std::vector<PrinterJobs> ReadJobs(const std::vector<std::string>& printers) {
    std::vector<PrinterJobs> result;
    for (const std::string& printer : printers) {
        PrinterJobs entry{printer, {}};
        queue::PollPrinterJobs(printer, [&](const win::JOB_INFO_2A& job) {
            JobFact fact;
            fact.id = job.JobId;
            fact.machine = job.pMachineName;
            fact.printer = job.pPrinterName;
            fact.document = job.pDocument;
            fact.owner = job.pUserName;
            fact.status = driverconfig::Trim(queue::JobStatusReportText(job.Status));
            fact.statusBits = job.Status;
            fact.size = job.Size;
            fact.pagesPrinted = job.PagesPrinted;
            fact.submitted = job.Submitted;
            entry.jobs.push_back(std::move(fact));
        });
        result.push_back(std::move(entry));
    }
    return result;
}

std::vector<std::string> AllPrinterNames() {
    std::vector<std::string> printers;
    queue::EnumPrinterNames(printers, false, 0);
    return printers;
}

HealthReport GatherHealthReport(Expect expect, unsigned stuckAfterMinutes) {
    HealthReport report;
    report.expect = expect;
    report.stuckAfterMinutes = stuckAfterMinutes;
    win::FILETIME now;
    win::GetSystemTimeAsFileTime(&now);
    report.now = now;
    report.administrator = quellin::system::RunsAsAdministrator();
    report.wow64 = quellin::system::IsWow64();
    const win::DWORD wow64KeyFlag = report.wow64 ? 256 : 0;
    const StateReading feature = ReadFeatureState();
    report.featureState = feature.state;
    report.featureError = feature.error;
    const StateReading spooler = ReadSpoolerState();
    report.spoolerState = spooler.state;
    report.spoolerError = spooler.error;
    ReadPrinter(report);
    ReadPort(report);
    ReadDriverFiles(report, wow64KeyFlag);
    report.jobs = ReadJobs(AllPrinterNames());
    report.findings = DiagnoseFindings(report);
    report.notes = DiagnoseNotes(report);
    return report;
}

}  // namespace quellin::cli
