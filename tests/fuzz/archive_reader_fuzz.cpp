// libFuzzer target for the archive reader: the end record search, ZIP64 records, the central
// directory, the recovery scan, name decoding and entry decoding, all over the input bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "archive/archive_reader.h"
#include "archive/zip_errors.h"

using namespace quellin;

using namespace quellin::archive;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source(std::span<const std::uint8_t>(data, size));
    try {
        const ArchiveDirectory dir = ReadDirectory(source);
        std::size_t examined = 0;
        for (const auto& entry : dir.Entries) {
            if (++examined > 64) {
                break;
            }
            IsSafeFileName(entry.FileName);
            std::uint64_t written = 0;
            try {
                ExtractEntryData(source, entry, [&](std::span<const std::uint8_t> chunk) {
                    written += chunk.size();
                    // The reader must never hand out more than the entry's recorded size.
                    if (written > entry.UncompressedSize) {
                        __builtin_trap();
                    }
                });
            } catch (const EZipperError&) {
            }
        }
    } catch (const EZipperError&) {
    }
    return 0;
}
