#include "cli/cli.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/command.h"
#include "cli/console_ui.h"
#include "cli/envelope.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "system/admin.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/machine_lock.h"
#include "system/system_commands.h"

namespace quellin::cli {

namespace {

struct OptionSpec {
    const char* name;  // without the dashes
    bool takesValue;
};

struct CommandSpec {
    const char* name;
    Handler handler;
    std::vector<OptionSpec> options;
    std::size_t positionals;  // exactly this many
    const char* usage;
    const char* help;
    bool changes = false;  // changes the machine: takes the lock, knows --check
};

// What the running command shares with the steps every command takes.
struct RunState {
    bool changes = false;
    bool check = false;
    win::DWORD waitMilliseconds = 5000;
    std::unique_ptr<quellin::system::MachineLock> lock;
};
RunState* g_run = nullptr;

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"status",
         StatusCommand,
         {{"expect", true}, {"stuck-after", true}},
         0,
         "status [--expect present|absent] [--stuck-after MINUTES]",
         "Reports the health of \"Microsoft Print to PDF\" without changing anything: the\n"
         "optional feature, the printer with its driver and port, the port \"PORTPROMPT:\",\n"
         "the Spooler service, the printer's registry values, the driver folder, description,\n"
         "capabilities document and compiled cache, the paper sizes and resolutions each\n"
         "driver file offers and whether they agree, and the jobs of every printer. Ends with\n"
         "the findings, each with a stable code, a sentence and the command that mends it.\n"
         "--expect absent checks that the printer and its feature are removed instead.\n"
         "A job is stuck when it is blocked, needs user intervention, waits for a printer\n"
         "offline or out of paper, or waits longer than --stuck-after MINUTES (default 60)\n"
         "without printing pages.\n"
         "Troubles of other printers are notes, not findings. Exit 0 when the machine is as\n"
         "expected, 1 when a finding stands, 6 when it cannot be assessed (not an\n"
         "administrator, or the spooler cannot be asked), 3010 while the feature waits for a\n"
         "restart (restart-pending), 7 with no findings while another command changes the\n"
         "machine (it waits --wait SECONDS first)."},
        {"repair",
         RepairCommand,
         {{"expect", true}, {"stuck-after", true}, {"check", false}},
         0,
         "repair [--expect present|absent] [--stuck-after MINUTES] [--check]",
         "Brings the machine to the state status expects in one run: assesses it as status\n"
         "does, then runs the remedies of its findings, each distinct remedy once, in a fixed\n"
         "order (the spooler first, then the feature and printer, then the driver files, then\n"
         "the jobs), assessing again after each step so that a finding an earlier step\n"
         "mended needs no step of its own. Stops when the machine is healthy, when a step\n"
         "fails, or when a step changes nothing. Lists each step with the findings it\n"
         "answered, its exit code and whether it changed something, and the findings before\n"
         "and after. --check gives the plan instead (plan.wouldChange). Exit 0 when healthy\n"
         "afterwards, 1 when findings stand, the failing step's code, 6 when it cannot assess,\n"
         "7 when another command holds the machine, 3010 when a restart is required.",
         true},
        {"install",
         InstallCommand,
         {{"check", false}, {"repair", false}},
         0,
         "install [--repair] [--check]",
         "Enables the optional feature that carries the printer (the install sequence). When\n"
         "the printer is already present nothing is done. When the feature is enabled but the\n"
         "printer is missing, enabling cannot bring it back: the command says so with the\n"
         "reinstall remedy, or runs the reinstall with --repair. Exit 0 when the printer is\n"
         "present afterwards, 3010 when the servicing tool asks for a restart.",
         true},
        {"reinstall",
         ReinstallCommand,
         {{"check", false}},
         0,
         "reinstall [--check]",
         "Removes the optional feature with its printer, driver, driver files, queued jobs and\n"
         "temp files, restarts the Spooler service, adds the port \"PORTPROMPT:\" if missing\n"
         "and enables the feature again (the reinstall sequence). Exit 0 when the printer is\n"
         "present afterwards, 3010 when the servicing tool asks for a restart.",
         true},
        {"uninstall",
         UninstallCommand,
         {{"keep-feature", false}, {"check", false}},
         0,
         "uninstall [--keep-feature] [--check]",
         "Removes the printer and then the optional feature with its payload;\n"
         "--keep-feature removes the printer only. A feature left enabled without its printer\n"
         "is removed too. Exit 0 when the printer (and the feature) are gone afterwards.",
         true},
        {"clear-queue",
         ClearQueueCommand,
         {{"check", false}},
         0,
         "clear-queue [--check]",
         "Stops the Spooler service, deletes every printer's queued jobs, the temp folder's\n"
         "contents and the auto-save file, and starts the service again (the maintenance\n"
         "sequence). Lists what it deleted; --check lists what it would delete. Exit 0 when\n"
         "the service runs afterwards.",
         true},
        {"spooler start",
         SpoolerCommand,
         {{"check", false}},
         0,
         "spooler start [--check]",
         "Starts the Spooler service and waits until it runs. Deletes nothing.",
         true},
        {"spooler stop",
         SpoolerCommand,
         {{"check", false}},
         0,
         "spooler stop [--check]",
         "Stops the Spooler service and waits until it has stopped.",
         true},
        {"jobs",
         JobsCommand,
         {{"printer", true}},
         0,
         "jobs [--printer P]",
         "Lists the jobs of every printer, or of printer P. Exit 4 when the spooler does not\n"
         "answer."},
        {"job pause",
         JobControlCommand,
         {{"printer", true}, {"check", false}},
         1,
         "job pause ID --printer P [--check]",
         "Pauses job ID of printer P, whichever computer sent it. A job that is already\n"
         "gone is done with nothing changed (exit 0).",
         true},
        {"job resume",
         JobControlCommand,
         {{"printer", true}, {"check", false}},
         1,
         "job resume ID --printer P [--check]",
         "Resumes job ID of printer P, whichever computer sent it. A job that is already\n"
         "gone is done with nothing changed (exit 0).",
         true},
        {"job restart",
         JobControlCommand,
         {{"printer", true}, {"check", false}},
         1,
         "job restart ID --printer P [--check]",
         "Restarts job ID of printer P, whichever computer sent it. A job that is already\n"
         "gone is done with nothing changed (exit 0).",
         true},
        {"job cancel",
         JobControlCommand,
         {{"printer", true}, {"check", false}},
         1,
         "job cancel ID --printer P [--check]",
         "Cancels job ID of printer P, whichever computer sent it. A job that is already\n"
         "gone is done with nothing changed (exit 0).",
         true},
        {"paper list",
         PaperListCommand,
         {{"all", false}},
         0,
         "paper list [--all]",
         "Lists the paper sizes the printer offers (in order), the default, the custom size and\n"
         "the unit accuracy; --all adds every size of the catalogue."},
        {"paper set",
         PaperSetCommand,
         {{"sizes", true},
          {"default", true},
          {"international", false},
          {"us", false},
          {"custom", true},
          {"check", false}},
         0,
         "paper set --sizes A4,LETTER,... --default A4 [--international|--us] [--custom WxH]\n"
         "            [--check]",
         "Rewrites the paper sizes the printer offers, as \"Save Settings\" of the paper size\n"
         "dialog does: the sizes in the order given, the default among them, the unit\n"
         "accuracy (unchanged unless --international or --us is given: it is read from the\n"
         "sizes the description holds) and the custom size in millimetres (--custom adds\n"
         "CUSTOMSIZE when --sizes lacks it; checked as \"Apply\" checks it). Files that would\n"
         "not change are not written.",
         true},
        {"paper restore-default",
         PaperRestoreDefaultCommand,
         {{"check", false}},
         0,
         "paper restore-default [--check]",
         "Writes the default set of paper sizes, as \"Restore Default\" then \"Save Settings\"",
         true},
        {"resolution list",
         ResolutionListCommand,
         {},
         0,
         "resolution list",
         "Lists the resolutions the printer offers and the default."},
        {"resolution set",
         ResolutionSetCommand,
         {{"dpi", true}, {"default", true}, {"allow-multiple", false}, {"check", false}},
         0,
         "resolution set --dpi 600[,300...] --default 600 [--allow-multiple] [--check]",
         "Rewrites the resolutions the printer offers, as \"Save Settings\" of the print\n"
         "quality dialog does, with its rules: the default must be one of the chosen\n"
         "resolutions, 1200 is refused, and several resolutions need --allow-multiple (the\n"
         "answer Yes to the dialog's warning). Files that would not change are not written.",
         true},
        {"backup",
         BackupCommand,
         {{"as-system", false}, {"check", false}},
         1,
         "backup FILE.roy [--as-system] [--check]",
         "Saves the printer settings of the user who runs the command and the driver's two\n"
         "files to a settings archive (an existing archive is updated). Refused when run as\n"
         "SYSTEM, whose settings are rarely meant, unless --as-system is given. Exit 1 when\n"
         "something could not be saved.",
         true},
        {"restore",
         RestoreCommand,
         {{"as-system", false}, {"check", false}},
         1,
         "restore FILE.roy [--as-system] [--check]",
         "Restores the printer settings of the user who runs the command and the driver files\n"
         "from a settings archive. Refused when run as SYSTEM unless --as-system is given.\n"
         "Exit 1 when something could not be restored, 5 when the archive cannot be read.",
         true},
    };
    return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& spec : Commands())
        if (name == spec.name)
            return &spec;
    return nullptr;
}

