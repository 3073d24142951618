#include "installer_map.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "common/sha256.h"
#include "package/installer_regions.h"

namespace plinth::pack {
namespace {

void append_u64(Bytes& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append_digest(Bytes& out, ByteView bytes, std::size_t length) {
    const Sha256Digest digest = sha256(bytes);
    out.insert(out.end(), digest.begin(), digest.begin() + static_cast<std::ptrdiff_t>(length));
}

void append_leb128(Bytes& out, std::uint32_t value) {
    for (; value >= 0x80; value >>= 7) out.push_back(static_cast<std::uint8_t>(value | 0x80));
    out.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

Result<Bytes> installer_map(ByteView installer) {
    if (installer.empty()) return fail("The installer is empty: it has no map.");
    // A region's size is 32-bit in the map: a longer one (only in a file of 4 GiB or more, which
    // no feed lists) is given in parts.
    constexpr std::uint64_t kLongest = std::numeric_limits<std::uint32_t>::max();
    std::vector<Region> regions;
    for (const Region& region : installer_regions(installer)) {
        for (std::uint64_t at = 0; at < region.size; at += kLongest) {
            regions.push_back({region.offset + at, std::min(kLongest, region.size - at)});
        }
    }
    if (regions.size() > kMaxMapRegions) {
        return fail("The installer has " + std::to_string(regions.size()) + " regions; a map holds at most " +
                    std::to_string(kMaxMapRegions) + ".");
    }
    Bytes map(kMapMagic.begin(), kMapMagic.end());
    map.reserve(map.size() + 8 + 32 + 4 + regions.size() * (5 + kMapHashSize));
    append_u64(map, installer.size());
    append_digest(map, installer, 32);
    append_u32(map, static_cast<std::uint32_t>(regions.size()));
    for (const Region& region : regions) {
        append_leb128(map, static_cast<std::uint32_t>(region.size));
        append_digest(map, installer.subspan(region.offset, region.size), kMapHashSize);
    }
    return map;
}

}  // namespace plinth::pack
