#include "archive/crc32.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace quellin::archive {
namespace {

std::uint32_t Zlib(std::uint32_t crc, std::span<const std::uint8_t> data) {
    return static_cast<std::uint32_t>(crc32(crc, data.data(), static_cast<uInt>(data.size())));
}

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

TEST(Crc32, KnownValues) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(0, {reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}),
              0xCBF43926u);
    EXPECT_EQ(Crc32(0, {}), 0u);
    EXPECT_EQ(Crc32(0x12345678u, {}), 0x12345678u);
    const std::vector<std::uint8_t> zeros(4096, 0);
    EXPECT_EQ(Crc32(0, zeros), Zlib(0, zeros));
}

struct SliceCase {
    const char* label;
    std::size_t offset;
    std::size_t size;
    std::uint32_t initial;
};

class Crc32Slices : public ::testing::TestWithParam<SliceCase> {};

// Sizes around the block and lane boundaries and the fold threshold, at odd addresses and
// with a running CRC carried in.
TEST_P(Crc32Slices, MatchesZlib) {
    static const auto bytes = RandomBytes(1 << 21);
    const auto& c = GetParam();
    const std::span<const std::uint8_t> slice(bytes.data() + c.offset, c.size);
    EXPECT_EQ(Crc32(c.initial, slice), Zlib(c.initial, slice));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Crc32Slices,
                         ::testing::ValuesIn(std::vector<SliceCase>{
                             {"one_byte", 0, 1, 0},
                             {"fifteen_bytes", 3, 15, 0},
                             {"one_lane", 0, 16, 0},
                             {"one_block", 0, 64, 0},
                             {"below_threshold", 1, 255, 0},
                             {"at_threshold", 0, 256, 0},
                             {"at_threshold_misaligned", 7, 256, 0xDEADBEEFu},
                             {"threshold_plus_tail", 5, 256 + 63, 0},
                             {"many_blocks_and_tail", 9, 4096 * 3 + 17, 0xFFFFFFFFu},
                             {"inflate_buffer", 0, 1 << 20, 0},
                             {"inflate_buffer_carrying_crc", 1, 1 << 20, 0x0BADF00Du},
                             {"two_megabytes_less_one", 1, (1 << 21) - 1, 0},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Crc32, ChainedPiecesEqualTheWhole) {
    const auto bytes = RandomBytes(100000);
    std::uint32_t pieces = 0;
    std::size_t at = 0;
    for (const std::size_t size : {1u, 300u, 64u, 5000u, 255u, 70000u}) {
        pieces = Crc32(pieces, std::span(bytes).subspan(at, size));
        at += size;
    }
    pieces = Crc32(pieces, std::span(bytes).subspan(at));
    EXPECT_EQ(pieces, Crc32(0, bytes));
    EXPECT_EQ(pieces, Zlib(0, bytes));
}

}  // namespace
}  // namespace quellin::archive
