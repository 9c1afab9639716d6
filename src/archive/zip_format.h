// The ZIP records the component reads and writes, DOS dates, entry names, and the directory
// parsing that needs no file: everything here works on byte buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/byte_cursor.h"
#include "platform/types.h"

namespace quellin::archive {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
// The end record plus the longest possible archive comment.
inline constexpr std::size_t kEndSearchSize = 65535 + kEndRecordSize;

inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
inline constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
inline constexpr std::uint16_t kMax16 = 0xFFFF;

inline constexpr std::uint16_t kVersionNeeded = 20;
inline constexpr std::uint16_t kVersionNeededZip64 = 45;
inline constexpr std::uint16_t kVersionMadeBy = 0x002D;
inline constexpr std::uint16_t kVersionMadeByUtf8 = 0x0B2D;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagMaximum = 0x0002;
inline constexpr std::uint16_t kFlagFast = 0x0004;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

// One entry of an archive, as its central directory header (or, after a recovery scan, its
// local header) describes it. Sizes and the offset are the true values, ZIP64 resolved.
struct TZipEntryInfo {
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t ModTime = 0;
    std::uint16_t ModDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t LocalExtraLength = 0;
    std::uint16_t CentralExtraLength = 0;
    std::uint16_t CommentLength = 0;
    std::uint32_t DiskStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint64_t LocalHeaderOffset = 0;
    // Windows character set, backslashes; the folder part keeps its trailing backslash so
    // that FolderName + FileName gives the whole name back.
    std::string FileName;
    std::string FolderName;
    std::string Comment;
    // The name and central extra field as stored, for rewriting a copied entry unchanged
    // (the extra field without its ZIP64 record, which is rebuilt for the new offsets).
    std::string RawName;
    std::string CentralExtra;

    std::string FullName() const { return FolderName + FileName; }
    std::uint32_t DosDateTime() const { return std::uint32_t{ModDate} << 16 | ModTime; }
};

struct TEndCentral {
    std::uint16_t DiskNumber = 0;
    std::uint16_t CentralDisk = 0;
    std::uint64_t EntriesOnDisk = 0;
    std::uint64_t TotalEntries = 0;
    std::uint64_t CentralSize = 0;
    std::uint64_t CentralOffset = 0;
    std::string Comment;
    bool Zip64 = false;
};

struct LocalHeader {
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t ModTime = 0;
    std::uint16_t ModDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
};

void EncodeLocalHeader(const LocalHeader& h, ByteWriter& out);
std::optional<LocalHeader> DecodeLocalHeader(std::span<const std::uint8_t> bytes);

// The central header of `e` with its name, its central extra field (plus a ZIP64 record when
// a size or the offset reaches the classic limit) and its comment.
void EncodeCentralHeader(const TZipEntryInfo& e, ByteWriter& out);
// True when the entry's sizes or offset need a ZIP64 record in the central directory.
bool NeedsZip64(const TZipEntryInfo& e);

// The end record, preceded by a ZIP64 end record and locator when the count, size or offset
// exceed the classic fields. `endOffset` is where these records start in the file.
void EncodeEndRecords(const TEndCentral& end, std::uint64_t endOffset, ByteWriter& out);

// Position of the end record's signature within `tail` (the last bytes of the file),
// searching backwards from kEndRecordSize before its end; the match nearest to the end wins.
std::optional<std::size_t> FindEndRecord(std::span<const std::uint8_t> tail);
// Parses the end record at the start of `bytes` (the comment is cut to what's present).
TEndCentral DecodeEndRecord(std::span<const std::uint8_t> bytes);
// The ZIP64 end record's offset from a locator; nullopt when `bytes` is no locator.
std::optional<std::uint64_t> DecodeZip64Locator(std::span<const std::uint8_t> bytes);
// Takes the counts, size and offset from a ZIP64 end record; false when it is none.
bool ApplyZip64End(std::span<const std::uint8_t> bytes, TEndCentral& end);

// Why a directory couldn't be read, with the byte offset within the directory.
struct ParseFailure {
    std::string Reason;
    std::size_t Offset = 0;
};

// Reads `count` central headers from `directory`. On failure `entries` holds those read.
std::optional<ParseFailure> ParseCentralDirectory(std::span<const std::uint8_t> directory,
                                                  std::uint64_t count,
                                                  std::vector<TZipEntryInfo>& entries);

// Fills sizes from a ZIP64 extra record where the classic fields hold their limit values.
// `extra` is a whole extra field; returns false when a needed value is missing.
bool ResolveZip64Extra(std::string_view extra, std::uint64_t* uncompressed,
                       std::uint64_t* compressed, std::uint64_t* offset, std::uint32_t* disk);
// The extra field without its ZIP64 record.
std::string StripZip64Extra(std::string_view extra);
// A ZIP64 extra record holding the given values.
std::string Zip64Extra(std::span<const std::uint64_t> values);

// ---- Names

// The name a file is stored under: with `storePaths`, its folder part (drive and leading
// backslashes removed) and file name; else the bare file name. Backslashes become slashes.
std::string EntryNameFor(std::string_view path, bool storePaths);

struct StoredName {
    std::string Bytes;
    bool Utf8 = false;
};
// OEM bytes when that conversion is lossless, else UTF-8.
StoredName EncodeEntryName(std::string_view ansiName);
// The stored name in the Windows character set, slashes turned to backslashes.
std::string DecodeEntryName(std::string_view raw, std::uint16_t flags, std::uint16_t versionMadeBy);
// Splits at the last backslash; the folder part keeps it.
void SplitEntryName(const std::string& name, std::string* folder, std::string* file);

// True when `name` is usable as one file-name component inside the target folder: not
// empty, not "." or "..", no drive or stream colon, no slash, backslash, wildcard, control
// character or trailing dot or space, and not a reserved device name ("CON", "lpt1.txt").
bool IsSafeFileName(std::string_view name);

// Case-insensitive wildcard match with '*' and '?', as the component's name patterns use.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// ---- Dates

// Date in the high 16 bits, time in the low 16 bits.
std::uint32_t SystemTimeToDosDateTime(const win::SYSTEMTIME& t);
// Fixes impossible fields so that the value names a real moment (see the .cpp).
std::uint32_t RepairDosDateTime(std::uint32_t dosDateTime);
// The repaired value as a calendar time.
win::SYSTEMTIME DosDateTimeToSystemTime(std::uint32_t dosDateTime);

// ---- Writing rules

std::uint16_t FlagsForLevel(int level);

}  // namespace quellin::archive
