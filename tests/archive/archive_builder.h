// Builds archives in memory with every field under the test's control, for round trips and
// for malformed fixtures named after the fault they carry.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/byte_cursor.h"
#include "archive/zip_format.h"

namespace quellin::archive::testdata {

struct FixtureEntry {
    std::string Name{};
    std::string Data{};
    std::uint16_t Method = kMethodDeflated;
    std::uint16_t Flags = 0;
    std::uint16_t VersionMadeBy = kVersionMadeBy;
    std::uint32_t ExternalAttributes = 0x20;
    std::uint32_t DosDateTime = (43u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5);
    std::optional<std::uint32_t> Crc32{};
    std::optional<std::uint32_t> CompressedSize{};
    std::optional<std::uint32_t> UncompressedSize{};
    std::optional<std::string> Payload{};  // replaces the compressed data
    std::string CentralExtra{};
    std::string LocalExtra{};
};

struct FixtureOptions {
    std::optional<std::uint16_t> Count{};
    std::optional<std::uint32_t> CentralOffset{};
    std::optional<std::uint32_t> CentralSize{};
    std::string Comment{};
    std::string Prefix{};  // bytes before the first local header
    bool Zip64End = false;
};

inline std::string RawDeflate(const std::string& data, int level = 9) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline std::uint32_t Crc(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

inline std::vector<std::uint8_t> BuildArchive(const std::vector<FixtureEntry>& entries,
                                              const FixtureOptions& options = {}) {
    ByteWriter out;
    out.Bytes(options.Prefix);
    ByteWriter central;
    for (const auto& e : entries) {
        const std::string payload =
            e.Payload ? *e.Payload : (e.Method == kMethodDeflated ? RawDeflate(e.Data) : e.Data);
        const std::uint32_t crc = e.Crc32.value_or(Crc(e.Data));
        const std::uint32_t csize =
            e.CompressedSize.value_or(static_cast<std::uint32_t>(payload.size()));
        const std::uint32_t usize =
            e.UncompressedSize.value_or(static_cast<std::uint32_t>(e.Data.size()));
        const auto offset = static_cast<std::uint32_t>(out.Size());
        LocalHeader h{20,
                      e.Flags,
                      e.Method,
                      static_cast<std::uint16_t>(e.DosDateTime),
                      static_cast<std::uint16_t>(e.DosDateTime >> 16),
                      crc,
                      csize,
                      usize,
                      static_cast<std::uint16_t>(e.Name.size()),
                      static_cast<std::uint16_t>(e.LocalExtra.size())};
        EncodeLocalHeader(h, out);
        out.Bytes(e.Name);
        out.Bytes(e.LocalExtra);
        out.Bytes(payload);

        central.U32(kCentralHeaderSignature);
        central.U16(e.VersionMadeBy);
        central.U16(20);
        central.U16(e.Flags);
        central.U16(e.Method);
        central.U16(static_cast<std::uint16_t>(e.DosDateTime));
        central.U16(static_cast<std::uint16_t>(e.DosDateTime >> 16));
        central.U32(crc);
        central.U32(csize);
        central.U32(usize);
        central.U16(static_cast<std::uint16_t>(e.Name.size()));
        central.U16(static_cast<std::uint16_t>(e.CentralExtra.size()));
        central.U16(0);
        central.U16(0);
        central.U16(0);
        central.U32(e.ExternalAttributes);
        central.U32(offset);
        central.Bytes(e.Name);
        central.Bytes(e.CentralExtra);
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.Size());
    out.Bytes(std::span<const std::uint8_t>(central.Data()));
    const auto count = static_cast<std::uint16_t>(entries.size());
    if (options.Zip64End) {
        const std::uint64_t z64At = out.Size();
        out.U32(kZip64EndSignature);
        out.U64(44);
        out.U16(45);
        out.U16(45);
        out.U32(0);
        out.U32(0);
        out.U64(entries.size());
        out.U64(entries.size());
        out.U64(central.Size());
        out.U64(centralOffset);
        out.U32(kZip64LocatorSignature);
        out.U32(0);
        out.U64(z64At);
        out.U32(1);
    }
    out.U32(kEndRecordSignature);
    out.U16(0);
    out.U16(0);
    const std::uint16_t classicCount = options.Zip64End ? 0xFFFF : options.Count.value_or(count);
    out.U16(classicCount);
    out.U16(classicCount);
    out.U32(options.Zip64End
                ? 0xFFFFFFFF
                : options.CentralSize.value_or(static_cast<std::uint32_t>(central.Size())));
    out.U32(options.Zip64End ? 0xFFFFFFFF : options.CentralOffset.value_or(centralOffset));
    out.U16(static_cast<std::uint16_t>(options.Comment.size()));
    out.Bytes(options.Comment);
    return out.Data();
}

}  // namespace quellin::archive::testdata
