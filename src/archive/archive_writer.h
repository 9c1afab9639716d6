// Compressing one entry's data: the deflate or stored stream with its CRC-32 and sizes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "archive/archive_reader.h"

namespace quellin::archive {

struct CompressResult {
    std::uint32_t Crc32 = 0;
    std::uint64_t Uncompressed = 0;
    std::uint64_t Compressed = 0;
};

// Returns the number of bytes read into the span; 0 at the end of the data.
using DataReader = std::function<std::size_t(std::span<std::uint8_t>)>;

// Method 8: raw deflate at `level`, reading 65535-byte chunks and writing through a
// 65535-byte buffer; the deflate output is kept even when larger than the input. Method 0:
// copies 32768-byte chunks. The CRC runs over the bytes as read.
CompressResult CompressData(const DataReader& read, const DataSink& write, std::uint16_t method,
                            int level);

}  // namespace quellin::archive