void WriteOverview(std::ostream& out) {
    out << "usage: quellin-cli COMMAND [options] [--json] [--wait SECONDS] [--output FILE]\n"
           "                   [--quiet]\n"
           "       quellin-cli COMMAND --help\n"
           "       quellin-cli --version [--json]\n\n"
           "Maintenance of the printer \"Microsoft Print to PDF\" without a window.\n\n"
           "commands:\n";
    for (const CommandSpec& spec : Commands())
        out << "  " << spec.usage << "\n";
    out << "\n--json writes one JSON document on standard output; progress goes to standard\n"
           "error. --check (commands that change the machine) says what would be done and\n"
           "changes nothing. --wait is how long a changing command, or status, waits for one\n"
           "that holds the machine (5 seconds unless given). Exit codes: 0 done, 1 finding\n"
           "or refusal, 2 bad command line or value, 3 not an administrator, 4 the system\n"
           "refused, 5 a file could not be read or written, 6 status or repair cannot assess,\n"
           "7 busy, 3010 done but a restart is required. --output FILE writes the JSON document "
           "to\n"
           "FILE as well (replaced whole, or not at all: exit 5); --quiet drops the progress\n"
           "lines. Every document names its run: runId, host, startedAt (UTC), durationMs.\n";
}

void WriteCommandHelp(std::ostream& out, const CommandSpec& spec) {
    out << "usage: quellin-cli " << spec.usage << " [--json]\n\n" << spec.help << "\n";
}

