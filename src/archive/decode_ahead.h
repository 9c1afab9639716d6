// Decodes, on a second thread and into memory, the entry to extract after the one the
// extraction loop decodes itself, so that two processors inflate two files at once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "archive/archive_reader.h"

namespace quellin::archive {

// Serialises the reads of a source that two threads share.
class LockedSource : public ByteSource {
  public:
    explicit LockedSource(ByteSource& source) : source_(source) {}
    std::uint64_t Size() const override { return source_.Size(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    ByteSource& source_;
    std::mutex mutex_;
};

// Only memory is touched on the second thread. Every decision and every file stays with the
// loop, in order, and an entry decoded ahead that the loop then passes over is dropped, so the
// result is the loop's own.
class DecodeAhead {
  public:
    struct Decoded {
        EntryOutcome Outcome = EntryOutcome::Ok;
        std::vector<std::uint8_t> Data;
        std::exception_ptr Failure;  // what decoding it threw
    };
    // Entries at most this large are decoded ahead; larger ones only by the loop, in pieces.
    static constexpr std::uint64_t kMaxSize = 16 * 1024 * 1024;

    // `wanted[i]`: entry i may be extracted. Without a second thread every Take is empty.
    DecodeAhead(ByteSource& source, const std::vector<TZipEntryInfo>& entries,
                std::vector<bool> wanted);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // For the entry the loop is about to extract, in increasing order: its data decoded
    // ahead (waiting for it when needed), or nothing, and the loop decodes it itself while
    // the next wanted entry is decoded here.
    std::optional<Decoded> Take(std::size_t index);

  private:
    void Run();

    ByteSource& source_;
    const std::vector<TZipEntryInfo>& entries_;
    std::vector<bool> wanted_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::size_t> next_;  // to decode
    std::optional<std::size_t> busy_;  // being decoded
    std::map<std::size_t, Decoded> done_;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace quellin::archive
