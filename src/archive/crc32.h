// CRC-32 of the archive format (reflected polynomial 0xEDB88320, initial value and final
// inversion all ones), with zlib's crc32() semantics: Crc32(Crc32(c, a), b) is the CRC of a
// followed by b. The same value as zlib computes, faster where the processor allows it, since
// extraction checks every byte it writes.
#pragma once

#include <cstdint>
#include <span>

namespace quellin::archive {

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> data);

}  // namespace quellin::archive
