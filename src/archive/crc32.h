// CRC-32 of the archive format (reflected polynomial 0xEDB88320, initial value and final
// inversion all ones), with zlib's crc32() semantics: Crc32(Crc32(c, a), b) is the CRC of a
// followed by b. The same value as zlib computes, faster where the processor allows it, since
// extraction checks every byte it writes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/types.h"

namespace quellin::archive {

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> data);

// What identifies a file's content in an archive entry.
struct Fingerprint {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

// Nothing when the file cannot be opened. A read error ends the data like the end of the file,
// as the entry written from it would end.
std::optional<Fingerprint> FingerprintOfFile(const std::string& path);
// The same of an open file, read from its start; nothing when it cannot be read at all.
std::optional<Fingerprint> FingerprintOfHandle(quellin::platform::HANDLE file);

}  // namespace quellin::archive
