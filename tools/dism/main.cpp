// quellin-sim-dism: the sandbox's servicing tool, behind C:\Windows\System32\dism.exe and its
// 32-bit twin in SysWOW64. It services optional features of the running sandbox the way the
// real tool does for the two command lines Quellin uses, with the real tool's output and exit
// codes; anything else it does not pretend to do.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/emulator.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"

using namespace quellin;

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSuccess = 0;
constexpr std::uint32_t kRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr std::uint32_t kWrongArchitecture = 11;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kBadSyntax = 87;
constexpr std::uint32_t kElevationRequired = 740;
constexpr std::uint32_t kUnknownFeature = 0x800F080C;
constexpr std::uint32_t kRpcUnavailable = 0x800706BA;
constexpr std::uint32_t kFailure = 0x80004005;

constexpr const char* kLogPath = "C:\\Windows\\Logs\\DISM\\dism.log";

std::string g_commandLine;
bool g_quiet = false;

void Log(const std::string& text) {
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::gmtime(&now));
    fs::path log = sim::HostPathNative(kLogPath);
    std::error_code ec;
    fs::create_directories(log.parent_path(), ec);
    std::ofstream out(log, std::ios::app | std::ios::binary);
    out << stamp << ", Info                  DISM   DISM.EXE: " << text << "\r\n";
}

std::string CodeText(std::uint32_t code) {
    char buffer[16];
    if (code > 0xFFFF)
        std::snprintf(buffer, sizeof buffer, "0x%08x", code);
    else
        std::snprintf(buffer, sizeof buffer, "%u", code);
    return buffer;
}

[[noreturn]] void Finish(std::uint32_t code) {
    Log("Executing command line: dism.exe " + g_commandLine + " - exit code " + CodeText(code));
    sim::ExitEmulator(code);
}

[[noreturn]] void Fail(std::uint32_t code, const std::string& text, bool logHint = true) {
    std::cout << "\nError: " << CodeText(code) << "\n\n" << text << "\n";
    if (logHint)
        std::cout << "\nThe DISM log file can be found at " << kLogPath << "\n";
    Finish(code);
}

// What this emulator leaves to the real tool fails loudly, with its own words.
[[noreturn]] void NotModelled(const std::string& what) {
    std::cerr << "quellin-sim-dism: " << what << " is not modelled by the sandbox's DISM\n";
    Finish(kNotSupported);
}

void Say(const std::string& text) {
    if (!g_quiet)
        std::cout << text << std::flush;
}

std::string Bar(int percent) {
    constexpr int kWidth = 58;
    std::string bar(kWidth, ' ');
    for (int i = 0; i < kWidth * percent / 100; ++i)
        bar[static_cast<std::size_t>(i)] = '=';
    char label[16];
    std::snprintf(label, sizeof label, "%.1f%%", static_cast<double>(percent));
    std::string text = label;
    bar.replace(static_cast<std::size_t>(kWidth / 2 - static_cast<int>(text.size()) / 2),
                text.size(), text);
    return "[" + bar + "]";
}

// The real tool takes its time; the sandbox's service timing says how much.
void ShowProgress() {
    bool realistic = sim::ReadConfig().serviceTiming == "realistic";
    auto step = std::chrono::milliseconds(realistic ? 400 : 40);
    for (int percent = 0; percent <= 100; percent += 10) {
        // Appended rather than "\r" + Bar(...): GCC 12 at -O3 warns falsely (-Wrestrict) on
        // a literal prepended to a temporary string.
        std::string line = "\r";
        line += Bar(percent);
        Say(line);
        std::this_thread::sleep_for(step);
    }
    Say("\n");
}

std::string RandomHex(int digits) {
    static std::mt19937 rng{std::random_device{}()};
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < digits; ++i)
        s += hex[rng() % 16];
    return s;
}

constexpr const char* kRepository = "C:\\Windows\\System32\\DriverStore\\FileRepository";

bool IsPdfPackage(const std::string& folderName) {
    return win::LowerAnsi(folderName).rfind("prnms009.inf_", 0) == 0;
}

// The driver package that the feature's payload brings into the driver store.
void StageDriverPackage() {
    fs::path repository = sim::HostPathNative(kRepository);
    std::error_code ec;
    for (fs::directory_iterator it(repository, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsPdfPackage(it->path().filename().string()))
            return;
    }
    std::string arch = sim::Is64BitWindows() ? "amd64" : "x86";
    fs::path package = repository / ("prnms009.inf_" + arch + "_" + RandomHex(16));
    fs::create_directories(package);
    std::ofstream(package / "prnms009.inf", std::ios::binary)
        << "; Microsoft Print To PDF\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n"
           "Class=Printer\r\nProvider=%MSFT%\r\n";
    std::ofstream(package / "MPDW-PDC.xml", std::ios::binary)
        << "<?xml version=\"1.0\"?>\r\n<PrintDeviceCapabilities/>\r\n";
    std::ofstream(package / "MPDW-manifest.ini", std::ios::binary)
        << "[DriverConfig]\r\nDataFile=MPDW-PDC.gpd\r\n";
}

void RemoveDriverPackages() {
    fs::path repository = sim::HostPathNative(kRepository);
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(repository, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsPdfPackage(it->path().filename().string()))
            doomed.push_back(it->path());
    }
    for (const fs::path& path : doomed)
        fs::remove_all(path, ec);
}

struct Request {
    bool online = false;
    bool enable = false, disable = false;
    bool remove = false, all = false, limitAccess = false;
    std::string feature;
    bool featureGiven = false;
};

