#include "archive/decode_ahead.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace quellin::archive {

std::size_t LockedSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::lock_guard lock(mutex_);
    return source_.ReadAt(offset, out);
}

DecodeAhead::DecodeAhead(ByteSource& source, const std::vector<TZipEntryInfo>& entries,
                         std::vector<bool> wanted)
    : source_(source), entries_(entries), wanted_(std::move(wanted)) {
    wanted_.resize(entries_.size(), false);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const TZipEntryInfo& e = entries_[i];
        wanted_[i] = wanted_[i] && !e.FileName.empty() && e.UncompressedSize <= kMaxSize &&
                     (e.Method == kMethodStored || e.Method == kMethodDeflated) &&
                     (e.Flags & kFlagEncrypted) == 0;
    }
    if (std::count(wanted_.begin(), wanted_.end(), true) < 2) {
        return;  // nothing to overlap
    }
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No second thread: the loop decodes everything itself.
    }
}

DecodeAhead::~DecodeAhead() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

std::optional<DecodeAhead::Decoded> DecodeAhead::Take(std::size_t index) {
    if (!worker_.joinable()) {
        return std::nullopt;
    }
    std::unique_lock lock(mutex_);
    // What the loop passed over is no longer needed.
    done_.erase(done_.begin(), done_.lower_bound(index));
    if (next_ && *next_ <= index) {
        next_.reset();
    }
    changed_.wait(lock, [&] { return busy_ != index; });
    if (auto it = done_.find(index); it != done_.end()) {
        Decoded decoded = std::move(it->second);
        done_.erase(it);
        return decoded;
    }
    for (std::size_t i = index + 1; i < wanted_.size(); ++i) {
        if (wanted_[i]) {
            next_ = i;
            break;
        }
    }
    lock.unlock();
    changed_.notify_all();
    return std::nullopt;
}

void DecodeAhead::Run() {
    ExtractBuffers buffers;
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || next_; });
        if (stop_) {
            return;
        }
        const std::size_t index = *next_;
        next_.reset();
        busy_ = index;
        lock.unlock();

        std::optional<Decoded> decoded(std::in_place);
        try {
            const TZipEntryInfo& entry = entries_[index];
            decoded->Data.reserve(static_cast<std::size_t>(entry.UncompressedSize));
            decoded->Outcome = ExtractEntryData(
                source_, entry,
                [&](std::span<const std::uint8_t> data) {
                    decoded->Data.insert(decoded->Data.end(), data.begin(), data.end());
                },
                &buffers);
        } catch (const std::bad_alloc&) {
            decoded.reset();  // short of memory here: the loop decodes it in pieces itself
        } catch (...) {
            decoded->Failure = std::current_exception();
        }

        lock.lock();
        busy_.reset();
        if (decoded) {
            done_[index] = std::move(*decoded);
        }
        lock.unlock();
        changed_.notify_all();
    }
}

}  // namespace quellin::archive
