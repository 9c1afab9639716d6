#include "archive/archive_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "archive/crc32.h"
#include "archive/zip_errors.h"
#include "archive/zlib_stream.h"

namespace quellin::archive {
namespace {

// The least each buffer is given, so that small entries cost little memory.
constexpr std::size_t kMinBufferSize = 32768;
constexpr std::size_t kScanChunk = 65536;
// Input is read, and output gathers before the sink sees it, in pieces up to this large: each
// output piece is one write of the target file, and inflate runs its fast loop longer with more
// room to write into.
constexpr std::size_t kChunkSize = 262144;

bool ReadExact(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out) {
    return offset <= source.Size() && out.size() <= source.Size() - offset &&
           source.ReadAt(offset, out) == out.size();
}

std::vector<std::uint8_t> ReadBlock(ByteSource& source, std::uint64_t offset, std::size_t size) {
    std::vector<std::uint8_t> out(size);
    if (!ReadExact(source, offset, out)) {
        out.clear();
    }
    return out;
}

// Rebuilds the entry list from the local headers found from `start` on. Entries whose sizes
// follow their data (bit 3) can't be delimited and are passed over.
std::vector<TZipEntryInfo> ScanLocalHeaders(ByteSource& source, std::uint64_t start) {
    std::vector<TZipEntryInfo> entries;
    const std::uint64_t size = source.Size();
    std::vector<std::uint8_t> chunk(kScanChunk + 3);
    std::uint64_t pos = start;
    while (pos < size && size - pos >= kLocalHeaderSize) {
        const std::size_t got = source.ReadAt(pos, chunk);
        std::size_t hit = got;
        for (std::size_t i = 0; i + 4 <= got; ++i) {
            if (chunk[i] == 0x50 && chunk[i + 1] == 0x4B && chunk[i + 2] == 0x03 &&
                chunk[i + 3] == 0x04) {
                hit = i;
                break;
            }
        }
        if (hit == got) {
            if (got < 4) {
                break;
            }
            pos += got - 3;  // the signature may straddle the chunk boundary
            continue;
        }
        const std::uint64_t at = pos + hit;
        pos = at + 4;
        std::array<std::uint8_t, kLocalHeaderSize> raw{};
        if (!ReadExact(source, at, raw)) {
            break;
        }
        const auto h = DecodeLocalHeader(raw);
        if (!h || (h->Flags & kFlagDataDescriptor) != 0) {
            continue;
        }
        const std::uint64_t namesAt = at + kLocalHeaderSize;
        const auto names = ReadBlock(source, namesAt, std::size_t{h->NameLength} + h->ExtraLength);
        if (names.size() != std::size_t{h->NameLength} + h->ExtraLength) {
            continue;
        }
        TZipEntryInfo e;
        e.VersionNeeded = h->VersionNeeded;
        e.Flags = h->Flags;
        e.Method = h->Method;
        e.Crc32 = h->Crc32;
        e.CompressedSize = h->CompressedSize;
        e.UncompressedSize = h->UncompressedSize;
        e.NameLength = h->NameLength;
        e.LocalExtraLength = h->ExtraLength;
        e.LocalHeaderOffset = at;
        e.RawName.assign(names.begin(), names.begin() + h->NameLength);
        const std::string extra(names.begin() + h->NameLength, names.end());
        if (!ResolveZip64Extra(extra, &e.UncompressedSize, &e.CompressedSize, nullptr, nullptr)) {
            continue;
        }
        const std::uint64_t dataAt = namesAt + names.size();
        if (dataAt > size || e.CompressedSize > size - dataAt) {
            continue;
        }
        const std::uint32_t repaired =
            RepairDosDateTime(std::uint32_t{h->ModDate} << 16 | h->ModTime);
        e.ModDate = static_cast<std::uint16_t>(repaired >> 16);
        e.ModTime = static_cast<std::uint16_t>(repaired);
        SplitEntryName(DecodeEntryName(e.RawName, e.Flags, 0), &e.FolderName, &e.FileName);
        entries.push_back(std::move(e));
        pos = dataAt + entries.back().CompressedSize;
    }
    return entries;
}

}  // namespace

std::size_t MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset >= data_.size()) {
        return 0;
    }
    const std::size_t n = std::min<std::uint64_t>(out.size(), data_.size() - offset);
    if (n == 0) {
        return 0;  // memcpy must not see the null data of an empty span
    }
    std::memcpy(out.data(), data_.data() + offset, n);
    return n;
}

