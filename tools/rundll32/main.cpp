// quellin-sim-rundll32: the sandbox's rundll32.exe. It knows the two entry points Quellin
// calls, printui.dll,PrintUIEntry (/y, /p, /e with /n "printer") and
// SHELL32.DLL,SHHelpShortcuts_RunDLL PrintersFolder. What a dialog would show is recorded as a
// shell event; setting the default printer changes the sandbox registry as Windows does.
#include <iostream>
#include <string>
#include <vector>

#include "platform/sim/emulator.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"

using namespace quellin;

namespace {

constexpr std::uint32_t kFailed = 1;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kBadSyntax = 87;

constexpr const char* kDevicesKey =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
constexpr const char* kWindowsKey =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

bool IsDll(const std::string& given, const std::string& name) {
    return win::SameName(given, name) || win::SameName(given, name + ".dll");
}

[[noreturn]] void Unsupported(const std::string& source, const std::string& what) {
    sim::LogShellEvent(source, "unsupported", what);
    std::cerr << "quellin-sim-rundll32: " << source << " " << what
              << " is not modelled by the sandbox\n";
    sim::ExitEmulator(kNotSupported);
}

// printui's own error box, as its text and code.
[[noreturn]] void PrintUiError(const std::string& code, const std::string& printer) {
    sim::LogShellEvent("printui", "error",
                       "Operation could not be completed (error " + code + "). " + printer);
    sim::ExitEmulator(kFailed);
}

void SetDefaultPrinter(const std::string& printer) {
    std::string port = "winspool,Ne00:";
    if (auto value = sim::reg::GetValue(kDevicesKey, printer)) {
        port.assign(value->data.begin(), value->data.end());
        port = port.substr(0, port.find('\0'));
    }
    sim::reg::SetString(kWindowsKey, "Device", printer + "," + port);
}

[[noreturn]] void PrintUiEntry(const std::string& arguments) {
    std::vector<std::string> args = sim::SplitCommandLine(arguments);
    std::string action, name;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = win::LowerAnsi(args[i]);
        if (arg == "/y" || arg == "/p" || arg == "/e") {
            action = arg;
        } else if (arg == "/n" && i + 1 < args.size()) {
            name = args[++i];
        } else if (arg == "/q") {
            // Quiet: printui would show no error boxes; the record is kept all the same.
        } else {
            Unsupported("printui", "PrintUIEntry " + arguments);
        }
    }
    if (action.empty() || name.empty()) {
        // printui answers a bad command line with its usage dialog.
        sim::LogShellEvent("printui", "usage", arguments);
        sim::ExitEmulator(kBadSyntax);
    }
    if (!sim::SpoolerAvailable())
        PrintUiError("0x000006ba", name);
    std::optional<std::string> printer = sim::FindPrinter(name);
    if (!printer)
        PrintUiError("0x00000709", name);
    if (action == "/y") {
        SetDefaultPrinter(*printer);
        sim::LogShellEvent("printui", "default-printer", *printer);
    } else {
        sim::LogShellEvent(
            "printui", action == "/p" ? "printer-properties" : "printing-preferences", *printer);
    }
    sim::ExitEmulator(0);
}

int Run(int argc, char** argv) {
    std::string line = sim::EmulatorCommandLine(argc, argv);
    sim::OpenEmulatorSandbox();
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        sim::ExitEmulator(0);  // rundll32 with nothing to run does nothing
    std::size_t end = line.find_first_of(" \t", start);
    std::string target = line.substr(start, end == std::string::npos ? end : end - start);
    std::string rest = end == std::string::npos ? "" : line.substr(end + 1);
    std::size_t comma = target.find(',');
    std::string dll = target.substr(0, comma);
    std::string entry = comma == std::string::npos ? "" : target.substr(comma + 1);
    if (IsDll(dll, "printui") && entry == "PrintUIEntry")
        PrintUiEntry(rest);
    if (IsDll(dll, "shell32") && entry == "SHHelpShortcuts_RunDLL") {
        std::string argument = rest.substr(0, rest.find_last_not_of(" \t") + 1);
        if (argument != "PrintersFolder")
            Unsupported("shell32", "SHHelpShortcuts_RunDLL " + argument);
        sim::LogShellEvent("shell32", "printers-folder", "");
        sim::ExitEmulator(0);
    }
    if (IsDll(dll, "printui") || IsDll(dll, "shell32")) {
        // rundll32's box: "Error in <dll> Missing entry: <entry>".
        sim::LogShellEvent("rundll32", "error", "Error in " + dll + " Missing entry: " + entry);
        sim::ExitEmulator(kFailed);
    }
    Unsupported("rundll32", target);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "quellin-sim-rundll32: " << error.what() << "\n";
        sim::ExitEmulator(kFailed);
    }
}
