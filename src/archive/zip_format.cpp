#include "archive/zip_format.h"

#include <algorithm>
#include <array>

#include "archive/codepage.h"
#include "platform/text.h"

namespace quellin::archive {
namespace {

std::span<const std::uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

void EncodeLocalHeader(const LocalHeader& h, ByteWriter& out) {
    out.U32(kLocalHeaderSignature);
    out.U16(h.VersionNeeded);
    out.U16(h.Flags);
    out.U16(h.Method);
    out.U16(h.ModTime);
    out.U16(h.ModDate);
    out.U32(h.Crc32);
    out.U32(h.CompressedSize);
    out.U32(h.UncompressedSize);
    out.U16(h.NameLength);
    out.U16(h.ExtraLength);
}

std::optional<LocalHeader> DecodeLocalHeader(std::span<const std::uint8_t> bytes) {
    ByteCursor c(bytes);
    if (c.U32() != kLocalHeaderSignature) {
        return std::nullopt;
    }
    LocalHeader h;
    h.VersionNeeded = c.U16();
    h.Flags = c.U16();
    h.Method = c.U16();
    h.ModTime = c.U16();
    h.ModDate = c.U16();
    h.Crc32 = c.U32();
    h.CompressedSize = c.U32();
    h.UncompressedSize = c.U32();
    h.NameLength = c.U16();
    h.ExtraLength = c.U16();
    if (c.Failed()) {
        return std::nullopt;
    }
    return h;
}

bool NeedsZip64(const TZipEntryInfo& e) {
    return e.UncompressedSize >= kMax32 || e.CompressedSize >= kMax32 ||
           e.LocalHeaderOffset >= kMax32;
}

std::string Zip64Extra(std::span<const std::uint64_t> values) {
    ByteWriter w;
    w.U16(kZip64ExtraId);
    w.U16(static_cast<std::uint16_t>(values.size() * 8));
    for (std::uint64_t v : values) {
        w.U64(v);
    }
    return {w.Data().begin(), w.Data().end()};
}

void EncodeCentralHeader(const TZipEntryInfo& e, ByteWriter& out) {
    std::string extra;
    std::uint16_t versionNeeded = e.VersionNeeded;
    if (NeedsZip64(e)) {
        // Only the fields that overflow go into the record, in the order the format fixes.
        std::vector<std::uint64_t> values;
        if (e.UncompressedSize >= kMax32) {
            values.push_back(e.UncompressedSize);
        }
        if (e.CompressedSize >= kMax32) {
            values.push_back(e.CompressedSize);
        }
        if (e.LocalHeaderOffset >= kMax32) {
            values.push_back(e.LocalHeaderOffset);
        }
        extra = Zip64Extra(values);
        versionNeeded = std::max(versionNeeded, kVersionNeededZip64);
    }
    extra += e.CentralExtra;
    const std::string_view comment(e.Comment.data(),
                                   std::min<std::size_t>(e.Comment.size(), kMax16));
    const std::string_view extraView(extra.data(), std::min<std::size_t>(extra.size(), kMax16));

    out.U32(kCentralHeaderSignature);
    out.U16(e.VersionMadeBy);
    out.U16(versionNeeded);
    out.U16(e.Flags);
    out.U16(e.Method);
    out.U16(e.ModTime);
    out.U16(e.ModDate);
    out.U32(e.Crc32);
    out.U32(Clamp32(e.CompressedSize));
    out.U32(Clamp32(e.UncompressedSize));
    out.U16(static_cast<std::uint16_t>(e.RawName.size()));
    out.U16(static_cast<std::uint16_t>(extraView.size()));
    out.U16(static_cast<std::uint16_t>(comment.size()));
    out.U16(0);  // disk number start: never spanned
    out.U16(e.InternalAttributes);
    out.U32(e.ExternalAttributes);
    out.U32(Clamp32(e.LocalHeaderOffset));
    out.Bytes(e.RawName);
    out.Bytes(extraView);
    out.Bytes(comment);
}

void EncodeEndRecords(const TEndCentral& end, std::uint64_t endOffset, ByteWriter& out) {
    const bool zip64 =
        end.TotalEntries >= kMax16 || end.CentralSize >= kMax32 || end.CentralOffset >= kMax32;
    if (zip64) {
        out.U32(kZip64EndSignature);
        out.U64(kZip64EndSize - 12);  // the record's size excludes its first 12 bytes
        out.U16(kVersionMadeBy);
        out.U16(kVersionNeededZip64);
        out.U32(0);
        out.U32(0);
        out.U64(end.TotalEntries);
        out.U64(end.TotalEntries);
        out.U64(end.CentralSize);
        out.U64(end.CentralOffset);
        out.U32(kZip64LocatorSignature);
        out.U32(0);
        out.U64(endOffset);
        out.U32(1);
    }
    const auto count =
        static_cast<std::uint16_t>(std::min<std::uint64_t>(end.TotalEntries, kMax16));
    const std::string_view comment(end.Comment.data(),
                                   std::min<std::size_t>(end.Comment.size(), kMax16));
    out.U32(kEndRecordSignature);
    out.U16(0);
    out.U16(0);
    out.U16(count);
    out.U16(count);
    out.U32(Clamp32(end.CentralSize));
    out.U32(Clamp32(end.CentralOffset));
    out.U16(static_cast<std::uint16_t>(comment.size()));
    out.Bytes(comment);
}

std::optional<std::size_t> FindEndRecord(std::span<const std::uint8_t> tail) {
    if (tail.size() < kEndRecordSize) {
        return std::nullopt;
    }
    for (std::size_t pos = tail.size() - kEndRecordSize + 1; pos-- > 0;) {
        if (tail[pos] == 0x50 && tail[pos + 1] == 0x4B && tail[pos + 2] == 0x05 &&
            tail[pos + 3] == 0x06) {
            return pos;
        }
    }
    return std::nullopt;
}

TEndCentral DecodeEndRecord(std::span<const std::uint8_t> bytes) {
    ByteCursor c(bytes);
    TEndCentral end;
    c.U32();
    end.DiskNumber = c.U16();
    end.CentralDisk = c.U16();
    end.EntriesOnDisk = c.U16();
    end.TotalEntries = c.U16();
    end.CentralSize = c.U32();
    end.CentralOffset = c.U32();
    const std::uint16_t commentLength = c.U16();
    // A comment that runs past the end of the file is kept as far as it goes.
    end.Comment = c.String(std::min<std::size_t>(commentLength, c.Remaining()));
    return end;
}

std::optional<std::uint64_t> DecodeZip64Locator(std::span<const std::uint8_t> bytes) {
    ByteCursor c(bytes);
    if (c.U32() != kZip64LocatorSignature) {
        return std::nullopt;
    }
    c.U32();
    const std::uint64_t offset = c.U64();
    if (c.Failed()) {
        return std::nullopt;
    }
    return offset;
}

bool ApplyZip64End(std::span<const std::uint8_t> bytes, TEndCentral& end) {
    ByteCursor c(bytes);
    if (c.U32() != kZip64EndSignature) {
        return false;
    }
    c.U64();  // record size
    c.U16();  // version made by
    c.U16();  // version needed
    c.U32();  // this disk
    c.U32();  // directory's disk
    const std::uint64_t onDisk = c.U64();
    const std::uint64_t total = c.U64();
    const std::uint64_t size = c.U64();
    const std::uint64_t offset = c.U64();
    if (c.Failed()) {
        return false;
    }
    end.EntriesOnDisk = onDisk;
    end.TotalEntries = total;
    end.CentralSize = size;
    end.CentralOffset = offset;
    end.Zip64 = true;
    return true;
}

bool ResolveZip64Extra(std::string_view extra, std::uint64_t* uncompressed,
                       std::uint64_t* compressed, std::uint64_t* offset, std::uint32_t* disk) {
    const bool wantU = uncompressed && *uncompressed == kMax32;
    const bool wantC = compressed && *compressed == kMax32;
    const bool wantO = offset && *offset == kMax32;
    const bool wantD = disk && *disk == kMax16;
    if (!wantU && !wantC && !wantO && !wantD) {
        return true;
    }
    ByteCursor c(AsBytes(extra));
    while (c.Remaining() >= 4) {
        const std::uint16_t id = c.U16();
        const std::uint16_t size = c.U16();
        auto data = c.Bytes(size);
        if (c.Failed()) {
            break;
        }
        if (id != kZip64ExtraId) {
            continue;
        }
        ByteCursor z(data);
        if (wantU) {
            *uncompressed = z.U64();
        }
        if (wantC) {
            *compressed = z.U64();
        }
        if (wantO) {
            *offset = z.U64();
        }
        if (wantD) {
            *disk = z.U32();
        }
        return !z.Failed();
    }
    return false;
}

std::string StripZip64Extra(std::string_view extra) {
    std::string out;
    ByteCursor c(AsBytes(extra));
    while (c.Remaining() >= 4) {
        const std::size_t start = c.Position();
        const std::uint16_t id = c.U16();
        const std::uint16_t size = c.U16();
        c.Skip(size);
        if (c.Failed()) {
            // A malformed tail is kept as it was; it is not ours to repair.
            out.append(extra.substr(start));
            return out;
        }
        if (id != kZip64ExtraId) {
            out.append(extra.substr(start, 4 + std::size_t{size}));
        }
    }
    out.append(extra.substr(c.Position()));
    return out;
}

std::optional<ParseFailure> ParseCentralDirectory(std::span<const std::uint8_t> directory,
                                                  std::uint64_t count,
                                                  std::vector<TZipEntryInfo>& entries) {
    ByteCursor c(directory);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t at = c.Position();
        if (c.Remaining() < kCentralHeaderSize) {
            return ParseFailure{"central header " + std::to_string(i) + " runs past the directory",
                                at};
        }
        if (c.U32() != kCentralHeaderSignature) {
            return ParseFailure{"central header " + std::to_string(i) + " has no signature", at};
        }
        TZipEntryInfo e;
        e.VersionMadeBy = c.U16();
        e.VersionNeeded = c.U16();
        e.Flags = c.U16();
        e.Method = c.U16();
        e.ModTime = c.U16();
        e.ModDate = c.U16();
        e.Crc32 = c.U32();
        e.CompressedSize = c.U32();
        e.UncompressedSize = c.U32();
        e.NameLength = c.U16();
        e.CentralExtraLength = c.U16();
        e.CommentLength = c.U16();
        e.DiskStart = c.U16();
        e.InternalAttributes = c.U16();
        e.ExternalAttributes = c.U32();
        e.LocalHeaderOffset = c.U32();
        e.RawName = c.String(e.NameLength);
        const std::string extra = c.String(e.CentralExtraLength);
        e.Comment = c.String(e.CommentLength);
        if (c.Failed()) {
            return ParseFailure{"central header " + std::to_string(i) + " is cut short", at};
        }
        if (!ResolveZip64Extra(extra, &e.UncompressedSize, &e.CompressedSize, &e.LocalHeaderOffset,
                               &e.DiskStart)) {
            return ParseFailure{"central header " + std::to_string(i) + " lacks its ZIP64 values",
                                at};
        }
        e.CentralExtra = StripZip64Extra(extra);
        const std::string name = DecodeEntryName(e.RawName, e.Flags, e.VersionMadeBy);
        SplitEntryName(name, &e.FolderName, &e.FileName);
        const std::uint32_t repaired = RepairDosDateTime(e.DosDateTime());
        e.ModDate = static_cast<std::uint16_t>(repaired >> 16);
        e.ModTime = static_cast<std::uint16_t>(repaired);
        entries.push_back(std::move(e));
    }
    return std::nullopt;
}

// ---- Names

std::string EntryNameFor(std::string_view path, bool storePaths) {
    // Slashes are below every trail byte; backslashes are found by character.
    std::string unified(path);
    std::replace(unified.begin(), unified.end(), '/', '\\');
    std::string_view rest = unified;
    if (!storePaths) {
        const std::string name = win::NameOf(unified);
        if (name.size() != unified.size()) {
            rest.remove_prefix(unified.size() - name.size());
        } else if (rest.size() >= 2 && rest[1] == ':') {
            rest.remove_prefix(2);
        }
    } else {
        if (rest.starts_with("\\\\")) {
            // "\\server\share\": the share is not part of the stored path.
            std::size_t parts = 0;
            const char* c = unified.c_str() + 2;
            while (*c != '\0' && parts < 2) {
                if (*c == '\\') {
                    ++parts;
                }
                c = win::CharNextA(c);
            }
            rest.remove_prefix(parts < 2 ? rest.size()
                                         : static_cast<std::size_t>(c - unified.c_str()));
        } else if (rest.size() >= 2 && rest[1] == ':') {
            rest.remove_prefix(2);
        }
        while (!rest.empty() && rest.front() == '\\') {
            rest.remove_prefix(1);
        }
    }
    return win::BackslashesToSlashes(rest);
}

StoredName EncodeEntryName(std::string_view ansiName) {
    if (OemLossless(ansiName)) {
        return {AnsiToOem(ansiName), false};
    }
    return {AnsiToUtf8(ansiName), true};
}

std::string DecodeEntryName(std::string_view raw, std::uint16_t flags,
                            std::uint16_t versionMadeBy) {
    std::string name;
    const bool ntfsHost = ((versionMadeBy >> 8) & 0x0B) == 0x0B;
    if ((flags & kFlagUtf8) == 0 && !ntfsHost && AnsiLossless(raw)) {
        name = OemToAnsi(raw);
    } else {
        name = Utf8ToAnsi(raw);
    }
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

void SplitEntryName(const std::string& name, std::string* folder, std::string* file) {
    *file = win::NameOf(name);
    *folder = name.substr(0, name.size() - file->size());
}

bool IsSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    // By character: a trail byte may be 0x5C or 0x7C.
    const std::string text(name);
    for (const char* p = text.c_str(); p < text.c_str() + text.size(); p = win::CharNextA(p)) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == 0 || (win::CharNextA(p) == p + 1 &&
                       (c < 0x20 || c == 0x7F ||
                        std::string_view("<>:\"/\\|?*").find(*p) != std::string_view::npos))) {
            return false;
        }
    }
    // Windows drops trailing dots and spaces, so "x." would name "x" and ". ." the folder.
    if (name.back() == '.' || name.back() == ' ') {
        return false;
    }
    // Device names are reserved with any extension and with trailing spaces before it.
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    base = win::UpperAnsi(base);
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                                 "NUL", "CLOCK$", "CONIN$"};
    if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end() || base == "CONOUT$") {
        return false;
    }
    if (base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT"))) {
        // Superscript digits count as device numbers too ("COM\xB9").
        const auto digit = static_cast<unsigned char>(base[3]);
        if ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) {
            return false;
        }
    }
    return true;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    // Iterative match with one backtrack point per '*', linear in practice.
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    const std::string upperName = win::UpperAnsi(name);
    const std::string upperPattern = win::UpperAnsi(pattern);
    while (n < upperName.size()) {
        if (p < upperPattern.size() &&
            (upperPattern[p] == '?' || upperPattern[p] == upperName[n])) {
            ++n;
            ++p;
        } else if (p < upperPattern.size() && upperPattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < upperPattern.size() && upperPattern[p] == '*') {
        ++p;
    }
    return p == upperPattern.size();
}

