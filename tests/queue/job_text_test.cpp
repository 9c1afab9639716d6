// The texts of a job's row: status words, sizes and submission times.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/sim/registry_store.h"
#include "queue/job_text.h"
#include "support/sandbox_fixture.h"

namespace quellin::queue {
namespace {

struct StatusCase {
    win::DWORD status;
    const char* text;
};

TEST(JobStatusText, WordsFollowTheirOwnOrderNotTheBits) {
    const StatusCase cases[] = {
        {0, ""},
        {win::JOB_STATUS_ERROR, "Error "},
        {win::JOB_STATUS_PAUSED, "Paused "},
        {win::JOB_STATUS_DELETING, "Deleting "},
        {win::JOB_STATUS_SPOOLING, "Spooling "},
        {win::JOB_STATUS_PRINTING, "Printing "},
        {win::JOB_STATUS_OFFLINE, "Offline "},
        {win::JOB_STATUS_PAPEROUT, "Paperout "},
        {win::JOB_STATUS_PRINTED, "Printed "},
        {0x13, "Error Paused Printing "},
        {0xFF, "Error Paused Deleting Spooling Printing Offline Paperout Printed "},
        // Bits without a word add nothing.
        {win::JOB_STATUS_DELETED | win::JOB_STATUS_RESTART | win::JOB_STATUS_COMPLETE, ""},
        {0xFFFFFF00 | win::JOB_STATUS_PAUSED, "Paused "},
    };
    for (const StatusCase& c : cases)
        EXPECT_EQ(JobStatusText(c.status), c.text) << "status 0x" << std::hex << c.status;
    // Reports add the states the window leaves out.
    EXPECT_EQ(JobStatusReportText(0x602), "Error Blocked User intervention required ");
}

struct SizeCase {
    win::DWORD bytes;
    char separator;
    const char* text;
};

TEST(SizeText, ThousandsOfBytesInATenCharacterField) {
    const SizeCase cases[] = {
        {0, '.', "      0.00 KB"},
        {1024, '.', "      1.02 KB"},
        {1500, '.', "      1.50 KB"},
        {1500, ',', "      1,50 KB"},
        {999'999'999, '.', "1000000.00 KB"},
        // Wider than the field: nothing is cut off.
        {0xFFFFFFFF, '.', "4294967.29 KB"},
    };
    for (const SizeCase& c : cases)
        EXPECT_EQ(SizeText(c.bytes, c.separator), c.text) << c.bytes;
}

TEST(SizeText, TheHostsNumericLocaleDoesNotLeakIn) {
    // Qt sets the C library's locale from the host's environment.
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            comma = name;
            break;
        }
    }
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma on this host";
    const std::string withPoint = SizeText(1500, '.');
    const std::string withSemicolon = SizeText(2048, ';');
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(withPoint, "      1.50 KB") << comma;
    EXPECT_EQ(withSemicolon, "      2;05 KB") << comma;
}

win::SYSTEMTIME Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    win::SYSTEMTIME t;
    t.wYear = static_cast<win::WORD>(y);
    t.wMonth = static_cast<win::WORD>(mo);
    t.wDay = static_cast<win::WORD>(d);
    t.wHour = static_cast<win::WORD>(h);
    t.wMinute = static_cast<win::WORD>(mi);
    t.wSecond = static_cast<win::WORD>(s);
    t.wMilliseconds = static_cast<win::WORD>(ms);
    return t;
}

struct StartAtCase {
    const char* name;
    win::SYSTEMTIME time;
    const char* text;
};

TEST(StartAtText, ShortDateAndLongTimeWithTheTimeLeftOutAtMidnight) {
    const TextFormats us;  // English (United States)
    const StartAtCase cases[] = {
        {"afternoon", Time(2026, 3, 5, 14, 7, 9), "3/5/2026 2:07:09 PM"},
        {"morning", Time(2026, 12, 24, 9, 30, 0), "12/24/2026 9:30:00 AM"},
        {"noon", Time(2026, 1, 1, 12, 0, 0), "1/1/2026 12:00:00 PM"},
        {"midnight", Time(2026, 3, 5), "3/5/2026"},
        {"half a second past midnight", Time(2026, 3, 5, 0, 0, 0, 500), "3/5/2026 12:00:00 AM"},
        {"leap day", Time(2024, 2, 29, 23, 59, 59), "2/29/2024 11:59:59 PM"},
        {"no such day", Time(2023, 2, 29, 10), ""},
        {"empty record", win::SYSTEMTIME{}, ""},
        {"hour out of range", Time(2026, 3, 5, 24), ""},
    };
    for (const StartAtCase& c : cases)
        EXPECT_EQ(StartAtText(c.time, us), c.text) << c.name;
}

TEST(FormatPicture, WindowsPictureCodesAndQuotedText) {
    const TextFormats us;
    const win::SYSTEMTIME t = Time(2026, 3, 5, 14, 7, 9);  // a Thursday
    const std::pair<const char*, const char*> cases[] = {
        {"dddd, MMMM d, yyyy", "Thursday, March 5, 2026"},
        {"ddd dd-MMM-yy", "Thu 05-Mar-26"},
        {"HH:mm:ss", "14:07:09"},
        {"hh 'h' mm t", "02 h 07 P"},
        {"h 'o''clock'", "2 o'clock"},
        {"yyyy/MM/dd", "2026/03/05"},
        {"MMMM", "March"},
    };
    for (const auto& [picture, text] : cases)
        EXPECT_EQ(FormatPicture(picture, t, us), text) << picture;
    EXPECT_EQ(FormatPicture("MMMM dddd", win::SYSTEMTIME{}, us), "") << "no month 0, no day 0";
}

TEST(TextFormats, FollowTheUsersRegionalSettings) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_EQ(StartAtText(Time(2026, 3, 5, 14, 7, 9), TextFormats::FromUserLocale()),
              "3/5/2026 2:07:09 PM");
    const char* key = "HKCU\\Control Panel\\International";
    sim::reg::SetString(key, "sShortDate", "dd.MM.yyyy");
    sim::reg::SetString(key, "sTimeFormat", "HH:mm:ss");
    sim::reg::SetString(key, "sDecimal", ",");
    const TextFormats german = TextFormats::FromUserLocale();
    EXPECT_EQ(StartAtText(Time(2026, 3, 5, 14, 7, 9), german), "05.03.2026 14:07:09");
    EXPECT_EQ(StartAtText(Time(2026, 3, 5), german), "05.03.2026");
    EXPECT_EQ(SizeText(1500, german.decimalSeparator), "      1,50 KB");
}

TEST(BuildJobCells, EachColumnFromItsField) {
    win::JOB_INFO_2A job;
    job.JobId = 7;
    job.pMachineName = "\\\\QUELLIN-PC";
    job.pPrinterName = "Fax";
    job.pDocument = "Report.pdf";
    job.pUserName = "User";
    job.Status = win::JOB_STATUS_PAUSED;
    job.Size = 1500;
    job.PagesPrinted = 3;
    job.Submitted = Time(2026, 3, 5, 14, 7, 9);
    const JobCells cells = BuildJobCells(job, TextFormats());
    const JobCells expected = {"\\\\QUELLIN-PC", "Fax", "Report.pdf",         "Paused ", "User",
                               "      1.50 KB",  "3",   "3/5/2026 2:07:09 PM"};
    EXPECT_EQ(cells, expected);
}

}  // namespace
}  // namespace quellin::queue
