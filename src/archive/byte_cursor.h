// Little-endian reading and writing over byte buffers, for the archive's fixed-size records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quellin::archive {

// Reads through a byte span. A read past the end returns zero bytes and sets a failure flag
// that stays set, so a record is parsed straight through and checked once at the end.
class ByteCursor {
  public:
    explicit ByteCursor(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Take(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Take(4)); }
    std::uint64_t U64() { return Take(8); }
    // The next `length` bytes; empty (and failed) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t length) {
        if (!Fits(length)) {
            return {};
        }
        auto out = data_.subspan(pos_, length);
        pos_ += length;
        return out;
    }
    std::string String(std::size_t length) {
        auto bytes = Bytes(length);
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
    void Skip(std::size_t length) { Bytes(length); }

    bool Failed() const { return failed_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return failed_ ? 0 : data_.size() - pos_; }

  private:
    bool Fits(std::size_t length) {
        // Written as a subtraction so that a huge length can't wrap the sum around.
        if (failed_ || length > data_.size() - pos_) {
            failed_ = true;
            return false;
        }
        return true;
    }
    std::uint64_t Take(std::size_t width) {
        if (!Fits(width)) {
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value |= std::uint64_t{data_[pos_ + i]} << (8 * i);
        }
        pos_ += width;
        return value;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

class ByteWriter {
  public:
    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16(std::uint16_t v) { Put(v, 2); }
    void U32(std::uint32_t v) { Put(v, 4); }
    void U64(std::uint64_t v) { Put(v, 8); }
    void Bytes(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
    void Bytes(std::span<const std::uint8_t> s) { out_.insert(out_.end(), s.begin(), s.end()); }

    const std::vector<std::uint8_t>& Data() const { return out_; }
    std::vector<std::uint8_t>& Data() { return out_; }
    std::size_t Size() const { return out_.size(); }

  private:
    void Put(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) {
            out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    std::vector<std::uint8_t> out_;
};

}  // namespace quellin::archive
