// A stream over standard output or error that takes the program's ANSI text and writes it in
// the reader's encoding (win::WriteStandardText), a line at a time so that a character is
// never split.
#pragma once

#include <cstdio>
#include <streambuf>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace quellin::tools {

class StandardTextBuf final : public std::streambuf {
  public:
    explicit StandardTextBuf(int stream) : stream_(stream) {}
    ~StandardTextBuf() override { sync(); }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (c == '\n')
            sync();
        return c;
    }
    int sync() override {
        if (!pending_.empty())
            win::WriteStandardText(stream_, pending_);
        pending_.clear();
        return 0;
    }

  private:
    int stream_;
    std::string pending_;
};

// Why a host argument (UTF-8) was refused, in ANSI: the argument with '?' for what the code
// page lacks, and the first such character by its code point.
inline std::string RefusedArgumentText(std::string_view utf8) {
    const std::u16string wide = win::Utf8ToWide(utf8);
    std::string missing = "a character";
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size();
        const std::u16string_view one(wide.data() + i, pair ? 2 : 1);
        bool exact = true;
        win::WideToAnsi(one, &exact);
        if (!exact) {
            const char32_t code =
                pair ? 0x10000 + ((one[0] - 0xD800) << 10) + (one[1] - 0xDC00) : one[0];
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(code));
            missing = buffer;
            break;
        }
        i += pair ? 1 : 0;
    }
    // Appended in steps: GCC 12 warns falsely (-Wrestrict) on a literal prepended at -O3.
    std::string text = "\"";
    text += win::Utf8ToAnsi(utf8);
    text += "\" has ";
    text += missing;
    text += ", which the system's code page (ANSI) cannot hold";
    return text;
}

}  // namespace quellin::tools
