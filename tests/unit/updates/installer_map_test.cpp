#include "updates/installer_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

void put(std::vector<std::uint8_t>& bytes, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_leb128(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
    for (; value >= 0x80; value >>= 7) bytes.push_back(static_cast<std::uint8_t>(value | 0x80));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

// A map of regions of these sizes, region i's hash all bytes i.
std::vector<std::uint8_t> map_of(const std::vector<std::uint64_t>& sizes, std::uint64_t total) {
    std::vector<std::uint8_t> bytes = {'P', 'L', 'N', 'M', 'A', 'P', 0, 2};
    put(bytes, total, 8);
    bytes.insert(bytes.end(), 32, 0xEE);
    put(bytes, sizes.size(), 4);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        put_leb128(bytes, sizes[i]);
        bytes.insert(bytes.end(), kRegionHashSize, static_cast<std::uint8_t>(i));
    }
    return bytes;
}

TEST(MapReader, ReadsRegionsWithTheirOffsets) {
    const auto map = read_installer_map(map_of({1024, 1, 0xFFFFFFFFu}, 1025 + 0xFFFFFFFFull));
    ASSERT_TRUE(map.ok()) << map.error().text;
    EXPECT_EQ(map->installer_size, 1025 + 0xFFFFFFFFull);
    platform::Sha256 whole;
    whole.fill(0xEE);
    EXPECT_EQ(map->installer_sha256, whole);
    ASSERT_EQ(map->regions.size(), 3u);
    EXPECT_EQ(map->regions[1].offset, 1024u);
    EXPECT_EQ(map->regions[1].size, 1u);
    EXPECT_EQ(map->regions[2].offset, 1025u);
    EXPECT_EQ(map->regions[2].sha256[kRegionHashSize - 1], 2);
    EXPECT_EQ(map->regions[2].sha256[kRegionHashSize], 0) << "only the start of a hash is in the map";
}

TEST(MapReader, RefusesAnythingElse) {
    const auto good = map_of({10, 20}, 30);
    const auto with = [&](auto change) {
        auto bytes = good;
        change(bytes);
        return bytes;
    };
    const struct {
        const char* label;
        std::vector<std::uint8_t> bytes;
        const char* says;
    } cases[] = {
        {"empty", {}, "isn't a map"},
        {"header only, short", std::vector<std::uint8_t>(good.begin(), good.begin() + 51), "isn't a map"},
        {"the first format", with([](auto& b) { b[7] = 1; }), "isn't a map"},
        {"a later format", with([](auto& b) { b[7] = 3; }), "isn't a map"},
        {"no regions", map_of({}, 0), "no region"},
        {"too many regions", with([](auto& b) { b[48] = 0x01; b[49] = 0x09; b[50] = 0x3D; b[51] = 0; }), "no region or more"},
        {"count beyond the bytes", with([](auto& b) { b[48] = 3; }), "isn't as long"},
        {"a byte more", with([](auto& b) { b.push_back(0); }), "isn't as long"},
        {"a byte less", with([](auto& b) { b.pop_back(); }), "isn't as long"},
        {"a hash cut short", [] { auto b = map_of({10, 200}, 210); b.pop_back(); return b; }(), "isn't as long"},
        {"a size of six bytes", map_of({1ull << 35, 1}, (1ull << 35) + 1), "isn't as long"},
        {"a size of 4 GiB", map_of({1ull << 32, 1}, (1ull << 32) + 1), "4 GiB or more"},
        {"empty region", map_of({10, 0, 20}, 30), "an empty region"},
        {"sizes short of the total", map_of({10, 19}, 30), "29 bytes in all, not the installer's 30"},
        {"sizes beyond the total", map_of({10, 21}, 30), "31 bytes in all"},
        {"count overflowing the length", with([](auto& b) { b[48] = b[49] = b[50] = b[51] = 0xFF; }), "no region or more"},
    };
    for (const auto& c : cases) {
        const auto read = read_installer_map(c.bytes);
        ASSERT_FALSE(read.ok()) << c.label;
        EXPECT_NE(read.error().text.find(c.says), std::string::npos) << c.label << ": " << read.error().text;
    }
}

}  // namespace
}  // namespace plinth
