// The regions of an installer, for the map an update is planned with: the file cut into
// contiguous regions that cover it whole, in order, none empty.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace plinth {

struct Region {
    std::uint64_t offset;
    std::uint64_t size;
};

// The PE headers, each section's raw data and the tail after the last section, as regions.
// Whatever can't be parsed becomes larger regions, never a failure.
std::vector<Region> installer_regions(std::span<const std::uint8_t> file);

}  // namespace plinth
