// The map of an installer that `plinth-pack feed` writes beside it: the installer cut into
// regions, each with the start of its SHA-256, so that an update can tell which of them it
// already has.
//
//   8 bytes "PLNMAP\0\2", u64 installer size, 32 bytes installer SHA-256, u32 region count N,
//   then N times: the region's size (at least 1, below 2^32) in LEB128 (7 bits a byte, the low
//   bits first, the high bit set on every byte but the last, at most 5 bytes), then the first
//   8 bytes of the SHA-256 of the region's bytes.
//
// Little-endian, no padding; the regions follow each other from offset 0 and their sizes add up
// to the installer's size exactly. A region's hash only says where to look for its bytes: the
// assembled installer's whole SHA-256 is checked, so a false match costs one whole download.
// The first format ("PLNMAP\0\1", 4-byte sizes, whole hashes) is read by earlier stubs only;
// each stub falls back to the whole download for a map of a format it doesn't know.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/result.h"
#include "platform/platform.h"

namespace plinth {

// A map is at most this long, which bounds what a hostile server can make this program hold.
inline constexpr std::uint64_t kMaxMapSize = 256u * 1024 * 1024;
inline constexpr std::uint32_t kMaxMapRegions = 4'000'000;
// How much of a region's SHA-256 the map holds, and the plan compares.
inline constexpr std::size_t kRegionHashSize = 8;

struct MapRegion {
    std::uint64_t offset = 0;  // where it starts in the installer, from the sizes before it
    std::uint32_t size = 0;
    platform::Sha256 sha256{};  // its first kRegionHashSize bytes; the rest zero
};

struct InstallerMap {
    std::uint64_t installer_size = 0;
    platform::Sha256 installer_sha256{};
    std::vector<MapRegion> regions;  // in order, contiguous, covering the installer
};

// The map, or why it isn't one: a wrong signature or format, entries that don't fill its bytes
// exactly as its count says, no region or more than 4 million, an empty region or a size beyond
// 32 bits, or sizes that don't add up to the installer's.
Result<InstallerMap> read_installer_map(std::span<const std::uint8_t> bytes);

}  // namespace plinth
