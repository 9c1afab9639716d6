// Reading an archive through any random-access byte source: the end record search, ZIP64
// end records, the central directory, the recovery scan, and decoding one entry's data.
// TUnZipper runs this over a file; tests and the fuzz target run it over memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "archive/zip_format.h"

namespace quellin::archive {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to out.size() bytes at `offset`; fewer only at the end of the data.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint64_t Size() const override { return data_.size(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    std::span<const std::uint8_t> data_;
};

struct ArchiveDirectory {
    TEndCentral End;
    std::vector<TZipEntryInfo> Entries;
    // The entries came from the recovery scan of local headers, not from the directory.
    bool Recovered = false;
};

// Reads the directory. An empty source is an archive without entries. Throws EIncompleteZip
// when there is no end record, EBadZipFile when neither the directory nor the recovery scan
// (from `scanStart`) yields entries.
ArchiveDirectory ReadDirectory(ByteSource& source, std::uint64_t scanStart = 0);

enum class EntryOutcome {
    Ok,
    // The data decoded but its CRC-32 or length differs from the entry's record.
    Corrupt,
    UnknownMethod,
    Encrypted,
};

// Working memory of ExtractEntryData. One kept across the entries of an archive is allocated
// (and paged in) once instead of once per entry.
class ExtractBuffers {
  public:
    // At least `size` bytes of each; what they held before is not kept.
    std::span<std::uint8_t> Input(std::size_t size) { return Take(input_, inputSize_, size); }
    std::span<std::uint8_t> Output(std::size_t size) { return Take(output_, outputSize_, size); }

  private:
    static std::span<std::uint8_t> Take(std::unique_ptr<std::uint8_t[]>& storage, std::size_t& have,
                                        std::size_t size);
    std::unique_ptr<std::uint8_t[]> input_;
    std::unique_ptr<std::uint8_t[]> output_;
    std::size_t inputSize_ = 0;
    std::size_t outputSize_ = 0;
};

// Decodes the entry's data (method 0 or 8) into `sink`, never more than the entry's recorded
// uncompressed size. Input is read in chunks of up to 256 KiB; output reaches the sink in
// pieces of up to 256 KiB. Throws EBadZipFile when the local header is missing,
// EFatalUnzipError when the data runs past the end of the source, and EZCompressionError when
// inflate rejects it. The sink may throw to abort. Without `buffers` the call uses its own.
using DataSink = std::function<void(std::span<const std::uint8_t>)>;
EntryOutcome ExtractEntryData(ByteSource& source, const TZipEntryInfo& entry, const DataSink& sink,
                              ExtractBuffers* buffers = nullptr);

// Where the entry's data starts, from its local header; throws EBadZipFile without one.
std::uint64_t EntryDataOffset(ByteSource& source, const TZipEntryInfo& entry,
                              std::uint16_t* localExtraLength = nullptr);

}  // namespace quellin::archive
