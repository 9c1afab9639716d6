#include "archive/archive_writer.h"

#include <vector>

#include "archive/crc32.h"
#include "archive/zlib_stream.h"

namespace quellin::archive {
namespace {

constexpr std::size_t kDeflateBufferSize = 65535;
constexpr std::size_t kStoreBufferSize = 32768;

}  // namespace

CompressResult CompressData(const DataReader& read, const DataSink& write, std::uint16_t method,
                            int level) {
    CompressResult result;
    std::uint32_t crc = 0;
    auto counted = [&](std::span<const std::uint8_t> out) {
        result.Compressed += out.size();
        write(out);
    };
    if (method == kMethodStored) {
        std::vector<std::uint8_t> buffer(kStoreBufferSize);
        while (const std::size_t n = read(buffer)) {
            crc = Crc32(crc, std::span(buffer).first(n));
            result.Uncompressed += n;
            counted(std::span(buffer).first(n));
        }
    } else {
        Deflater deflater(level);
        std::vector<std::uint8_t> in(kDeflateBufferSize);
        std::vector<std::uint8_t> out(kDeflateBufferSize);
        while (const std::size_t n = read(in)) {
            crc = Crc32(crc, std::span(in).first(n));
            result.Uncompressed += n;
            deflater.Run(std::span(in).first(n), false, out, counted);
        }
        deflater.Run({}, true, out, counted);
    }
    result.Crc32 = crc;
    return result;
}

}  // namespace quellin::archive