ArchiveDirectory ReadDirectory(ByteSource& source, std::uint64_t scanStart) {
    ArchiveDirectory dir;
    const std::uint64_t size = source.Size();
    if (size == 0) {
        return dir;
    }
    if (size < kEndRecordSize) {
        throw EIncompleteZip();
    }
    const std::size_t tailLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSearchSize));
    const std::uint64_t tailStart = size - tailLength;
    const auto tail = ReadBlock(source, tailStart, tailLength);
    const auto found = FindEndRecord(tail);
    if (!found) {
        throw EIncompleteZip();
    }
    const std::uint64_t endAt = tailStart + *found;
    dir.End = DecodeEndRecord(std::span(tail).subspan(*found));

    // The directory must lie before the records that describe it.
    std::uint64_t directoryLimit = endAt;
    if (endAt >= kZip64LocatorSize) {
        const auto locator = ReadBlock(source, endAt - kZip64LocatorSize, kZip64LocatorSize);
        if (const auto z64At = DecodeZip64Locator(locator)) {
            const auto record = ReadBlock(source, *z64At, kZip64EndSize);
            if (*z64At <= endAt - kZip64LocatorSize && ApplyZip64End(record, dir.End)) {
                directoryLimit = *z64At;
            }
        }
    }

    const TEndCentral& end = dir.End;
    const bool fits = end.CentralOffset <= directoryLimit &&
                      end.CentralSize <= directoryLimit - end.CentralOffset &&
                      end.TotalEntries <= end.CentralSize / kCentralHeaderSize;
    std::optional<ParseFailure> failure;
    if (fits) {
        const auto directory =
            ReadBlock(source, end.CentralOffset, static_cast<std::size_t>(end.CentralSize));
        failure = directory.size() == end.CentralSize
                      ? ParseCentralDirectory(directory, end.TotalEntries, dir.Entries)
                      : ParseFailure{"directory unreadable", 0};
    } else {
        failure = ParseFailure{"directory outside the file", 0};
    }
    if (failure) {
        dir.Entries = ScanLocalHeaders(source, scanStart);
        dir.Recovered = true;
        if (dir.Entries.empty()) {
            throw EBadZipFile();
        }
    }
    return dir;
}

std::uint64_t EntryDataOffset(ByteSource& source, const TZipEntryInfo& entry,
                              std::uint16_t* localExtraLength) {
    std::array<std::uint8_t, kLocalHeaderSize> raw{};
    if (!ReadExact(source, entry.LocalHeaderOffset, raw)) {
        throw EBadZipFile();
    }
    const auto h = DecodeLocalHeader(raw);
    if (!h) {
        throw EBadZipFile();
    }
    if (localExtraLength) {
        *localExtraLength = h->ExtraLength;
    }
    return entry.LocalHeaderOffset + kLocalHeaderSize + h->NameLength + h->ExtraLength;
}

std::span<std::uint8_t> ExtractBuffers::Take(std::unique_ptr<std::uint8_t[]>& storage,
                                             std::size_t& have, std::size_t size) {
    if (have < size) {
        // Uninitialised: every byte passed on is written into it first.
        storage = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        have = size;
    }
    return {storage.get(), size};
}

EntryOutcome ExtractEntryData(ByteSource& source, const TZipEntryInfo& entry, const DataSink& sink,
                              ExtractBuffers* buffers) {
    if ((entry.Flags & kFlagEncrypted) != 0) {
        return EntryOutcome::Encrypted;
    }
    if (entry.Method != kMethodStored && entry.Method != kMethodDeflated) {
        return EntryOutcome::UnknownMethod;
    }
    const std::uint64_t dataAt = EntryDataOffset(source, entry);
    const std::uint64_t size = source.Size();
    if (dataAt > size || entry.CompressedSize > size - dataAt) {
        throw EFatalUnzipError();
    }

    // The recorded size is a limit, never a promise: output stops there, and anything beyond
    // marks the entry as corrupt.
    const std::uint64_t limit = entry.UncompressedSize;
    std::uint64_t written = 0;
    bool overflow = false;
    std::uint32_t crc = 0;
    auto emit = [&](std::span<const std::uint8_t> data) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), limit - written));
        if (take > 0) {
            crc = Crc32(crc, data.first(take));
            sink(data.first(take));
            written += take;
        }
        if (take < data.size()) {
            overflow = true;
        }
    };

    ExtractBuffers own;
    ExtractBuffers& work = buffers ? *buffers : own;
    // Sized by the recorded sizes only within fixed bounds, so a lying header costs at most the
    // upper bound.
    const std::span<std::uint8_t> in = work.Input(static_cast<std::size_t>(
        std::clamp<std::uint64_t>(entry.CompressedSize, kMinBufferSize, kChunkSize)));
    std::uint64_t offset = dataAt;
    std::uint64_t remaining = entry.CompressedSize;
    if (entry.Method == kMethodStored) {
        while (remaining > 0 && !overflow) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining, in.size()));
            if (source.ReadAt(offset, in.first(want)) != want) {
                throw EFatalUnzipError();
            }
            emit(in.first(want));
            offset += want;
            remaining -= want;
        }
    } else {
        Inflater inflater;
        const std::span<std::uint8_t> out = work.Output(
            static_cast<std::size_t>(std::clamp<std::uint64_t>(limit, kMinBufferSize, kChunkSize)));
        // Output gathers over inflate calls and goes out in few large pieces; it goes out at
        // once when it passes the recorded size, so a lying entry is stopped as early as before.
        std::size_t filled = 0;
        for (;;) {
            if (inflater.AvailableInput() == 0 && remaining > 0) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(remaining, in.size()));
                if (source.ReadAt(offset, in.first(want)) != want) {
                    throw EFatalUnzipError();
                }
                inflater.SetInput(in.first(want));
                offset += want;
                remaining -= want;
            }
            const std::size_t before = inflater.AvailableInput();
            const auto step = inflater.Inflate(out.subspan(filled));
            filled += step.Produced;
            if (filled == out.size() || step.StreamEnd || filled > limit - written) {
                emit(out.first(filled));
                filled = 0;
            }
            if (step.StreamEnd || overflow) {
                break;
            }
            if (step.Produced == 0 && inflater.AvailableInput() == before) {
                // No progress: the compressed data ended inside the deflate stream.
                if (remaining == 0 && before == 0) {
                    throw EFatalUnzipError();
                }
                throw EZCompressionError();
            }
        }
    }
    if (overflow || written != limit || crc != entry.Crc32) {
        return EntryOutcome::Corrupt;
    }
    return EntryOutcome::Ok;
}

}  // namespace quellin::archive
