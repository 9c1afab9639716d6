#include "cli/cli.h"

#include <algorithm>
#include <ostream>

#include "cli/command.h"
#include "cli/console_ui.h"
#include "platform/text.h"
#include "system/admin.h"
#include "system/errors.h"

namespace cli {

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
};

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"status",
         StatusCommand,
         {},
         0,
         "status",
         "Reports the health of \"Microsoft Print to PDF\" without changing anything: the\n"
         "optional feature, the printer with its driver and port, the port \"PORTPROMPT:\",\n"
         "the Spooler service, the printer's registry values, the driver folder, description,\n"
         "capabilities document and compiled cache, the paper sizes and resolutions each\n"
         "driver file offers and whether they agree, and the jobs of every printer. Ends with\n"
         "the findings, each with a stable code, a sentence and the command that mends it.\n"
         "Exit 0 when healthy, 1 when a finding stands."},
        {"install",
         InstallCommand,
         {},
         0,
         "install",
         "Enables the optional feature that carries the printer (the install sequence). When\n"
         "the printer is already present nothing is done and the command says so. The printer\n"
         "is looked for afterwards: exit 0 when it is present."},
        {"reinstall",
         ReinstallCommand,
         {},
         0,
         "reinstall",
         "Removes the optional feature with its printer, driver, driver files, queued jobs and\n"
         "temp files, restarts the Spooler service, adds the port \"PORTPROMPT:\" if missing\n"
         "and enables the feature again (the reinstall sequence). Exit 0 when the printer is\n"
         "present afterwards."},
        {"uninstall",
         UninstallCommand,
         {{"keep-feature", false}},
         0,
         "uninstall [--keep-feature]",
         "Removes the printer and then the optional feature with its payload;\n"
         "--keep-feature removes the printer only. When the printer is not present nothing is\n"
         "done. Exit 0 when the printer is gone afterwards."},
        {"clear-queue",
         ClearQueueCommand,
         {},
         0,
         "clear-queue",
         "Stops the Spooler service, empties the spool folder's job folder and the temp folder,\n"
         "and starts the service again (the maintenance sequence). Exit 0 when the service\n"
         "runs afterwards."},
        {"jobs",
         JobsCommand,
         {{"printer", true}},
         0,
         "jobs [--printer P]",
         "Lists the jobs of every printer, or of printer P."},
        {"job pause",
         JobControlCommand,
         {{"printer", true}},
         1,
         "job pause ID --printer P",
         "Pauses job ID of printer P."},
        {"job resume",
         JobControlCommand,
         {{"printer", true}},
         1,
         "job resume ID --printer P",
         "Resumes job ID of printer P."},
        {"job restart",
         JobControlCommand,
         {{"printer", true}},
         1,
         "job restart ID --printer P",
         "Restarts job ID of printer P."},
        {"job cancel",
         JobControlCommand,
         {{"printer", true}},
         1,
         "job cancel ID --printer P",
         "Cancels job ID of printer P."},
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
          {"custom", true}},
         0,
         "paper set --sizes A4,LETTER,... --default A4 [--international|--us] [--custom WxH]",
         "Rewrites the paper sizes the printer offers, as \"Save Settings\" of the paper size\n"
         "dialog does: the sizes in the order given, the default among them, the unit\n"
         "accuracy (unchanged unless --international or --us is given) and the custom size\n"
         "in millimetres (--custom adds CUSTOMSIZE when --sizes lacks it; checked as \"Apply\"\n"
         "checks it)."},
        {"paper restore-default",
         PaperRestoreDefaultCommand,
         {},
         0,
         "paper restore-default",
         "Writes the default set of paper sizes, as \"Restore Default\" then \"Save Settings\""},
        {"resolution list",
         ResolutionListCommand,
         {},
         0,
         "resolution list",
         "Lists the resolutions the printer offers and the default."},
        {"resolution set",
         ResolutionSetCommand,
         {{"dpi", true}, {"default", true}, {"allow-multiple", false}},
         0,
         "resolution set --dpi 600[,300...] --default 600 [--allow-multiple]",
         "Rewrites the resolutions the printer offers, as \"Save Settings\" of the print\n"
         "quality dialog does, with its rules: the default must be one of the chosen\n"
         "resolutions, 1200 is refused, and several resolutions need --allow-multiple (the\n"
         "answer Yes to the dialog's warning)."},
        {"backup",
         BackupCommand,
         {},
         1,
         "backup FILE.roy",
         "Saves the current user's printer settings and the driver's two files to a settings\n"
         "archive (an existing archive is updated). Exit 1 when something could not be saved."},
        {"restore",
         RestoreCommand,
         {},
         1,
         "restore FILE.roy",
         "Restores the printer settings and driver files from a settings archive. Exit 1 when\n"
         "something could not be restored, 5 when the archive cannot be read."},
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
    out << "usage: quellin-cli COMMAND [options] [--json]\n"
           "       quellin-cli COMMAND --help\n\n"
           "Maintenance of the printer \"Microsoft Print to PDF\" without a window.\n\n"
           "commands:\n";
    for (const CommandSpec& spec : Commands())
        out << "  " << spec.usage << "\n";
    out << "\n--json writes one JSON document on standard output; progress goes to standard\n"
           "error. Exit codes: 0 done, 1 finding or refusal, 2 bad command line, 3 not an\n"
           "administrator, 4 the system refused, 5 a file could not be read or written.\n";
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
    }
    return "unknown";
}

struct Parsed {
    const CommandSpec* spec = nullptr;
    Invocation invocation;
    bool help = false;
};

