#include <vector>

#include "archive/crc32.h"
#include "platform/filesystem.h"
#include "platform/handle.h"

namespace quellin::archive {

std::optional<Fingerprint> FingerprintOfFile(const std::string& path) {
    platform::UniqueFileHandle file(platform::CreateFileA(
        path, platform::GENERIC_READ, platform::FILE_SHARE_READ, platform::OPEN_EXISTING, 0));
    if (!file) {
        return std::nullopt;
    }
    Fingerprint print;
    std::vector<std::uint8_t> buffer(65536);
    platform::DWORD read = 0;
    while (platform::ReadFile(file.get(), buffer.data(),
                              static_cast<platform::DWORD>(buffer.size()), &read) &&
           read > 0) {
        print.crc = Crc32(print.crc, std::span(buffer.data(), read));
        print.size += read;
    }
    return print;
}

}  // namespace quellin::archive
