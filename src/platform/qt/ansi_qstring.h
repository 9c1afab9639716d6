// The windows' side of the ANSI conversion: the one place where a program string becomes a
// QString and back.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace win {

inline QString QStringFromAnsi(std::string_view ansi) {
    const std::u16string wide = AnsiToWide(ansi);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

// Nothing when the text has a character with no exact ANSI form; the caller refuses it.
inline std::optional<std::string> AnsiFromQString(const QString& text) {
    bool exact = true;
    std::string ansi =
        WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                       static_cast<std::size_t>(text.size())),
                   &exact);
    if (!exact)
        return std::nullopt;
    return ansi;
}

// For texts that came from the program (captions it set, items it listed): a character the
// user could not have added stands as '?'.
inline std::string AnsiOfQString(const QString& text) {
    return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}

}  // namespace win