const char* OutcomeName(int exitCode) {
    switch (exitCode) {
        case kExitDone:
            return "done";
        case kExitFinding:
            return "finding";
        case kExitUsage:
            return "usage";
        case kExitNotAdministrator:
            return "not-administrator";
        case kExitSystemRefused:
            return "system-refused";
        case kExitFileError:
            return "file-error";
        case kExitCannotAssess:
            return "cannot-assess";
        case kExitBusy:
            return "busy";
        case kExitRestartRequired:
            return "restart-required";
    }
    return "unknown";
}

struct Parsed {
    const CommandSpec* spec = nullptr;
    Invocation invocation;
    bool help = false;
    bool version = false;
    win::DWORD waitMilliseconds = 5000;
};

// The command's words come first ("paper set"); options and their values may follow in any
// order, "--name value" or "--name=value". `parsed.spec` is set as soon as the command is
// known, so a refused command line still names it.
void Parse(const std::vector<std::string>& args, Parsed& parsed) {
    std::vector<std::string> words;
    for (const std::string& arg : args) {
        if (arg == "--json")
            parsed.invocation.json = true;
        else if (arg == "--help" || arg == "-h")
            parsed.help = true;
    }
    // "--version" stands alone, or with --json only.
    if (std::find(args.begin(), args.end(), "--version") != args.end() &&
        std::all_of(args.begin(), args.end(),
                    [](const std::string& arg) { return arg == "--version" || arg == "--json"; })) {
        parsed.version = true;
        return;
    }
    auto joinWords = [&](std::size_t from) {
        std::string joined;
        for (std::size_t i = from; i < args.size() && args[i].rfind("-", 0) != 0; ++i)
            joined += (joined.empty() ? "" : " ") + args[i];
        return joined;
    };
    if (!args.empty() && args[0] == "help") {
        parsed.help = true;
        const std::string joined = joinWords(1);
        if (!joined.empty() && !(parsed.spec = FindCommand(joined)))
            throw UsageError("unknown command \"" + joined + "\"");
        return;
    }
    std::size_t at = 0;
    while (at < args.size() && args[at].rfind("-", 0) != 0 && words.size() < 2) {
        words.push_back(args[at++]);
        std::string joined;
        for (const std::string& word : words)
            joined += (joined.empty() ? "" : " ") + word;
        if ((parsed.spec = FindCommand(joined)))
            break;
    }
    if (!parsed.spec) {
        if (parsed.help)
            return;  // the overview
        if (words.empty())
            throw UsageError("no command given");
        std::string group;
        for (const CommandSpec& spec : Commands()) {
            const std::string name = spec.name;
            if (words.size() == 1 && name.rfind(words[0] + " ", 0) == 0)
                group += (group.empty() ? "" : ", ") + name.substr(words[0].size() + 1);
        }
        if (!group.empty())
            throw UsageError("\"" + words[0] + "\" needs one of: " + group);
        std::string joined;
        for (const std::string& word : words)
            joined += (joined.empty() ? "" : " ") + word;
        throw UsageError("unknown command \"" + joined + "\"");
    }
    parsed.invocation.command = parsed.spec->name;
    if (parsed.help)
        return;
    for (; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (arg == "--json")
            continue;
        if (arg == "--wait" || arg.rfind("--wait=", 0) == 0) {
            std::string text = arg.size() > 6 ? arg.substr(7) : "";
            if (arg.size() == 6) {
                if (at + 1 >= args.size())
                    throw UsageError("\"--wait\" needs a value");
                text = args[++at];
            }
            if (text.empty() || text.size() > 4 ||
                !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
                throw UsageError("--wait takes whole seconds, 0 to 9999");
            parsed.waitMilliseconds = static_cast<win::DWORD>(std::stoul(text)) * 1000;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            if (arg.size() > 1 && arg[0] == '-')
                throw UsageError("unknown option \"" + arg + "\"");
            parsed.invocation.positionals.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (std::size_t equals = name.find('='); equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        auto option = std::find_if(parsed.spec->options.begin(), parsed.spec->options.end(),
                                   [&](const OptionSpec& o) { return name == o.name; });
        if (option == parsed.spec->options.end())
            throw UsageError("unknown option \"--" + name + "\" for \"" + parsed.spec->name + "\"");
        if (!option->takesValue) {
            if (inlineValue)
                throw UsageError("\"--" + name + "\" takes no value");
            parsed.invocation.flags.insert(name);
            continue;
        }
        if (parsed.invocation.values.count(name))
            throw UsageError("\"--" + name + "\" is given twice");
        if (!inlineValue) {
            // A value that looks like an option is taken as a forgotten value; "--name=--x"
            // passes one that really begins with dashes.
            if (at + 1 >= args.size() || args[at + 1].rfind("--", 0) == 0)
                throw UsageError("\"--" + name + "\" needs a value");
            inlineValue = args[++at];
        }
        parsed.invocation.values[name] = *inlineValue;
    }
    if (parsed.invocation.positionals.size() != parsed.spec->positionals)
        throw UsageError(parsed.spec->positionals == 0
                             ? "unexpected argument \"" + parsed.invocation.positionals[0] + "\""
                             : std::string("\"") + parsed.spec->name + "\" needs " +
                                   (parsed.spec->positionals == 1 ? "one argument" : "arguments"));
    parsed.invocation.check = parsed.invocation.Has("check");
}

Json MessagesJson(const ConsoleUi& ui) {
    Json array = Json::Array();
    for (const ShownMessage& message : ui.messages) {
        Json item = Json::Object().Set("caption", message.caption).Set("text", message.text);
        if (message.question)
            item.Set("answer", message.answer == win::IDYES ? "yes" : "no");
        array.Push(std::move(item));
    }
    for (const std::string& error : ui.errors)
        array.Push(Json::Object().Set("caption", "error").Set("text", error));
    return array;
}

// A message of one line: the program's errors carry the box's CR LF line breaks.
std::string OneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;  // CR LF is one break
        line += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return line;
}

}  // namespace

namespace {

// Where a run's document goes: standard output (a document with --json, else human lines), and
// with --output the document to a file as well.
struct Delivery {
    Delivery(std::ostream& out, std::ostream& err, bool json) : out(out), err(err), json(json) {}
    std::ostream& out;
    std::ostream& err;
    bool json = false;
    bool quiet = false;
    std::optional<std::string> outputPath;
    std::optional<OutputFile> output;
    RunScope run;
};

Json DocumentOf(const Delivery& delivery, const CommandSpec* spec, const Reporter& reporter,
                const ConsoleUi& ui, int exitCode, const CommandFailure* failure) {
    Json error;
    if (failure) {
        error = Json::Object()
                    .Set("message", OneLine(failure->what()))
                    .Set("windowsError",
                         failure->windowsError ? WindowsErrorJson(*failure->windowsError) : Json())
                    .Set("remedy", failure->remedy ? RemedyJson(*failure->remedy) : Json());
    }
    const RunRecord& run = delivery.run.record();
    return Json::Object()
        .Set("schema", kJsonSchemaVersion)
        .Set("tool", quellin::system::kFileVersion)
        .Set("runId", run.runId)
        .Set("host", run.host)
        .Set("startedAt", run.startedAt)
        .Set("durationMs", run.ElapsedMs())
        .Set("command", spec ? Json(spec->name) : Json())
        .Set("check", reporter.check)
        .Set("exitCode", exitCode)
        .Set("outcome", OutcomeName(exitCode))
        .Set("changed", reporter.changed)
        .Set("result", reporter.data)
        .Set("messages", MessagesJson(ui))
        .Set("error", std::move(error));
}

// The one JSON document, or the human lines, of a finished run. Every run writes the same
// members, whatever ended it. Human lines name printers, documents and owners that anyone who
// can print chooses, so their control characters are shown escaped rather than sent to the
// terminal or log. A copy for --output that cannot be written fails a run that had not failed
// already, and is one more error of one that had.
int Finish(Delivery& delivery, const CommandSpec* spec, const Reporter& reporter, ConsoleUi& ui,
           int exitCode, const CommandFailure* failure) {
    std::ostream& out = delivery.out;
    std::ostream& err = delivery.err;
    std::optional<CommandFailure> outputFailure;
    std::string document =
        DocumentOf(delivery, spec, reporter, ui, exitCode, failure).Dump() + "\n";
    if (delivery.output) {
        try {
            delivery.output->Commit(document);
        } catch (const CommandFailure& refused) {
            outputFailure = refused;
        }
        delivery.output.reset();
        if (outputFailure && !failure) {
            failure = &*outputFailure;
            exitCode = outputFailure->exitCode;
        } else if (outputFailure) {
            ui.errors.push_back(OneLine(outputFailure->what()));
            if (!delivery.json)
                err << "quellin-cli: " << ShowControls(ui.errors.back()) << "\n";
        }
        if (outputFailure)
            document = DocumentOf(delivery, spec, reporter, ui, exitCode, failure).Dump() + "\n";
    }
    if (delivery.json) {
        out << document;
    } else {
        for (const std::string& line : reporter.Lines())
            out << ShowControls(line) << "\n";
        if (failure) {
            err << "quellin-cli: " << ShowControls(OneLine(failure->what()));
            if (failure->windowsError) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "0x%08X",
                              static_cast<unsigned>(*failure->windowsError));
                err << " (Windows error " << hex << ": " << WindowsErrorText(*failure->windowsError)
                    << ")";
            }
            err << "\n";
            if (failure->remedy)
                err << "quellin-cli: mend with: " << ShowControls(RemedyText(*failure->remedy))
                    << "\n";
            if (exitCode == kExitUsage)
                err << "quellin-cli: see quellin-cli --help\n";
        }
    }
    out.flush();
    return exitCode;
}

