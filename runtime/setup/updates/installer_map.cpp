#include "updates/installer_map.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace plinth {
namespace {

constexpr std::uint8_t kSignature[8] = {'P', 'L', 'N', 'M', 'A', 'P', 0, 2};
constexpr std::size_t kHeaderSize = 8 + 8 + 32 + 4;
constexpr std::size_t kShortestEntry = 1 + kRegionHashSize;

std::uint64_t little_endian(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

[[gnu::noinline]] Status map_problem(std::string_view what) { return fail({"The update's map ", what, "."}); }

}  // namespace

Result<InstallerMap> read_installer_map(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0) {
        return map_problem("isn't a map of an installer");
    }
    InstallerMap map;
    map.installer_size = little_endian(bytes.data() + 8, 8);
    std::copy_n(bytes.data() + 16, 32, map.installer_sha256.begin());
    const std::uint64_t count = little_endian(bytes.data() + 48, 4);
    if (count == 0 || count > kMaxMapRegions) return map_problem("has no region or more than 4000000");
    const std::uint8_t* entry = bytes.data() + kHeaderSize;
    const std::uint8_t* const end = bytes.data() + bytes.size();
    // Checked before anything is allocated for them: a count its bytes can't hold.
    if (static_cast<std::uint64_t>(end - entry) < count * kShortestEntry) {
        return map_problem("isn't as long as its count of regions says");
    }
    map.regions.resize(count);
    std::uint64_t offset = 0;
    for (MapRegion& region : map.regions) {
        std::uint64_t size = 0;
        for (int shift = 0;; shift += 7) {
            if (entry == end || shift > 28) return map_problem("isn't as long as its count of regions says");
            size |= std::uint64_t{*entry & 0x7Fu} << shift;
            if ((*entry++ & 0x80) == 0) break;
        }
        if (size == 0 || size > 0xFFFFFFFFu) return map_problem("has an empty region or one of 4 GiB or more");
        if (static_cast<std::size_t>(end - entry) < kRegionHashSize) {
            return map_problem("isn't as long as its count of regions says");
        }
        region.offset = offset;
        region.size = static_cast<std::uint32_t>(size);
        std::copy_n(entry, kRegionHashSize, region.sha256.begin());
        // At most 4 million regions of less than 4 GiB each: the sum can't overflow.
        offset += size;
        entry += kRegionHashSize;
    }
    if (entry != end) return map_problem("isn't as long as its count of regions says");
    if (offset != map.installer_size) {
        return fail({"The update's map has regions of ", decimal_text(offset), " bytes in all, not the installer's ",
                     decimal_text(map.installer_size), "."});
    }
    return map;
}

}  // namespace plinth
