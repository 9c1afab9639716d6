#include <vector>

#include "archive/crc32.h"
#include "platform/filesystem.h"
#include "platform/handle.h"

namespace quellin::archive {

std::optional<Fingerprint> FingerprintOfFile(const std::string& path) {
    win::UniqueFileHandle file(
        win::CreateFileA(path, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0));
    if (!file) {
        return std::nullopt;
    }
    return FingerprintOfHandle(file.get());
}

std::optional<Fingerprint> FingerprintOfHandle(win::HANDLE file) {
    if (!win::SetFilePointerEx(file, 0, nullptr, win::FILE_BEGIN)) {
        return std::nullopt;
    }
    Fingerprint print;
    std::vector<std::uint8_t> buffer(65536);
    win::DWORD read = 0;
    while (win::ReadFile(file, buffer.data(), static_cast<win::DWORD>(buffer.size()), &read) &&
           read > 0) {
        print.crc = Crc32(print.crc, std::span(buffer.data(), read));
        print.size += read;
    }
    return print;
}

}  // namespace quellin::archive