// --quiet and --output FILE (or --output=FILE) belong to every run, --version's too: taken out
// of the command line before it is parsed.
std::vector<std::string> TakeDeliveryOptions(const std::vector<std::string>& args,
                                             Delivery& delivery) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--quiet") {
            delivery.quiet = true;
        } else if (arg == "--output" || arg.rfind("--output=", 0) == 0) {
            if (delivery.outputPath)
                throw UsageError("\"--output\" is given twice");
            if (arg.size() > 8)
                delivery.outputPath = arg.substr(9);
            else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                delivery.outputPath = args[++i];
            if (!delivery.outputPath || delivery.outputPath->empty())
                throw UsageError("\"--output\" needs a file name");
        } else {
            rest.push_back(arg);
        }
    }
    return rest;
}

}  // namespace

std::optional<std::string> Invocation::Value(const std::string& name) const {
    auto found = values.find(name);
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

void Reporter::Progress(const std::string& line) {
    if (quiet_)
        return;
    err_ << "quellin-cli: " << ShowControls(line) << "\n";
    err_.flush();
}

std::string WindowsErrorText(win::DWORD code) {
    std::string text = win::FormatSystemMessage(
        ((code >> 16) & 0x1FFF) == 7 && (code & 0x80000000) ? code & 0xFFFF : code);
    if (text.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "Error 0x%08X.", static_cast<unsigned>(code));
        text = number;
    }
    return text;
}

