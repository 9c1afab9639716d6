// Regional settings as Windows keeps them: the user's own choices under HKCU "Control
// Panel\International", and otherwise those of English (United States), the sandbox's locale.
#include <array>
#include <optional>

#include "platform/locale.h"
#include "platform/sim/registry_store.h"

namespace quellin::platform {

namespace {

constexpr const char* kInternationalKey = "HKCU\\Control Panel\\International";

constexpr std::array<const char*, 7> kDays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                              "Friday", "Saturday", "Sunday"};
constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};

// The value a user may override in the Regional settings, by its registry name.
std::optional<std::string> UserSetting(const char* name) {
    std::optional<sim::reg::Value> value = sim::reg::GetValue(kInternationalKey, name);
    if (!value)
        return std::nullopt;
    std::string text(value->data.begin(), value->data.end());
    return text.substr(0, text.find('\0'));
}

std::optional<std::string> LocaleText(LCTYPE type) {
    struct Setting {
        LCTYPE type;
        const char* name;
        const char* fallback;
    };
    static constexpr Setting kSettings[] = {
        {LOCALE_SDECIMAL, "sDecimal", "."},
        {LOCALE_SDATE, "sDate", "/"},
        {LOCALE_STIME, "sTime", ":"},
        {LOCALE_SSHORTDATE, "sShortDate", "M/d/yyyy"},
        {LOCALE_SLONGDATE, "sLongDate", "dddd, MMMM d, yyyy"},
        {LOCALE_S1159, "s1159", "AM"},
        {LOCALE_S2359, "s2359", "PM"},
        {LOCALE_STIMEFORMAT, "sTimeFormat", "h:mm:ss tt"},
    };
    for (const Setting& setting : kSettings) {
        if (setting.type == type)
            return UserSetting(setting.name).value_or(setting.fallback);
    }
    if (type >= LOCALE_SDAYNAME1 && type < LOCALE_SDAYNAME1 + 7)
        return kDays[type - LOCALE_SDAYNAME1];
    if (type >= LOCALE_SABBREVDAYNAME1 && type < LOCALE_SABBREVDAYNAME1 + 7)
        return std::string(kDays[type - LOCALE_SABBREVDAYNAME1]).substr(0, 3);
    if (type >= LOCALE_SMONTHNAME1 && type < LOCALE_SMONTHNAME1 + 12)
        return kMonths[type - LOCALE_SMONTHNAME1];
    if (type >= LOCALE_SABBREVMONTHNAME1 && type < LOCALE_SABBREVMONTHNAME1 + 12)
        return std::string(kMonths[type - LOCALE_SABBREVMONTHNAME1]).substr(0, 3);
    return std::nullopt;
}

}  // namespace

int GetLocaleInfoA(LCID, LCTYPE type, std::string* data, int cchData) {
    std::optional<std::string> text = LocaleText(type);
    if (!text) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const int length = static_cast<int>(text->size()) + 1;
    if (cchData == 0)
        return length;
    if (cchData < length || !data) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    *data = std::move(*text);
    SetLastError(ERROR_SUCCESS);
    return length;
}

}  // namespace quellin::platform
