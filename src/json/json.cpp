#include "json/json.h"

#include <cstdio>

#include "platform/text.h"

namespace quellin::json {

std::string QuoteWide(std::u16string_view wide) {
    std::string out = "\"";
    for (char16_t c : wide) {
        switch (c) {
            case u'"':
                out += "\\\"";
                break;
            case u'\\':
                out += "\\\\";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string QuoteAnsi(std::string_view ansi) {
    return QuoteWide(platform::AnsiToWide(ansi));
}

std::string QuoteUtf8(std::string_view utf8) {
    return QuoteWide(platform::Utf8ToWide(utf8));
}

}  // namespace quellin::json
