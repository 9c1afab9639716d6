// The texts of a job monitor row: how each field of a spooler job record is shown.
#pragma once

#include <array>
#include <string>

#include "platform/spooler.h"
#include "platform/types.h"

namespace quellin::queue {

enum Column : int { Computer, Printer, Document, Status, Owner, Size, Printed, StartAt };
inline constexpr int kColumnCount = 8;

// The cells of a row in column order; the first is the row's caption.
using JobCells = std::array<std::string, kColumnCount>;

// The user's regional settings that the texts use, read once (as the program reads them at
// start) rather than for every cell of every tick.
struct TextFormats {
    char decimalSeparator = '.';
    std::string shortDate = "M/d/yyyy";   // Windows date picture
    std::string longTime = "h:mm:ss tt";  // Windows time picture
    std::string am = "AM", pm = "PM";
    std::array<std::string, 12> monthNames, shortMonthNames;
    std::array<std::string, 7> dayNames, shortDayNames;  // Sunday first, as wDayOfWeek counts

    TextFormats();
    // The current user's settings, through the platform layer.
    static TextFormats FromUserLocale();
};

// The words of the set status bits, each followed by a blank, "Error " first.
std::string JobStatusText(win::DWORD status);
// The same words, then those of the states the job window does not name (blocked, user
// intervention), for reports that must not show such a job as without status.
std::string JobStatusReportText(win::DWORD status);

// The size in kilobytes of 1000 bytes, "%10.2f KB" with the locale's decimal separator.
std::string SizeText(win::DWORD bytes, char decimalSeparator);

// A Windows date or time picture ("M/d/yyyy", "h:mm:ss tt") applied to `time`; text in single
// quotes is literal, '' in it is a quote. A date the calendar does not have gives "".
std::string FormatPicture(const std::string& picture, const win::SYSTEMTIME& time,
                          const TextFormats& formats);

// The short date, a blank and the long time; at exactly midnight the date alone. A date the
// calendar does not have gives an empty text.
std::string StartAtText(const win::SYSTEMTIME& submitted, const TextFormats& formats);

// All eight cells of a job's row.
JobCells BuildJobCells(const win::JOB_INFO_2A& job, const TextFormats& formats);

}  // namespace quellin::queue
