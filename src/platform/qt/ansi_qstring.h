// The windows' side of the ANSI conversion: the one place where a program string becomes a
// QString and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace quellin::platform {

inline QString QStringFromAnsi(std::string_view ansi) {
    const std::u16string wide = AnsiToWide(ansi);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

// A character with no ANSI form stands as '?', which the logic refuses where it matters: a
// name Windows rejects, a number that does not parse.
inline std::string AnsiOfQString(const QString& text) {
    return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}

}  // namespace quellin::platform
