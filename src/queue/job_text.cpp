#include "queue/job_text.h"

#include <charconv>
#include <cstdio>

#include "platform/locale.h"

namespace quellin::queue {

namespace {

std::string LocaleText(win::LCTYPE type, const std::string& fallback) {
    const int length = win::GetLocaleInfoA(win::LOCALE_USER_DEFAULT, type, nullptr, 0);
    std::string text;
    if (length <= 0 || win::GetLocaleInfoA(win::LOCALE_USER_DEFAULT, type, &text, length) <= 0)
        return fallback;
    return text;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDateTime(const win::SYSTEMTIME& t) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.wYear < 1 || t.wYear > 9999 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1)
        return false;
    const int days = kDays[t.wMonth - 1] + (t.wMonth == 2 && IsLeapYear(t.wYear) ? 1 : 0);
    return t.wDay <= days && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
           t.wMilliseconds < 1000;
}

// Day of the week, 0 for Sunday, from the date itself: the record's own field is not trusted.
int DayOfWeek(int year, int month, int day) {
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

void AppendNumber(std::string& out, unsigned value, int minDigits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*u", minDigits, value);
    out += buffer;
}

}  // namespace

TextFormats::TextFormats() {
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    for (int i = 0; i < 12; ++i) {
        monthNames[i] = kMonths[i];
        shortMonthNames[i] = monthNames[i].substr(0, 3);
    }
    for (int i = 0; i < 7; ++i) {
        dayNames[i] = kDays[i];
        shortDayNames[i] = dayNames[i].substr(0, 3);
    }
}

TextFormats TextFormats::FromUserLocale() {
    TextFormats f;
    const std::string decimal = LocaleText(win::LOCALE_SDECIMAL, ".");
    f.decimalSeparator = decimal.empty() ? '.' : decimal[0];
    f.shortDate = LocaleText(win::LOCALE_SSHORTDATE, f.shortDate);
    f.longTime = LocaleText(win::LOCALE_STIMEFORMAT, f.longTime);
    f.am = LocaleText(win::LOCALE_S1159, f.am);
    f.pm = LocaleText(win::LOCALE_S2359, f.pm);
    for (win::LCTYPE i = 0; i < 12; ++i) {
        f.monthNames[i] = LocaleText(win::LOCALE_SMONTHNAME1 + i, f.monthNames[i]);
        f.shortMonthNames[i] = LocaleText(win::LOCALE_SABBREVMONTHNAME1 + i, f.shortMonthNames[i]);
    }
    // Windows counts the day names from Monday.
    for (win::LCTYPE i = 0; i < 7; ++i) {
        const std::size_t day = (i + 1) % 7;
        f.dayNames[day] = LocaleText(win::LOCALE_SDAYNAME1 + i, f.dayNames[day]);
        f.shortDayNames[day] = LocaleText(win::LOCALE_SABBREVDAYNAME1 + i, f.shortDayNames[day]);
    }
    return f;
}

namespace {

std::string StatusWords(win::DWORD status, bool report) {
    struct Word {
        win::DWORD bit;
        const char* text;
        bool window;  // the job window shows it; reports show every word
    };
    static constexpr Word kWords[] = {
        {win::JOB_STATUS_ERROR, "Error ", true},
        {win::JOB_STATUS_PAUSED, "Paused ", true},
        {win::JOB_STATUS_DELETING, "Deleting ", true},
        {win::JOB_STATUS_SPOOLING, "Spooling ", true},
        {win::JOB_STATUS_PRINTING, "Printing ", true},
        {win::JOB_STATUS_OFFLINE, "Offline ", true},
        {win::JOB_STATUS_PAPEROUT, "Paperout ", true},
        {win::JOB_STATUS_PRINTED, "Printed ", true},
        {win::JOB_STATUS_BLOCKED_DEVQ, "Blocked ", false},
        {win::JOB_STATUS_USER_INTERVENTION, "User intervention required ", false},
    };
    std::string text;
    for (const Word& word : kWords) {
        if ((status & word.bit) && (word.window || report))
            text += word.text;
    }
    return text;
}

}  // namespace

std::string JobStatusText(win::DWORD status) {
    return StatusWords(status, false);
}

std::string JobStatusReportText(win::DWORD status) {
    return StatusWords(status, true);
}

std::string SizeText(win::DWORD bytes, char decimalSeparator) {
    // "%10.2f KB", rounded as printf rounds, but with a point whatever the C library's numeric
    // locale is (a host's locale must not stand in for the user's separator).
    char buffer[32];
    const std::to_chars_result end =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(bytes) / 1000.0,
                      std::chars_format::fixed, 2);
    std::string number(buffer, end.ptr);
    if (std::size_t point = number.find('.'); point != std::string::npos)
        number[point] = decimalSeparator;
    constexpr std::size_t kWidth = 10;
    if (number.size() < kWidth)
        number.insert(0, kWidth - number.size(), ' ');
    return number + " KB";
}

