// quellin-sandbox: creates, inspects and changes the simulated Windows that Quellin runs on.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/standard_text.h"
#include "json/json.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"
#include "platform/spooler.h"
#include "platform/text.h"

using namespace quellin;

namespace {

using json::Value;

constexpr const char* kUsage = R"(usage: quellin-sandbox [--sandbox DIR] COMMAND ...
  init [--arch x64-wow64|x86] [--user admin|filtered-admin|standard|system] [--date YYYY-MM-DD]
       [--service-timing fast|realistic] [--legacy-kernel] [--no-pdf-printer]
       [--servicing-restart]      (dism.exe leaves its changes pending a restart: 3010)
       [--codepage 1252|932]      (the ANSI code page: Western or Japanese)
  config [same options but --codepage; --date real goes back to the real date]
         (no options: print it)
  reg get KEY [VALUE]             reg set KEY VALUE TYPE DATA
  reg delete KEY [VALUE]          reg export KEY
  path WINDOWS-PATH               the host file of a sandbox path
  printers                        printer add NAME [--port P] [--driver D] [--shared]
  printer delete NAME             log [--runs]   (--runs: programs run, without times)
  service [start|stop] spooler [--no-wait]   (no verb: its status)
  feature [NAME]                  state of an optional feature (default: Print to PDF)
  jobs [PRINTER]                  job add PRINTER --document D [--owner U] [--size BYTES]
                                      [--pages N] [--status HEX] [--machine NAME]
                                      [--submitted YYYY-MM-DDTHH:MM:SS (UTC)]
  events                          the event log: each entry a program reported, oldest first
  run [--verb V] [--show N] [--no-wait] [--native] FILE [PARAMETERS]
                                  start a program through the shell (--native: redirection off)
The sandbox is DIR, else $QUELLIN_SANDBOX, else ~/.local/share/quellin/sandbox.
)";

struct Usage {
    std::string message;
};

// The host gives UTF-8; the simulated Windows holds names in its ANSI code page (the sandbox's:
// 1252 or 932). Every argument is converted, except the host folder of --sandbox.
std::vector<std::string> AnsiArgs(int argc, char** argv) {
    sim::OpenSandboxOfCommandLine(argc, argv);
    std::vector<std::string> items;
    for (int i = 1; i < argc; ++i) {
        if (i == 2 && std::strcmp(argv[1], "--sandbox") == 0) {
            items.emplace_back(argv[i]);
            continue;
        }
        bool exact = true;
        items.push_back(win::Utf8ToAnsi(argv[i], &exact));
        if (!exact)
            throw Usage{tools::RefusedArgumentText(argv[i])};
    }
    return items;
}

class Args {
  public:
    Args(int argc, char** argv) : items_(AnsiArgs(argc, argv)) {}
    bool Empty() const { return pos_ >= items_.size(); }
    std::string Next(const char* what) {
        if (Empty())
            throw Usage{std::string("missing ") + what};
        return items_[pos_++];
    }
    std::string Peek() const { return Empty() ? std::string() : items_[pos_]; }
    std::vector<std::string> Rest() {
        std::vector<std::string> rest(items_.begin() + static_cast<long>(pos_), items_.end());
        pos_ = items_.size();
        return rest;
    }

  private:
    std::vector<std::string> items_;
    std::size_t pos_ = 0;
};