Json WindowsErrorJson(win::DWORD code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    return Json::Object()
        .Set("code", static_cast<long long>(code))
        .Set("hex", hex)
        .Set("text", WindowsErrorText(code));
}

void RequireAdministrator() {
    if (!quellin::system::RunsAsAdministrator())
        throw CommandFailure(kExitNotAdministrator, quellin::system::kPermissionDeniedText);
    HoldMachine();
}

void HoldMachine() {
    if (!g_run || !g_run->changes || g_run->check || g_run->lock)
        return;
    // The lock keeps administrators' commands apart and only they may enter it. A standard
    // user's job command changes only what the spooler lets that user change.
    if (!quellin::system::RunsAsAdministrator())
        return;
    g_run->lock = std::make_unique<quellin::system::MachineLock>(g_run->waitMilliseconds);
    if (!g_run->lock->Held()) {
        const win::DWORD error = g_run->lock->Error();
        g_run->lock.reset();
        if (error != 0)
            throw CommandFailure(kExitSystemRefused, quellin::system::kMachineLockFailure, error);
        throw CommandFailure(kExitBusy, kMachineBusyText);
    }
}

std::string CommandLinePath(const std::string& argument) {
    std::string path = argument;
    const bool windowsPath =
        (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/')) ||
        path.rfind("\\\\", 0) == 0;
    if (!windowsPath) {
        // A host path: the dialog side of the conversion takes and gives UTF-8.
        const std::string utf8 = win::AnsiToUtf8(path);
        const std::filesystem::path host(std::u8string(utf8.begin(), utf8.end()));
        const std::u8string absolute =
            std::filesystem::absolute(host).lexically_normal().u8string();
        path = win::WindowsPathFromDialog(std::string(absolute.begin(), absolute.end()));
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool MachineBusy() {
    if (!g_run || g_run->lock || !quellin::system::RunsAsAdministrator())
        return false;
    auto lock = std::make_unique<quellin::system::MachineLock>(g_run->waitMilliseconds);
    if (lock->Held()) {
        g_run->lock = std::move(lock);
        return false;
    }
    return lock->Error() == 0;
}

win::DWORD Wow64KeyFlag() {
    return quellin::system::IsWow64() ? 256 : 0;
}

namespace {

// Whatever ends a command is a failure with an exit code, never an escaping exception.
std::optional<CommandFailure> RunHandler(const CommandSpec& spec, const Invocation& invocation,
                                         Reporter& reporter) {
    try {
        spec.handler(invocation, reporter);
    } catch (const CommandFailure& failure) {
        return failure;
    } catch (const quellin::system::SystemError& error) {
        return CommandFailure(kExitSystemRefused, error.what(), error.code());
    } catch (const std::exception& error) {
        return CommandFailure(kExitSystemRefused, error.what());
    }
    return std::nullopt;
}

}  // namespace

int Run(const std::vector<std::string>& rawArgs, std::ostream& out, std::ostream& err) {
    Delivery delivery(out, err,
                      std::find(rawArgs.begin(), rawArgs.end(), "--json") != rawArgs.end());
    ConsoleUi ui;
    Parsed parsed;
    std::optional<CommandFailure> refused;
    std::vector<std::string> args;
    try {
        args = TakeDeliveryOptions(rawArgs, delivery);
        Parse(args, parsed);
    } catch (const CommandFailure& failure) {
        refused = failure;
    }
    Reporter reporter(err, delivery.json, delivery.quiet);
    // The copy's file is made before anything runs, so that a run whose document could not be
    // kept changes nothing; a refused command line is kept there too.
    if (delivery.outputPath) {
        try {
            delivery.output.emplace(CommandLinePath(*delivery.outputPath));
        } catch (const CommandFailure& failure) {
            return Finish(delivery, parsed.spec, reporter, ui, failure.exitCode, &failure);
        }
    }
    if (refused)
        return Finish(delivery, parsed.spec, reporter, ui, refused->exitCode, &*refused);
    if (parsed.version) {
        if (!delivery.json && !delivery.output) {
            out << "quellin-cli " << quellin::system::kFileVersion << "\n";
            return kExitDone;
        }
        reporter.data.Set("version", quellin::system::kFileVersion);
        if (!delivery.json)
            reporter.Line("quellin-cli " + std::string(quellin::system::kFileVersion));
        return Finish(delivery, nullptr, reporter, ui, kExitDone, nullptr);
    }
    if (parsed.help) {
        std::ostringstream text;
        if (parsed.spec)
            WriteCommandHelp(text, *parsed.spec);
        else
            WriteOverview(text);
        if (!delivery.json && !delivery.output) {
            out << text.str();
            return kExitDone;
        }
        reporter.data.Set("help", text.str());
        if (!delivery.json)
            out << text.str();
        return Finish(delivery, parsed.spec, reporter, ui, kExitDone, nullptr);
    }
    // The run's start and end go to the audit trail; a log file that cannot be written is
    // noted once here and the command goes on.
    audit::SetNoteSink([&err](const std::string& note) { err << "quellin-cli: " << note << "\n"; });
    struct ClearSink {
        ~ClearSink() { audit::SetNoteSink({}); }
    } clearSink;
    audit::Run run("quellin-cli", parsed.spec->name, quellin::system::kFileVersion, CurrentRunId(),
                   quellin::system::RunsAsAdministrator());
    const auto finish = [&](const CommandFailure* failure, int exitCode) {
        const int code = Finish(delivery, parsed.spec, reporter, ui, exitCode, failure);
        run.End(code, OutcomeName(code));
        return code;
    };
    RunState state;
    state.changes = parsed.spec->changes;
    state.check = parsed.invocation.check;
    state.waitMilliseconds = parsed.waitMilliseconds;
    reporter.check = state.check;
    g_run = &state;
    // Nobody may be there to answer the shell's boxes, so it reports errors as codes; and COM
    // is set up for ShellExecuteEx as its documentation asks.
    quellin::system::SetShellErrorUi(false);
    const win::HRESULT com =
        win::CoInitializeEx(win::COINIT_APARTMENTTHREADED | win::COINIT_DISABLE_OLE1DDE);
    struct Reset {
        bool com;
        ~Reset() {
            g_run = nullptr;
            quellin::system::SetShellErrorUi(true);
            if (com)
                win::CoUninitialize();
        }
    } reset{com == 0 || com == 1};
    if (const std::optional<CommandFailure> failure =
            RunHandler(*parsed.spec, parsed.invocation, reporter))
        return finish(&*failure, failure->exitCode);
    return finish(nullptr, reporter.exitCode);
}

RemedyRun RunRemedy(const Remedy& remedy, Reporter& parent) {
    RemedyRun run;
    Reporter step(parent.errorStream(), parent.json(), parent.quiet());
    Parsed parsed;
    try {
        Parse(remedy.args, parsed);
        if (!parsed.spec || parsed.help || parsed.version)
            throw UsageError("the remedy names no command");
        run.failure = RunHandler(*parsed.spec, parsed.invocation, step);
    } catch (const CommandFailure& failure) {
        run.failure = failure;
    }
    run.exitCode = run.failure ? run.failure->exitCode : step.exitCode;
    run.changed = step.changed;
    for (const std::string& line : step.Lines())
        parent.Line("  " + line);
    return run;
}

int RefuseCommandLine(const std::string& reason, bool json, std::ostream& out, std::ostream& err) {
    Delivery delivery(out, err, json);
    ConsoleUi ui;
    Reporter reporter(err, json);
    const CommandFailure failure = UsageError(reason);
    return Finish(delivery, nullptr, reporter, ui, failure.exitCode, &failure);
}

}  // namespace quellin::cli