std::string FormatPicture(const std::string& picture, const win::SYSTEMTIME& t,
                          const TextFormats& formats) {
    if (!IsValidDateTime(t))
        return {};
    std::string out;
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {
            // Quoted literal; '' inside it is one quote.
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += picture[i++];
            }
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        const int n = static_cast<int>(run);
        switch (c) {
            case 'd':
                if (n <= 2)
                    AppendNumber(out, t.wDay, n);
                else if (n == 3)
                    out += formats.shortDayNames[DayOfWeek(t.wYear, t.wMonth, t.wDay)];
                else
                    out += formats.dayNames[DayOfWeek(t.wYear, t.wMonth, t.wDay)];
                break;
            case 'M':
                if (n <= 2)
                    AppendNumber(out, t.wMonth, n);
                else if (n == 3)
                    out += formats.shortMonthNames[t.wMonth - 1];
                else
                    out += formats.monthNames[t.wMonth - 1];
                break;
            case 'y':
                if (n <= 2)
                    AppendNumber(out, t.wYear % 100, n);
                else
                    AppendNumber(out, t.wYear, 4);
                break;
            case 'g':
                out += "A.D.";
                break;
            case 'h':
                AppendNumber(out, t.wHour % 12 == 0 ? 12 : t.wHour % 12, n >= 2 ? 2 : 1);
                break;
            case 'H':
                AppendNumber(out, t.wHour, n >= 2 ? 2 : 1);
                break;
            case 'm':
                AppendNumber(out, t.wMinute, n >= 2 ? 2 : 1);
                break;
            case 's':
                AppendNumber(out, t.wSecond, n >= 2 ? 2 : 1);
                break;
            case 't': {
                const std::string& marker = t.wHour < 12 ? formats.am : formats.pm;
                out += n == 1 ? marker.substr(0, 1) : marker;
                break;
            }
            default:
                out.append(run, c);
        }
        i += run;
    }
    return out;
}

std::string StartAtText(const win::SYSTEMTIME& submitted, const TextFormats& formats) {
    if (!IsValidDateTime(submitted))
        return {};
    std::string text = FormatPicture(formats.shortDate, submitted, formats);
    const bool midnight = submitted.wHour == 0 && submitted.wMinute == 0 &&
                          submitted.wSecond == 0 && submitted.wMilliseconds == 0;
    if (!midnight) {
        // Appended in two steps: GCC 12 warns falsely (-Wrestrict) on "literal" + string.
        text += ' ';
        text += FormatPicture(formats.longTime, submitted, formats);
    }
    return text;
}

JobCells BuildJobCells(const win::JOB_INFO_2A& job, const TextFormats& formats) {
    return {job.pMachineName,
            job.pPrinterName,
            job.pDocument,
            JobStatusText(job.Status),
            job.pUserName,
            SizeText(job.Size, formats.decimalSeparator),
            std::to_string(job.PagesPrinted),
            StartAtText(job.Submitted, formats)};
}

}  // namespace quellin::queue
