// The portable CRC-32: zlib's own, for processors without a carry-less multiply.
#include <zlib.h>

#include <algorithm>

#include "archive/crc32.h"

namespace quellin::archive {

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        // crc32() takes an unsigned int length.
        const std::size_t take = std::min<std::size_t>(data.size(), 1u << 30);
        crc = static_cast<std::uint32_t>(crc32(crc, data.data(), static_cast<uInt>(take)));
        data = data.subspan(take);
    }
    return crc;
}

}  // namespace quellin::archive
