// The user's regional settings: the texts GetLocaleInfoA gives for the decimal separator, the
// date and time pictures and the names of months and days.
#pragma once

#include <string>

#include "platform/types.h"

namespace quellin::platform {

using LCID = DWORD;
using LCTYPE = DWORD;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;

inline constexpr LCTYPE LOCALE_SDECIMAL = 0x0E;
inline constexpr LCTYPE LOCALE_SDATE = 0x1D;
inline constexpr LCTYPE LOCALE_STIME = 0x1E;
inline constexpr LCTYPE LOCALE_SSHORTDATE = 0x1F;
inline constexpr LCTYPE LOCALE_SLONGDATE = 0x20;
inline constexpr LCTYPE LOCALE_S1159 = 0x28;
inline constexpr LCTYPE LOCALE_S2359 = 0x29;
inline constexpr LCTYPE LOCALE_SDAYNAME1 = 0x2A;          // Monday; ...7 is Sunday
inline constexpr LCTYPE LOCALE_SABBREVDAYNAME1 = 0x31;    // Mon
inline constexpr LCTYPE LOCALE_SMONTHNAME1 = 0x38;        // January; ...12 at 0x43
inline constexpr LCTYPE LOCALE_SABBREVMONTHNAME1 = 0x44;  // Jan; ...12 at 0x4F
inline constexpr LCTYPE LOCALE_STIMEFORMAT = 0x1003;

// Returns the text's length in characters with its terminating zero. With `cchData` 0 it only
// reports that length; a smaller nonzero `cchData` fails (0) with ERROR_INSUFFICIENT_BUFFER.
// An unknown type fails with ERROR_INVALID_FLAGS.
int GetLocaleInfoA(LCID locale, LCTYPE type, std::string* data, int cchData);

inline constexpr DWORD ERROR_INVALID_FLAGS = 1004;

}  // namespace quellin::platform