Request Parse(const std::vector<std::string>& args) {
    Request r;
    for (const std::string& arg : args) {
        std::string lower = win::LowerAnsi(arg);
        if (lower.empty() || (lower[0] != '/' && lower[0] != '-'))
            Fail(kBadSyntax, "The " + arg +
                                 " option is unknown.\nFor more information, refer to "
                                 "the help by running DISM.exe /?.");
        lower[0] = '/';
        std::string option = lower.substr(1, lower.find(':') - 1);
        if (lower == "/online") {
            r.online = true;
        } else if (lower == "/enable-feature" || lower == "/disable-feature") {
            if (r.enable || r.disable)
                Fail(kBadSyntax, "Only one servicing command can be specified at a time.");
            (lower == "/enable-feature" ? r.enable : r.disable) = true;
        } else if (lower.rfind("/featurename:", 0) == 0) {
            r.feature = arg.substr(13);
            r.featureGiven = true;
        } else if (lower == "/remove") {
            r.remove = true;
        } else if (lower == "/all") {
            r.all = true;
        } else if (lower == "/limitaccess") {
            r.limitAccess = true;
        } else if (lower == "/norestart" || lower == "/quiet" || lower == "/english" ||
                   lower.rfind("/source:", 0) == 0 || lower.rfind("/loglevel:", 0) == 0) {
            // Accepted; nothing in the sandbox restarts, and the payload is always at hand.
        } else if (option == "image" || option == "get-features" || option == "get-featureinfo" ||
                   option == "cleanup-image" || option == "add-package" ||
                   option == "remove-package" || option == "get-packages" || option == "?" ||
                   option == "logpath" || option == "scratchdir") {
            NotModelled("the " + arg + " option");
        } else {
            Fail(kBadSyntax, "The " + lower.substr(1) +
                                 " option is unknown.\nFor more information, refer to the help "
                                 "by running DISM.exe /?.");
        }
    }
    if (!r.enable && !r.disable)
        Fail(kBadSyntax,
             "No servicing command was specified.\nFor more information, refer to the "
             "help by running DISM.exe /?.");
    if (!r.online)
        NotModelled("servicing an offline image");
    if (!r.featureGiven || r.feature.empty())
        Fail(kBadSyntax, "The /FeatureName option must be specified with a feature name.");
    if (r.enable && r.remove)
        Fail(kBadSyntax,
             "The remove option is not recognized in this context.\nFor more "
             "information, refer to the help by running DISM.exe /?.");
    if (r.disable && (r.all || r.limitAccess))
        Fail(kBadSyntax, std::string("The ") + (r.all ? "all" : "limitaccess") +
                             " option is not recognized in this context.\nFor more "
                             "information, refer to the help by running DISM.exe /?.");
    return r;
}

int Run(int argc, char** argv) {
    g_commandLine = sim::EmulatorCommandLine(argc, argv);
    std::vector<std::string> args = sim::SplitCommandLine(g_commandLine);
    for (const std::string& arg : args) {
        if (win::SameName(arg, "/Quiet"))
            g_quiet = true;
    }
    sim::OpenEmulatorSandbox();
    if (!g_quiet)
        std::cout
            << "\nDeployment Image Servicing and Management tool\nVersion: 10.0.19041.3636\n\n";
    if (!sim::TokenIsElevated()) {
        Fail(kElevationRequired,
             "Elevated permissions are required to run DISM.\nUse an elevated command prompt to "
             "complete these tasks.",
             false);
    }
    Request request = Parse(args);
    if (sim::EmulatorIs32Bit() && sim::Is64BitWindows()) {
        Fail(kWrongArchitecture,
             "You cannot service a running 64-bit operating system with a 32-bit version of "
             "DISM.\nPlease use the version of DISM that corresponds to your computer's "
             "architecture.");
    }
    Say("Image Version: 10.0.19045.3803\n\n");
    std::optional<std::string> state = sim::FeatureState(request.feature);
    if (!state) {
        Fail(kUnknownFeature, "Feature name " + request.feature +
                                  " is unknown.\nA Windows feature name was not recognized.\nUse "
                                  "the /Get-Features option to find the name of the feature in "
                                  "the image and try the command again.");
    }
    Say(request.enable ? "Enabling feature(s)\n" : "Disabling feature(s)\n");
    ShowProgress();
    bool pdf = win::SameName(request.feature, sim::kPdfFeatureName);
    // The feature's installer adds and removes its printer through the spooler.
    if (pdf && !sim::SpoolerAvailable())
        Fail(kRpcUnavailable, "The RPC server is unavailable.");
    // Where Windows needs a restart to finish, the feature stays pending until then.
    const bool restart = sim::ReadConfig().servicingRestart;
    bool changed = false;
    if (request.enable) {
        if (*state != "Enabled" && *state != "EnablePending") {
            if (pdf) {
                StageDriverPackage();
                sim::InstallPdfPrinter();
            }
            sim::SetFeatureState(request.feature, restart ? "EnablePending" : "Enabled");
            changed = true;
        }
    } else {
        if (pdf) {
            sim::RemovePrinter(sim::kPdfPrinterName);
            if (request.remove) {
                sim::RemoveDriver(sim::kPdfDriverName);
                RemoveDriverPackages();
            }
        }
        if ((request.remove || *state == "Enabled") && *state != "DisablePending") {
            sim::SetFeatureState(request.feature, restart          ? "DisablePending"
                                                  : request.remove ? "DisabledWithPayloadRemoved"
                                                                   : "Disabled");
            changed = true;
        }
    }
    Say("The operation completed successfully.\n");
    if (restart && changed) {
        Say("Restart Windows to complete this operation.\n");
        Finish(kRestartRequired);
    }
    Finish(kSuccess);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Run(argc, argv);
    } catch (const std::exception& error) {
        std::cout << "\nError: " << CodeText(kFailure) << "\n\n" << error.what() << "\n";
        sim::ExitEmulator(kFailure);
    }
}
