#include "archive/zlib_stream.h"

#include "archive/zip_errors.h"

namespace quellin::archive {
namespace {

constexpr int kRawWindowBits = -15;
constexpr int kMemLevel = 8;

}  // namespace

Deflater::Deflater(int level) {
    if (deflateInit2(&z_, level, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw EZCompressionError();
    }
}

Deflater::~Deflater() {
    deflateEnd(&z_);
}

int Deflater::Step(int flush) {
    const int rc = deflate(&z_, flush);
    // Z_BUF_ERROR only means no progress was possible this call; the loop then ends.
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        throw EZCompressionError();
    }
    return rc;
}

Inflater::Inflater() {
    if (inflateInit2(&z_, kRawWindowBits) != Z_OK) {
        throw EZCompressionError();
    }
}

Inflater::~Inflater() {
    inflateEnd(&z_);
}

void Inflater::SetInput(std::span<const std::uint8_t> input) {
    z_.next_in = const_cast<Bytef*>(input.data());
    z_.avail_in = static_cast<uInt>(input.size());
}

Inflater::Step Inflater::Inflate(std::span<std::uint8_t> out) {
    z_.next_out = out.data();
    z_.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z_, Z_NO_FLUSH);
    Step step;
    step.Produced = out.size() - z_.avail_out;
    switch (rc) {
        case Z_OK:
        case Z_BUF_ERROR:  // needs more input or output space; the caller decides which
            break;
        case Z_STREAM_END:
            step.StreamEnd = true;
            break;
        default:  // Z_DATA_ERROR, Z_MEM_ERROR, Z_NEED_DICT, Z_STREAM_ERROR
            throw EZCompressionError();
    }
    return step;
}

}  // namespace quellin::archive