// The command's words come first ("paper set"); options and their values may follow in any
// order, "--name value" or "--name=value".
Parsed Parse(const std::vector<std::string>& args) {
    Parsed parsed;
    std::vector<std::string> words;
    for (const std::string& arg : args) {
        if (arg == "--json")
            parsed.invocation.json = true;
        else if (arg == "--help" || arg == "-h")
            parsed.help = true;
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
        return parsed;
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
            return parsed;  // the overview
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
        return parsed;
    for (; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (arg == "--json")
            continue;
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
    return parsed;
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

std::string ShowControls(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // A byte of the upper half is a control only where the code page maps it to one (1252's
        // five unassigned bytes map to C1 controls, which some terminals obey).
        // A lead byte of a double-byte code page alone converts to nothing: not a control.
        const std::u16string one =
            byte < 0x80 ? std::u16string(1, byte) : win::AnsiToWide(std::string_view(&c, 1));
        const char16_t u = one.empty() ? u'?' : one[0];
        if (u >= 0x20 && !(u >= 0x7F && u <= 0x9F)) {
            shown += c;
            continue;
        }
        switch (u) {
            case '\n':
                shown += "\\n";
                break;
            case '\r':
                shown += "\\r";
                break;
            case '\t':
                shown += "\\t";
                break;
            default: {
                static constexpr char kHex[] = "0123456789abcdef";
                shown += "\\x";
                shown += kHex[byte >> 4];
                shown += kHex[byte & 0xF];
            }
        }
    }
    return shown;
}

namespace {

// The one JSON document, or the human lines, of a finished command. Human lines name printers,
// documents and owners that anyone who can print chooses, so their control characters are
// shown escaped rather than sent to the terminal or log.
int Finish(std::ostream& out, std::ostream& err, const std::string& command, bool json,
           const Reporter* reporter, const ConsoleUi* ui, int exitCode,
           const CommandFailure* failure) {
    if (json) {
        Json document = Json::Object()
                            .Set("command", command.empty() ? Json() : Json(command))
                            .Set("exitCode", exitCode)
                            .Set("outcome", OutcomeName(exitCode));
        if (reporter)
            document.Set("result", reporter->data);
        if (ui)
            document.Set("messages", MessagesJson(*ui));
        if (failure) {
            Json error = Json::Object().Set("message", OneLine(failure->what()));
            if (failure->windowsError)
                error.Set("windowsError",
                          Json::Object()
                              .Set("code", *failure->windowsError)
                              .Set("text", win::FormatSystemMessage(*failure->windowsError)));
            error.Set("remedy", failure->remedy.empty() ? Json() : Json(failure->remedy));
            document.Set("error", std::move(error));
        } else {
            document.Set("error", nullptr);
        }
        out << document.Dump() << "\n";
    } else {
        if (reporter)
            for (const std::string& line : reporter->Lines())
                out << ShowControls(line) << "\n";
        if (failure) {
            err << "quellin-cli: " << ShowControls(OneLine(failure->what()));
            if (failure->windowsError)
                err << " (Windows error " << *failure->windowsError << ": "
                    << win::FormatSystemMessage(*failure->windowsError) << ")";
            err << "\n";
            if (!failure->remedy.empty())
                err << "quellin-cli: mend with: " << ShowControls(failure->remedy) << "\n";
            if (exitCode == kExitUsage)
                err << "quellin-cli: see quellin-cli --help\n";
        }
    }
    out.flush();
    return exitCode;
}

}  // namespace

std::optional<std::string> Invocation::Value(const std::string& name) const {
    auto found = values.find(name);
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

void Reporter::Progress(const std::string& line) {
    err_ << "quellin-cli: " << ShowControls(line) << "\n";
    err_.flush();
}

void RequireAdministrator() {
    bool administrator = false;
    try {
        administrator = quellin::system::IsAdministrator();
    } catch (const quellin::system::SystemError&) {
        administrator = false;
    }
    if (!administrator)
        throw CommandFailure(kExitNotAdministrator, quellin::system::kPermissionDeniedText);
}

win::DWORD Wow64KeyFlag() {
    return quellin::system::IsWow64() ? 256 : 0;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Parsed parsed;
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    try {
        parsed = Parse(args);
    } catch (const CommandFailure& failure) {
        return Finish(out, err, "", json, nullptr, nullptr, failure.exitCode, &failure);
    }
    if (parsed.help) {
        if (parsed.spec)
            WriteCommandHelp(out, *parsed.spec);
        else
            WriteOverview(out);
        return kExitDone;
    }
    ConsoleUi ui;
    Reporter reporter(err, parsed.invocation.json);
    try {
        parsed.spec->handler(parsed.invocation, reporter);
    } catch (const CommandFailure& failure) {
        return Finish(out, err, parsed.spec->name, json, &reporter, &ui, failure.exitCode,
                      &failure);
    } catch (const quellin::system::SystemError& error) {
        const CommandFailure failure(kExitSystemRefused, error.what(), error.code());
        return Finish(out, err, parsed.spec->name, json, &reporter, &ui, failure.exitCode,
                      &failure);
    } catch (const std::exception& error) {
        const CommandFailure failure(kExitSystemRefused, error.what());
        return Finish(out, err, parsed.spec->name, json, &reporter, &ui, failure.exitCode,
                      &failure);
    }
    return Finish(out, err, parsed.spec->name, json, &reporter, &ui, reporter.exitCode, nullptr);
}

}  // namespace cli
