// The map of an installer: its regions (package/installer_regions.h) and the SHA-256 of each, so
// that an installed app updating to it fetches only the regions it doesn't already hold.
//
// Layout, little-endian, no padding: the 8 bytes "PLNMAP\0\2", the installer's size (64-bit),
// its SHA-256 (32 bytes), the region count N (32-bit, 1 to kMaxMapRegions), then N times
// { region size (at least 1, below 2^32) in LEB128, the first kMapHashSize bytes of the region's
// SHA-256 }. The regions follow each other from the file's start; their sizes add up to the
// installer's size. (Format 1, "PLNMAP\0\1", had 32-bit sizes and whole hashes: a third of a
// small file's download was its map. The stubs that read it fall back to whole downloads for this
// one, as for any map they don't know.)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

inline constexpr std::array<std::uint8_t, 8> kMapMagic = {'P', 'L', 'N', 'M', 'A', 'P', 0, 2};
inline constexpr std::uint32_t kMaxMapRegions = 4000000;
// A region's hash only tells the client where to look: the whole file's SHA-256 is checked.
inline constexpr std::size_t kMapHashSize = 8;

// The map of `installer`, the final file as it will be uploaded. Fails for an empty file and for
// one of more regions than a map holds.
Result<Bytes> installer_map(ByteView installer);

}  // namespace plinth::pack
