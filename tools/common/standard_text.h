// A stream over standard output or error that takes the program's ANSI text and writes it in
// the reader's encoding (win::WriteStandardText), a line at a time so that a character is
// never split.
#pragma once

#include <streambuf>
#include <string>

#include "platform/text.h"

namespace tools {

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

}  // namespace tools
