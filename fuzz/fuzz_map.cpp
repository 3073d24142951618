// Hostile installers and maps: the regions of any bytes cover them, in order, none empty; any
// bytes read as a map are refused or a map whose regions add up; and the plan made from such a
// map against such regions covers the new installer and copies only from within the base.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "package/installer_regions.h"
#include "updates/download_plan.h"
#include "updates/installer_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::vector<plinth::Region> regions = plinth::installer_regions(bytes);
    std::uint64_t at = 0;
    for (const plinth::Region& region : regions) {
        if (region.offset != at || region.size == 0) __builtin_trap();
        at += region.size;
    }
    if (at != size) __builtin_trap();

    const auto map = plinth::read_installer_map(bytes);
    if (!map) return 0;
    std::uint64_t total = 0;
    for (const plinth::MapRegion& region : map->regions) {
        if (region.offset != total || region.size == 0) __builtin_trap();
        total += region.size;
    }
    if (total != map->installer_size) __builtin_trap();

    // The same bytes as the base, each region named by one of the map's hashes (the fuzzer
    // finds no SHA-256 preimage, so matches are made here), to plan with.
    std::vector<plinth::BaseRegion> base;
    for (const plinth::Region& region : regions) {
        base.push_back({region.offset, region.size, map->regions[region.offset % map->regions.size()].sha256});
    }
    const auto plan = plinth::plan_download(*map, base, data[size / 2] * 16u, data[size - 1] % 40);
    if (!plan) return 0;
    std::uint64_t covered = 0;
    std::uint64_t fetched = 0;
    std::size_t requests = 0;
    for (const plinth::PlanStep& step : plan->steps) {
        if (step.offset != covered || step.size == 0) __builtin_trap();
        if (!step.fetch && step.base_offset + step.size > size) __builtin_trap();
        if (step.fetch) fetched += step.size, ++requests;
        covered += step.size;
    }
    if (covered != map->installer_size || fetched != plan->fetched || requests != plan->requests ||
        plan->reused + plan->fetched != covered || requests > std::max<std::size_t>(data[size - 1] % 40, 1))
        __builtin_trap();
    return 0;
}
