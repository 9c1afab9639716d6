// Move-only owners of zlib's raw deflate and inflate streams. Every zlib failure becomes
// EZCompressionError; the stream is ended by the destructor on every way out.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace quellin::archive {

// Raw deflate (window bits 15 without zlib header or trailer), memory level 8, default
// strategy.
class Deflater {
  public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Feeds `input` (all of it is consumed) and hands every filled output block to `sink`.
    // With `finish`, also flushes the final block.
    template <typename Sink>
    void Run(std::span<const std::uint8_t> input, bool finish, std::span<std::uint8_t> buffer,
             Sink&& sink) {
        z_.next_in = const_cast<Bytef*>(input.data());
        z_.avail_in = static_cast<uInt>(input.size());
        for (;;) {
            z_.next_out = buffer.data();
            z_.avail_out = static_cast<uInt>(buffer.size());
            const int rc = Step(finish ? Z_FINISH : Z_NO_FLUSH);
            const std::size_t produced = buffer.size() - z_.avail_out;
            if (produced > 0) {
                sink(buffer.first(produced));
            }
            if (finish ? rc == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0)) {
                return;
            }
        }
    }

  private:
    int Step(int flush);
    z_stream z_{};
};

// Raw inflate. Feed input with SetInput, then call Inflate until it needs more input or the
// stream ends.
class Inflater {
  public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void SetInput(std::span<const std::uint8_t> input);
    std::size_t AvailableInput() const { return z_.avail_in; }

    struct Step {
        std::size_t Produced = 0;
        bool StreamEnd = false;
    };
    // Inflates into `out`. Throws EZCompressionError on corrupt data.
    Step Inflate(std::span<std::uint8_t> out);

  private:
    z_stream z_{};
};

}  // namespace quellin::archive
