// Runs quellin-cli's commands in the test's process, on the test's sandbox, and parses their
// JSON output with Qt's own reader, which shares nothing with the writer under test.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"

namespace quellin::cli {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    QJsonObject json;  // the document, when the run asked for --json and it parsed
    bool parsed = false;

    QJsonObject Result() const { return json.value("result").toObject(); }
    std::vector<std::string> FindingCodes() const {
        std::vector<std::string> codes;
        for (const QJsonValue& finding : Result().value("findings").toArray())
            codes.push_back(finding.toObject().value("code").toString().toStdString());
        return codes;
    }
    QJsonObject Finding(const std::string& code) const {
        for (const QJsonValue& finding : Result().value("findings").toArray())
            if (finding.toObject().value("code").toString().toStdString() == code)
                return finding.toObject();
        return {};
    }
};

// Each run is a new process: no privilege enabled yet, and the image of the packaged CLI, which
// is built for the machine's architecture (`wow64`: the 32-bit build on 64-bit Windows).
inline CliRun RunCli(std::vector<std::string> args, bool wow64 = false) {
    CliRun run;
    std::ostringstream out, err;
    sim::DisableAllPrivileges();
    sim::SetProcessImage64Bit(!wow64);
    run.exitCode = cli::Run(args, out, err);
    sim::SetProcessImage64Bit(false);
    run.out = out.str();
    run.err = err.str();
    for (const std::string& arg : args) {
        if (arg != "--json")
            continue;
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
        run.parsed = error.error == QJsonParseError::NoError && document.isObject();
        run.json = document.object();
    }
    return run;
}

inline std::string Str(const QJsonValue& value) {
    return value.toString().toStdString();
}

// A remedy as a POSIX shell would run it; "" for none.
inline std::string RemedyPosix(const QJsonValue& remedy) {
    return Str(remedy.toObject().value("display").toObject().value("posix"));
}

}  // namespace quellin::cli
