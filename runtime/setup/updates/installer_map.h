// The map of an installer that `plinth-pack feed` writes beside it: the installer cut into
// regions, each with its SHA-256, so that an update can tell which of them it already has.
//
//   8 bytes "PLNMAP\0\1", u64 installer size, 32 bytes installer SHA-256, u32 region count N,
//   then N times: u32 region size (at least 1), 32 bytes SHA-256 of the region's bytes.
//
// Little-endian, no padding; the regions follow each other from offset 0 and their sizes add up
// to the installer's size exactly.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/result.h"
#include "platform/platform.h"

namespace plinth {

// A map is at most this long (and so holds at most some 7.4 million regions; the format allows 4
// million), which bounds what a hostile server can make this program hold.
inline constexpr std::uint64_t kMaxMapSize = 256u * 1024 * 1024;
inline constexpr std::uint32_t kMaxMapRegions = 4'000'000;

struct MapRegion {
    std::uint64_t offset = 0;  // where it starts in the installer, from the sizes before it
    std::uint32_t size = 0;
    platform::Sha256 sha256{};
};

struct InstallerMap {
    std::uint64_t installer_size = 0;
    platform::Sha256 installer_sha256{};
    std::vector<MapRegion> regions;  // in order, contiguous, covering the installer
};

// The map, or why it isn't one: a wrong signature, a length that isn't exactly what its count
// says, no region or more than 4 million, an empty region, or sizes that don't add up to the
// installer's.
Result<InstallerMap> read_installer_map(std::span<const std::uint8_t> bytes);

}  // namespace plinth