bool ApplyOption(const std::string& option, Args& args, sim::Config& config, bool* pdf) {
    if (option == "--arch") {
        config.arch = args.Next("architecture");
        if (config.arch != "x64-wow64" && config.arch != "x86")
            throw Usage{"bad --arch"};
    } else if (option == "--user") {
        config.user = args.Next("user");
        if (config.user != "admin" && config.user != "filtered-admin" &&
            config.user != "standard" && config.user != "system")
            throw Usage{"bad --user"};
    } else if (option == "--date") {
        std::string date = args.Next("date");
        int y, m, d;
        if (date == "real") {
            config.date.clear();
        } else if (std::sscanf(date.c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3 && m >= 1 && m <= 12 &&
                   d >= 1 && d <= 31 && date.size() == 10) {
            config.date = date;
        } else {
            throw Usage{"bad --date (YYYY-MM-DD or real)"};
        }
    } else if (option == "--service-timing") {
        config.serviceTiming = args.Next("timing");
        if (config.serviceTiming != "fast" && config.serviceTiming != "realistic")
            throw Usage{"bad --service-timing"};
    } else if (option == "--legacy-kernel") {
        config.legacyKernel = true;
    } else if (option == "--modern-kernel") {
        config.legacyKernel = false;
    } else if (option == "--servicing-restart") {
        config.servicingRestart = true;
    } else if (option == "--no-servicing-restart") {
        config.servicingRestart = false;
    } else if (option == "--codepage" && pdf) {
        // Names already in a sandbox are bytes of its code page: it is chosen once, at init.
        const std::string codePage = args.Next("code page");
        if (codePage != "1252" && codePage != "932")
            throw Usage{"bad --codepage (1252 or 932)"};
        config.codePage = codePage == "932" ? 932 : 1252;
    } else if (option == "--no-pdf-printer" && pdf) {
        *pdf = false;
    } else {
        return false;
    }
    return true;
}

void PrintConfig() {
    sim::Config c = sim::ReadConfig();
    std::cout << Value::Object()
                     .Set("sandbox", sim::SandboxRoot().string())
                     .Set("arch", c.arch)
                     .Set("user", c.user)
                     .Set("date", c.date.empty() ? "real" : c.date)
                     .Set("serviceTiming", c.serviceTiming)
                     .Set("legacyKernel", c.legacyKernel)
                     .Set("servicingRestart", c.servicingRestart)
                     .Set("codePage", static_cast<int>(c.codePage))
                     .Dump()
              << "\n";
}

Value ValueJson(const sim::reg::Value& v) {
    return Value::Object()
        .Set("name", v.name)
        .Set("type", sim::reg::TypeName(v.type))
        .Set("data", sim::reg::FormatData(v));
}

Value ValuesJson(std::int64_t id) {
    Value values = Value::Array();
    for (const auto& v : sim::reg::Values(id))
        values.Push(ValueJson(v));
    return values;
}

Value KeyJson(std::int64_t id, const std::string& path) {
    Value subkeys = Value::Array();
    for (const auto& name : sim::reg::SubKeys(id)) {
        if (auto child = sim::reg::FindChild(id, name))
            subkeys.Push(KeyJson(*child, path + "\\" + name));
    }
    return Value::Object().Set("key", path).Set("values", ValuesJson(id)).Set("subkeys", subkeys);
}

int Reg(Args& args) {
    std::string verb = args.Next("reg command");
    std::string key = args.Next("key");
    if (verb == "get") {
        auto id = sim::reg::FindKey(key);
        if (!id) {
            std::cerr << "quellin-sandbox: no such key: " << key << "\n";
            return 1;
        }
        if (args.Empty()) {
            std::cout << Value::Object()
                             .Set("key", key)
                             .Set("values", ValuesJson(*id))
                             .Set("subkeys", Value::StringArray(sim::reg::SubKeys(*id)))
                             .Dump()
                      << "\n";
            return 0;
        }
        std::string name = args.Next("value");
        auto value = sim::reg::GetValueById(*id, name);
        if (!value) {
            std::cerr << "quellin-sandbox: no such value: " << name << "\n";
            return 1;
        }
        std::cout << sim::reg::FormatData(*value) << "\n";
        return 0;
    }
    if (verb == "set") {
        std::string name = args.Next("value name");
        std::string type = args.Next("type");
        std::string data = args.Next("data");
        sim::reg::Value v = sim::reg::ParseData(name, type, data);
        sim::reg::SetValue(key, v.name, v.type, v.data);
        return 0;
    }
    if (verb == "delete") {
        bool done = args.Empty() ? sim::reg::DeleteKey(key)
                                 : sim::reg::DeleteValue(key, args.Next("value"));
        if (!done) {
            std::cerr << "quellin-sandbox: nothing to delete\n";
            return 1;
        }
        return 0;
    }
    if (verb == "export") {
        auto id = sim::reg::FindKey(key);
        if (!id) {
            std::cerr << "quellin-sandbox: no such key: " << key << "\n";
            return 1;
        }
        std::cout << KeyJson(*id, key).Dump() << "\n";
        return 0;
    }
    throw Usage{"unknown reg command: " + verb};
}

int Printers() {
    const std::optional<std::string> defaultPrinter = sim::DefaultPrinter();
    Value printers = Value::Array();
    for (const sim::PrinterRecord& printer : sim::Printers()) {
        const std::int64_t attributes = printer.attributes;
        const bool isDefault = defaultPrinter && win::SameName(*defaultPrinter, printer.name);
        printers.Push(Value::Object()
                          .Set("name", printer.name)
                          .Set("port", printer.port)
                          .Set("driver", printer.driver)
                          .Set("attributes", attributes)
                          .Set("shared", (attributes & win::PRINTER_ATTRIBUTE_SHARED) != 0)
                          .Set("connection", (attributes & win::PRINTER_ATTRIBUTE_NETWORK) != 0)
                          .Set("default", isDefault));
    }
    std::cout << printers.Dump() << "\n";
    return 0;
}

int Printer(Args& args) {
    std::string verb = args.Next("printer command");
    std::string name = args.Next("printer name");
    if (verb == "add") {
        std::string port = "PORTPROMPT:";
        std::string driver = "Microsoft Software Printer Driver";
        long attributes = win::PRINTER_ATTRIBUTE_LOCAL | 0x200;
        while (!args.Empty()) {
            std::string option = args.Next("option");
            if (option == "--port")
                port = args.Next("port");
            else if (option == "--driver")
                driver = args.Next("driver");
            else if (option == "--shared")
                attributes |= win::PRINTER_ATTRIBUTE_SHARED;
            else if (option == "--connection") {
                attributes =
                    (attributes & ~win::PRINTER_ATTRIBUTE_LOCAL) | win::PRINTER_ATTRIBUTE_NETWORK;
            } else
                throw Usage{"unknown option: " + option};
        }
        if (!sim::AddPrinter(name, port, driver, static_cast<std::uint32_t>(attributes))) {
            std::cerr << "quellin-sandbox: printer exists: " << name << "\n";
            return 1;
        }
        return 0;
    }
    if (verb == "delete") {
        if (!sim::RemovePrinter(name)) {
            std::cerr << "quellin-sandbox: no such printer: " << name << "\n";
            return 1;
        }
        return 0;
    }
    throw Usage{"unknown printer command: " + verb};
}

// Each program the shell ran, without times, as one list that a script can compare whole.
int LogRuns() {
    Value runs = Value::Array();
    for (const sim::LaunchEntry& e : sim::LaunchLog()) {
        if (!e.result || e.result->error != 0)
            continue;
        runs.Push(Value::Object()
                      .Set("verb", e.verb)
                      .Set("file", e.file)
                      .Set("params", e.parameters)
                      .Set("dir", e.directory)
                      .Set("image", e.result->image)
                      .Set("elevated", e.result->elevated)
                      .Set("exitCode", e.result->exitCode ? Value(*e.result->exitCode) : Value()));
    }
    std::cout << runs.Dump() << "\n";
    return 0;
}

int Events() {
    for (const sim::EventRecord& e : sim::EventLog()) {
        Value strings = Value::Array();
        for (const std::string& text : e.strings)
            strings.Push(text);
        std::cout << Value::Object()
                         .Set("time", e.time)
                         .Set("source", e.source)
                         .Set("type", e.type)
                         .Set("eventId", e.eventId)
                         .Set("strings", std::move(strings))
                         .Dump()
                  << "\n";
    }
    return 0;
}

int Log(Args& args) {
    if (!args.Empty()) {
        if (args.Next("option") != "--runs")
            throw Usage{"log takes only --runs"};
        return LogRuns();
    }
    for (const sim::LaunchEntry& e : sim::LaunchLog()) {
        Value launch = Value::Object()
                           .Set("time", e.time)
                           .Set("verb", e.verb)
                           .Set("file", e.file)
                           .Set("params", e.parameters)
                           .Set("dir", e.directory)
                           .Set("show", e.show);
        // What the shell ran, elevated or not, and how it ended (null while it runs).
        if (e.result) {
            launch.Set("image", e.result->image)
                .Set("elevated", e.result->elevated)
                .Set("error", e.result->error)
                .Set("exitCode", e.result->exitCode ? Value(*e.result->exitCode) : Value());
        }
        std::cout << launch.Dump() << "\n";
    }
    // What the emulated tools showed (a printer dialog, the Printers folder, an error box).
    for (const sim::ShellEvent& e : sim::ShellEvents()) {
        std::cout << Value::Object()
                         .Set("time", e.time)
                         .Set("source", e.source)
                         .Set("event", e.event)
                         .Set("detail", e.detail)
                         .Dump()
                  << "\n";
    }
    return 0;
}

const char* StateName(win::DWORD state) {
    switch (state) {
        case win::SERVICE_STOPPED:
            return "STOPPED";
        case win::SERVICE_START_PENDING:
            return "START_PENDING";
        case win::SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case win::SERVICE_RUNNING:
            return "RUNNING";
        default:
            return "UNKNOWN";
    }
}

void PrintService(const sim::ServiceStatus& s) {
    std::cout << Value::Object()
                     .Set("name", s.name)
                     .Set("state", StateName(s.state))
                     .Set("checkPoint", s.checkPoint)
                     .Set("waitHint", s.waitHint)
                     .Dump()
              << "\n";
}

// Like "net start" and "net stop": asks for the change, then waits until it is done.
int Service(Args& args) {
    std::string verb = args.Next("service command or name");
    std::string name = verb;
    if (verb == "start" || verb == "stop")
        name = args.Next("service name");
    else
        verb.clear();
    bool wait = true;
    while (!args.Empty()) {
        std::string option = args.Next("option");
        if (option != "--no-wait")
            throw Usage{"unknown option: " + option};
        wait = false;
    }
    if (!sim::QueryService(name)) {
        std::cerr << "quellin-sandbox: no such service: " << name << "\n";
        return 1;
    }
    if (!verb.empty()) {
        win::DWORD error = verb == "start" ? sim::StartService(name) : sim::StopService(name);
        if (error != win::ERROR_SUCCESS) {
            std::cerr << "quellin-sandbox: " << win::FormatSystemMessage(error) << " (" << error
                      << ")\n";
            return 1;
        }
        win::DWORD target = verb == "start" ? win::SERVICE_RUNNING : win::SERVICE_STOPPED;
        while (wait && sim::QueryService(name)->state != target)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    PrintService(*sim::QueryService(name));
    return 0;
}

int Feature(Args& args) {
    std::string name = args.Empty() ? sim::kPdfFeatureName : args.Next("feature");
    std::optional<std::string> state = sim::FeatureState(name);
    if (!state) {
        std::cerr << "quellin-sandbox: no such feature: " << name << "\n";
        return 1;
    }
    std::cout << Value::Object().Set("name", name).Set("state", *state).Dump() << "\n";
    return 0;
}

std::string SystemTimeText(const win::SYSTEMTIME& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return buffer;
}

Value JobJson(const win::JOB_INFO_2A& j) {
    char status[16];
    std::snprintf(status, sizeof status, "0x%X", j.Status);
    return Value::Object()
        .Set("id", j.JobId)
        .Set("printer", j.pPrinterName)
        .Set("machine", j.pMachineName)
        .Set("owner", j.pUserName)
        .Set("document", j.pDocument)
        .Set("status", status)
        .Set("size", j.Size)
        .Set("pages", j.TotalPages)
        .Set("printed", j.PagesPrinted)
        .Set("position", j.Position)
        .Set("submitted", SystemTimeText(j.Submitted));
}

// What the running spooler lists; a stopped spooler has no list to show.
int Jobs(Args& args) {
    std::string printer = args.Empty() ? std::string() : args.Next("printer");
    if (!printer.empty() && !sim::FindPrinter(printer)) {
        std::cerr << "quellin-sandbox: no such printer: " << printer << "\n";
        return 1;
    }
    if (!sim::SpoolerAvailable()) {
        std::cerr << "quellin-sandbox: the spooler is not running (1722); its jobs wait as files "
                     "in "
                  << sim::kSpoolJobFolder << "\n";
        return 1;
    }
    Value jobs = Value::Array();
    for (const win::JOB_INFO_2A& job : sim::ListJobs(printer))
        jobs.Push(JobJson(job));
    std::cout << jobs.Dump() << "\n";
    return 0;
}

std::uint32_t Number(const std::string& text, int base, const char* what) {
    try {
        std::size_t used = 0;
        unsigned long value = std::stoul(text, &used, base);
        if (used == text.size() && value <= 0xFFFFFFFFul)
            return static_cast<std::uint32_t>(value);
    } catch (const std::exception&) {
    }
    throw Usage{std::string("bad ") + what + ": " + text};
}

// "2026-03-05T14:07:09", optionally with milliseconds and a final Z: a UTC time.
std::int64_t SubmittedMs(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0, used = 0;
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day,
                                   &hour, &minute, &second, &used);
    std::string rest = fields == 6 ? text.substr(static_cast<std::size_t>(used)) : "";
    if (rest.size() == 4 && rest[0] == '.' && std::isdigit(static_cast<unsigned char>(rest[1])) &&
        std::isdigit(static_cast<unsigned char>(rest[2])) &&
        std::isdigit(static_cast<unsigned char>(rest[3]))) {
        ms = std::stoi(rest.substr(1));
        rest.clear();
    } else if (rest.size() == 5 && rest[0] == '.' && rest[4] == 'Z') {
        ms = std::stoi(rest.substr(1, 3));
        rest.clear();
    } else if (rest == "Z") {
        rest.clear();
    }
    if (fields != 6 || !rest.empty() || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || second > 59 || year < 1970)
        throw Usage{"bad --submitted (YYYY-MM-DDTHH:MM:SS, UTC): " + text};
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<std::int64_t>(::timegm(&tm)) * 1000 + ms;
}

int Job(Args& args) {
    std::string verb = args.Next("job command");
    if (verb != "add")
        throw Usage{"unknown job command: " + verb};
    sim::JobSpec spec;
    spec.printer = args.Next("printer");
    bool document = false;
    while (!args.Empty()) {
        std::string option = args.Next("option");
        if (option == "--document") {
            spec.document = args.Next("document");
            document = true;
        } else if (option == "--owner") {
            spec.owner = args.Next("owner");
        } else if (option == "--size") {
            spec.size = Number(args.Next("size"), 10, "--size");
        } else if (option == "--pages") {
            spec.pages = Number(args.Next("pages"), 10, "--pages");
        } else if (option == "--status") {
            spec.status = Number(args.Next("status"), 16, "--status");
        } else if (option == "--machine") {
            spec.machine = args.Next("machine");
        } else if (option == "--submitted") {
            spec.submittedMs = SubmittedMs(args.Next("submitted"));
        } else {
            throw Usage{"unknown option: " + option};
        }
    }
    if (!document)
        throw Usage{"missing --document"};
    if (!sim::FindPrinter(spec.printer)) {
        std::cerr << "quellin-sandbox: no such printer: " << spec.printer << "\n";
        return 1;
    }
    win::DWORD id = sim::AddJob(spec);
    std::cout << Value::Object().Set("id", id).Set("queued", sim::SpoolerAvailable()).Dump()
              << "\n";
    return 0;
}

// Starts a program the way the program does (ShellExecuteExA, then a wait on the process).
int RunProgram(Args& args) {
    win::SHELLEXECUTEINFOA info;
    info.fMask = win::SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.nShow = 1;
    bool wait = true;
    while (args.Peek().rfind("--", 0) == 0) {
        std::string option = args.Next("option");
        if (option == "--verb")
            info.lpVerb = args.Next("verb");
        else if (option == "--show")
            info.nShow = static_cast<int>(Number(args.Next("show"), 10, "--show"));
        else if (option == "--no-wait")
            wait = false;
        else if (option == "--native")
            sim::SetRedirectionEnabled(false);  // as the program's redirection span does
        else
            throw Usage{"unknown option: " + option};
    }
    info.lpFile = args.Next("file");
    info.lpParameters = args.Empty() ? std::string() : args.Next("parameters");
    if (!win::ShellExecuteExA(&info)) {
        win::DWORD error = win::GetLastError();
        std::cerr << "quellin-sandbox: " << win::FormatSystemMessage(error) << " (" << error
                  << ")\n";
        return 1;
    }
    win::DWORD code = 0;
    if (wait && info.hProcess) {
        win::WaitForSingleObject(info.hProcess, win::INFINITE);
        win::GetExitCodeProcess(info.hProcess, &code);
    }
    if (info.hProcess)
        win::CloseHandle(info.hProcess);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", code);
    std::cout << Value::Object().Set("exitCode", code).Set("hex", hex).Dump() << "\n";
    return 0;
}

int Run(int argc, char** argv) {
    Args args(argc, argv);
    std::filesystem::path root = sim::DefaultSandboxRoot();
    if (args.Peek() == "--sandbox") {
        args.Next("--sandbox");
        root = args.Next("sandbox folder");
    }
    std::string command = args.Next("command");
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "init") {
        sim::InitOptions options;
        while (!args.Empty()) {
            std::string option = args.Next("option");
            if (!ApplyOption(option, args, options.config, &options.pdfPrinter))
                throw Usage{"unknown option: " + option};
        }
        sim::InitSandbox(root, options);
        PrintConfig();
        return 0;
    }
    sim::OpenSandbox(root);
    if (command == "config") {
        sim::Config config = sim::ReadConfig();
        bool changed = false;
        while (!args.Empty()) {
            std::string option = args.Next("option");
            if (!ApplyOption(option, args, config, nullptr))
                throw Usage{"unknown option: " + option};
            changed = true;
        }
        if (changed)
            sim::WriteConfig(config);
        PrintConfig();
        return 0;
    }
    if (command == "reg")
        return Reg(args);
    if (command == "path") {
        std::cout << sim::HostPathNative(args.Next("Windows path")).string() << "\n";
        return 0;
    }
    if (command == "printers")
        return Printers();
    if (command == "printer")
        return Printer(args);
    if (command == "log")
        return Log(args);
    if (command == "events")
        return Events();
    if (command == "service")
        return Service(args);
    if (command == "feature")
        return Feature(args);
    if (command == "jobs")
        return Jobs(args);
    if (command == "job")
        return Job(args);
    if (command == "run")
        return RunProgram(args);
    throw Usage{"unknown command: " + command};
}

}  // namespace

namespace {

int Main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const Usage& usage) {
        std::cerr << "quellin-sandbox: " << usage.message << "\n" << kUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "quellin-sandbox: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Messages name printers, documents and keys in ANSI; the terminal reads UTF-8. Standard
    // output carries JSON (ASCII) and host paths (already UTF-8) and stays as it is.
    tools::StandardTextBuf errBuf(2);
    std::streambuf* const original = std::cerr.rdbuf(&errBuf);
    const int code = Main(argc, argv);
    std::cerr.rdbuf(original);
    return code;
}
