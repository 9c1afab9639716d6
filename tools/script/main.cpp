// quellin-script SCRIPT TRANSCRIPT: runs the program offscreen on the sandbox named by
// QUELLIN_SANDBOX, performs the script's user actions and writes what the user saw.
#include <QApplication>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/entry.h"
#include "app/main_window.h"
#ifndef _WIN32
#include "platform/sim/observer.h"
#endif
#include "runner.h"
#include "script.h"
#include "transcript.h"

using namespace quellin;

namespace {

constexpr const char* kUsage =
    R"(usage: quellin-script SCRIPT TRANSCRIPT
Runs Quellin on the sandbox $QUELLIN_SANDBOX (offscreen unless QT_QPA_PLATFORM says otherwise),
performs SCRIPT's actions and writes TRANSCRIPT, one JSON event a line.
Exit code: 0 the script ran to its end, 1 it failed, 2 the script is malformed.

One action a line; # starts a comment; texts in double quotes (\" and \\ are escapes, any
other backslash is kept, so Windows paths need no doubling):
  click FORM.CONTROL            select FORM.CONTROL "TEXT" | none
  dblclick FORM.CONTROL ["TEXT"] type FORM.CONTROL "TEXT"
  check FORM.CONTROL            uncheck FORM.CONTROL
  drag FORM.SOURCE "TEXT" FORM.TARGET               hover FORM.CONTROL
  key FORM "KEY"  ("Del", "Ctrl+Del", "F5")         close FORM
  answer yes|no|ok              file "C:\path\name.roy" | cancel
  wait MS                       dump FORM           screenshot FORM "PATH.png"
FORM is one of TForm1, TForm2, TForm3, TForm4, TMain. An action waits up to 10 s for its window,
control or item; answers are queued for the next box or file dialog, in order.
)";

int Malformed(script::Transcript& transcript, int line, const std::string& where,
              const std::string& reason) {
    std::fprintf(stderr, "quellin-script: %s: %s\n", where.c_str(), reason.c_str());
    transcript.Failed(line, reason);
    transcript.End(2);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string scriptPath = argv[1];
    script::Transcript transcript(argv[2]);
    if (!transcript.Ok()) {
        std::fprintf(stderr, "quellin-script: cannot write the transcript %s\n", argv[2]);
        return 2;
    }
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in)
        return Malformed(transcript, 0, scriptPath, "cannot read the script");
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = script::Parse(text.str());
    if (auto* error = std::get_if<script::ParseError>(&parsed)) {
        return Malformed(transcript, error->line, scriptPath + ":" + std::to_string(error->line),
                         error->reason);
    }

#ifndef _WIN32
    // On Windows the real windows are the point; elsewhere there may be no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication application(argc, argv);

    script::Runner runner(std::move(std::get<std::vector<script::Action>>(parsed)), transcript);
#ifndef _WIN32
    // The sandbox reports each launch; on Windows the shell starts the program for real.
    sim::SetLaunchObserver([&](const std::string& verb, const std::string& file,
                               const std::string& parameters, const std::string&, int show) {
        transcript.Write(script::JsonObject()
                             .Text("event", "shell")
                             .Text("verb", verb)
                             .Text("file", file)
                             .Text("params", parameters)
                             .Int("show", show));
    });
#endif
    runner.RunLeadingLines();
    app::ProgramOptions options;
    options.ui = &runner.Ui();
    options.onMainWindow = [&](app::TForm1& form) { runner.Start(&form, form.Handle()); };
    app::RunPrnStatus(application, options);
#ifndef _WIN32
    sim::SetLaunchObserver({});
#endif
    const int code = runner.Finish();
    if (code)
        std::fprintf(stderr, "quellin-script: the script failed; see %s\n", argv[2]);
    return code;
}
