// The command line itself: parsing and its refusals, help, the JSON document's shape and text,
// and the job commands with their exit codes.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/json.h"
#include "cli_runner.h"
#include "platform/sim/spool.h"
#include "platform/spooler.h"
#include "sandbox_fixture.h"
#include "system/app_info.h"

namespace quellin::cli {

namespace {

using cli::RunCli;
using cli::Str;

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string message;  // part of the error
};

class BadCommandLines : public ::testing::TestWithParam<UsageCase> {};

TEST_P(BadCommandLines, ExitTwoWithTheReason) {
    testsupport::ScopedSandbox sandbox;
    std::vector<std::string> args = GetParam().args;
    const cli::CliRun human = RunCli(args);
    EXPECT_EQ(human.exitCode, 2);
    EXPECT_NE(human.err.find(GetParam().message), std::string::npos) << human.err;
    EXPECT_TRUE(human.out.empty());
    args.push_back("--json");
    const cli::CliRun json = RunCli(args);
    ASSERT_TRUE(json.parsed) << json.out;
    EXPECT_EQ(json.json.value("exitCode").toInt(), 2);
    EXPECT_EQ(Str(json.json.value("outcome")), "usage");
    EXPECT_NE(Str(json.json.value("error").toObject().value("message")).find(GetParam().message),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, BadCommandLines,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "no command given"},
        UsageCase{"UnknownCommand", {"mend"}, "unknown command \"mend\""},
        UsageCase{"UnknownSubcommand", {"paper", "shred"}, "unknown command \"paper shred\""},
        UsageCase{"GroupWithoutSubcommand",
                  {"job", "--printer", "Fax"},
                  "\"job\" needs one of: pause, resume, restart, cancel"},
        UsageCase{"UnknownOption", {"status", "--verbose"}, "unknown option \"--verbose\""},
        UsageCase{"ShortOption", {"status", "-v"}, "unknown option \"-v\""},
        UsageCase{"StrayArgument", {"install", "now"}, "unexpected argument \"now\""},
        UsageCase{"MissingValue", {"jobs", "--printer"}, "\"--printer\" needs a value"},
        UsageCase{"ValueTwice",
                  {"jobs", "--printer", "Fax", "--printer=Fax"},
                  "\"--printer\" is given twice"},
        UsageCase{"FlagWithValue", {"uninstall", "--keep-feature=yes"}, "takes no value"},
        UsageCase{"JobWithoutId", {"job", "pause", "--printer", "Fax"}, "needs one argument"},
        UsageCase{"JobIdNotANumber", {"job", "cancel", "x1", "--printer", "Fax"}, "not a number"},
        UsageCase{
            "JobIdTooLarge", {"job", "cancel", "4294967296", "--printer", "Fax"}, "too large"},
        UsageCase{"JobIdLong", {"job", "cancel", "10000000000", "--printer=Fax"}, "too large"},
        UsageCase{"JobWithoutPrinter", {"job", "resume", "3"}, "needs --printer P"},
        UsageCase{"StuckAfterZero", {"status", "--stuck-after=0"}, "whole minutes, 1 to"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST(CommandLine, HelpForEachCommandAndOverall) {
    const cli::CliRun overall = RunCli({"--help"});
    EXPECT_EQ(overall.exitCode, 0);
    for (const char* usage :
         {"status", "install", "reinstall", "uninstall [--keep-feature]", "clear-queue",
          "jobs [--printer P]", "job cancel ID --printer P", "paper list [--all]",
          "paper restore-default", "resolution list", "backup FILE.roy", "restore FILE.roy"})
        EXPECT_NE(overall.out.find(usage), std::string::npos) << usage;
    const cli::CliRun paper = RunCli({"paper", "set", "--help"});
    EXPECT_EQ(paper.exitCode, 0);
    EXPECT_EQ(paper.out.rfind("usage: quellin-cli paper set --sizes", 0), 0u) << paper.out;
    EXPECT_EQ(RunCli({"help", "job", "pause"}).out.rfind("usage: quellin-cli job pause ID", 0), 0u);
    EXPECT_EQ(RunCli({"help", "nothing"}).exitCode, 2);
    EXPECT_EQ(RunCli({"--version"}).out, std::string("quellin-cli ") + system::kFileVersion + "\n");
    EXPECT_NE(RunCli({"--json", "--version"}).out.find(R"("result":{"version":")"),
              std::string::npos);
}

TEST(Json, EightBitTextReadsBackAsItsCharacters) {
    // Windows-1252: e acute, the euro sign, a quote and a control character.
    const std::string text = "caf\xE9 \x80 \"q\" \x01\\";
    const std::string document = cli::Json::Object().Set("t", text).Dump();
    for (unsigned char c : document)
        EXPECT_LT(c, 0x80);
    const QJsonObject object =
        QJsonDocument::fromJson(QByteArray::fromStdString(document)).object();
    EXPECT_EQ(object.value("t").toString(), QString::fromUtf8("caf\u00e9 \u20ac \"q\" \u0001\\"));
}

TEST(Json, MembersKeepTheirOrderAndSetReplaces) {
    cli::Json object = cli::Json::Object();
    object.Set("b", 1).Set("a", cli::Json::Array().Push(true).Push(nullptr)).Set("b", "x");
    EXPECT_EQ(object.Dump(), R"({"b":"x","a":[true,null]})");
}

win::DWORD QueueJob(const std::string& printer, const std::string& document,
                    win::DWORD status = 0) {
    sim::JobSpec spec;
    spec.printer = printer;
    spec.document = document;
    spec.status = status;
    spec.size = 2048;
    spec.submittedMs = 1772719629000;  // 2026-03-05T14:07:09Z
    return sim::AddJob(spec);
}

TEST(Jobs, ListsEveryPrinterOrOne) {
    testsupport::ScopedSandbox sandbox;
    const win::DWORD id = QueueJob("Fax", "cover.tif", win::JOB_STATUS_PAUSED);
    QueueJob("Microsoft Print to PDF", "report.pdf");
    const cli::CliRun all = RunCli({"jobs", "--json"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    int jobs = 0;
    for (const QJsonValue& printer : all.Result().value("printers").toArray())
        jobs += static_cast<int>(printer.toObject().value("jobs").toArray().size());
    EXPECT_EQ(jobs, 2);

    const cli::CliRun fax = RunCli({"jobs", "--printer", "Fax", "--json"});
    const QJsonArray printers = fax.Result().value("printers").toArray();
    ASSERT_EQ(printers.size(), 1);
    const QJsonObject job = printers[0].toObject().value("jobs").toArray()[0].toObject();
    EXPECT_EQ(job.value("id").toInteger(), id);
    EXPECT_EQ(Str(job.value("document")), "cover.tif");
    EXPECT_EQ(Str(job.value("status")), "Paused");
    EXPECT_EQ(job.value("size").toInteger(), 2048);
    EXPECT_EQ(Str(job.value("submitted")), "2026-03-05T14:07:09Z");

    const cli::CliRun missing = RunCli({"jobs", "--printer", "Nowhere", "--json"});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_TRUE(missing.json.value("error").toObject().value("windowsError").isObject());
}

TEST(Jobs, TextShowsControlCharactersOfNamesEscaped) {
    // Anyone who can print names documents: raw, these would forge lines and recolour an
    // administrator's terminal.
    testsupport::ScopedSandbox sandbox;
    QueueJob("Fax", "x\n  Fax: 0 jobs\x1b[31m\r\t\x7f\x81 caf\xE9 \x80");
    const cli::CliRun run = RunCli({"jobs", "--printer", "Fax"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"x\\n  Fax: 0 jobs\\x1b[31m\\r\\t\\x7f\\x81 caf\xE9 \x80\""),
              std::string::npos)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << "one header, one job";
    const cli::CliRun json = RunCli({"jobs", "--printer", "Fax", "--json"});
    const QJsonObject job = json.Result()
                                .value("printers")
                                .toArray()[0]
                                .toObject()
                                .value("jobs")
                                .toArray()[0]
                                .toObject();
    EXPECT_EQ(job.value("document").toString(),
              QString::fromUtf8("x\n  Fax: 0 jobs\u001b[31m\r\t\u007f\u0081 caf\u00e9 \u20ac"));
}

struct JobControlCase {
    const char* name;
    std::string verb;
    win::DWORD initialStatus;
    bool goneAfter;
    win::DWORD statusAfter;  // when not gone
};

class JobControl : public ::testing::TestWithParam<JobControlCase> {};

TEST_P(JobControl, ChangesTheJobAndReadsItBack) {
    const JobControlCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    const win::DWORD id = QueueJob("Fax", "cover.tif", c.initialStatus);
    const cli::CliRun run =
        RunCli({"job", c.verb, std::to_string(id), "--printer", "Fax", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<win::JOB_INFO_2A> jobs = sim::ListJobs("Fax");
    if (c.goneAfter) {
        EXPECT_TRUE(jobs.empty());
        EXPECT_TRUE(run.Result().value("after").isNull());
    } else {
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(jobs[0].Status & (win::JOB_STATUS_PAUSED | win::JOB_STATUS_RESTART),
                  c.statusAfter);
        EXPECT_EQ(run.Result().value("after").toObject().value("statusBits").toInteger() &
                      (win::JOB_STATUS_PAUSED | win::JOB_STATUS_RESTART),
                  c.statusAfter);
    }
    EXPECT_NE(run.err.find(c.verb + " job " + std::to_string(id)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, JobControl,
    ::testing::Values(JobControlCase{"Pause", "pause", 0, false, win::JOB_STATUS_PAUSED},
                      JobControlCase{"Resume", "resume", win::JOB_STATUS_PAUSED, false, 0},
                      JobControlCase{"Cancel", "cancel", win::JOB_STATUS_PAUSED, true, 0}),
    [](const ::testing::TestParamInfo<JobControlCase>& info) { return info.param.name; });

TEST(JobControl, AJobThePrinterDoesNotHoldIsDoneUnchanged) {
    testsupport::ScopedSandbox sandbox;
    const win::DWORD id = QueueJob("Fax", "cover.tif");
    ASSERT_TRUE(sim::AddPrinter("-h"));  // named as "--printer=-h", not read as help
    const cli::CliRun run = RunCli({"job", "cancel", std::to_string(id), "--printer=-h", "--json"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.json.value("changed").toBool());
    EXPECT_EQ(run.Result().value("found"), QJsonValue(false));
    EXPECT_EQ(sim::ListJobs("Fax").size(), 1u);
}

}  // namespace

}  // namespace quellin::cli