// ---- Dates

std::uint32_t SystemTimeToDosDateTime(const win::SYSTEMTIME& t) {
    // DOS dates span 1980-01-01 to 2107-12-31; times outside are pinned to the nearer end.
    if (t.wYear < 1980) {
        return (std::uint32_t{(1 << 5) | 1} << 16);
    }
    if (t.wYear > 2107) {
        return (std::uint32_t{(127 << 9) | (12 << 5) | 31} << 16) | ((23 << 11) | (59 << 5) | 29);
    }
    const std::uint32_t date = ((t.wYear - 1980) << 9) | (t.wMonth << 5) | t.wDay;
    const std::uint32_t time = (t.wHour << 11) | (t.wMinute << 5) | (t.wSecond / 2);
    return date << 16 | time;
}

std::uint32_t RepairDosDateTime(std::uint32_t dosDateTime) {
    std::uint32_t seconds = dosDateTime & 0x1F;
    std::uint32_t minutes = (dosDateTime >> 5) & 0x3F;
    std::uint32_t hours = (dosDateTime >> 11) & 0x1F;
    std::uint32_t day = (dosDateTime >> 16) & 0x1F;
    std::uint32_t month = (dosDateTime >> 21) & 0x0F;
    std::uint32_t year = (dosDateTime >> 25) & 0x7F;
    seconds = std::min<std::uint32_t>(seconds, 29);
    minutes = std::min<std::uint32_t>(minutes, 59);
    hours = std::min<std::uint32_t>(hours, 23);
    day = std::max<std::uint32_t>(day, 1);
    month = std::clamp<std::uint32_t>(month, 1, 12);
    year = std::min<std::uint32_t>(year, 119);
    // A day past the month's end ("February 30") has no moment either; it becomes the last
    // day of that month.
    day = std::min<std::uint32_t>(
        day, DaysInMonth(static_cast<int>(1980 + year), static_cast<int>(month)));
    return (year << 25) | (month << 21) | (day << 16) | (hours << 11) | (minutes << 5) | seconds;
}

win::SYSTEMTIME DosDateTimeToSystemTime(std::uint32_t dosDateTime) {
    const std::uint32_t v = RepairDosDateTime(dosDateTime);
    win::SYSTEMTIME t;
    t.wYear = static_cast<win::WORD>(1980 + (v >> 25));
    t.wMonth = static_cast<win::WORD>((v >> 21) & 0x0F);
    t.wDay = static_cast<win::WORD>((v >> 16) & 0x1F);
    t.wHour = static_cast<win::WORD>((v >> 11) & 0x1F);
    t.wMinute = static_cast<win::WORD>((v >> 5) & 0x3F);
    t.wSecond = static_cast<win::WORD>((v & 0x1F) * 2);
    return t;
}

std::uint16_t FlagsForLevel(int level) {
    std::uint16_t flags = 0;
    if (level > 7) {
        flags |= kFlagMaximum;
    }
    if (level <= 2) {
        flags |= kFlagFast;
    }
    return flags;
}

}  // namespace quellin::archive
