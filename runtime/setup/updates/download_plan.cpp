#include "updates/download_plan.h"

#include <algorithm>
#include <numeric>

namespace plinth {
namespace {

// The base's regions by hash, for lookups in O(log n).
struct ByHash {
    bool operator()(const BaseRegion* a, const BaseRegion* b) const { return a->sha256 < b->sha256; }
    bool operator()(const BaseRegion* a, const platform::Sha256& b) const { return a->sha256 < b; }
};

// A stretch of the new installer to fetch: [first, end).
struct Stretch {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

// Joins the stretches whose gap is below `merge_gap`, then, while there are more than
// `max_requests`, those with the smallest gaps.
std::vector<Stretch> merged(std::vector<Stretch> stretches, std::uint64_t merge_gap, std::size_t max_requests) {
    if (stretches.size() < 2) return stretches;
    // joined[i]: stretch i+1 is fetched with stretch i.
    std::vector<std::uint8_t> joined(stretches.size() - 1, 0);
    std::vector<std::size_t> order(joined.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto gap = [&](std::size_t i) { return stretches[i + 1].first - stretches[i].end; };
    // The smallest gaps first; of equal gaps, the earliest.
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return gap(a) < gap(b) || (gap(a) == gap(b) && a < b); });
    std::size_t requests = stretches.size();
    for (std::size_t i : order) {
        if (gap(i) >= merge_gap && requests <= std::max<std::size_t>(max_requests, 1)) break;
        joined[i] = 1;
        --requests;
    }
    std::vector<Stretch> result;
    result.reserve(requests);
    result.push_back(stretches[0]);
    for (std::size_t i = 1; i < stretches.size(); ++i) {
        if (joined[i - 1]) {
            result.back().end = stretches[i].end;
        } else {
            result.push_back(stretches[i]);
        }
    }
    return result;
}

}  // namespace

std::optional<DownloadPlan> plan_download(const InstallerMap& map, std::span<const BaseRegion> base,
                                          std::uint64_t merge_gap, std::size_t max_requests) {
    std::vector<const BaseRegion*> by_hash(base.size());
    for (std::size_t i = 0; i < base.size(); ++i) by_hash[i] = &base[i];
    std::sort(by_hash.begin(), by_hash.end(), ByHash{});

    // Where each region of the map is in the base, or nothing.
    std::vector<const BaseRegion*> found(map.regions.size(), nullptr);
    std::vector<Stretch> missing;
    for (std::size_t i = 0; i < map.regions.size(); ++i) {
        const MapRegion& region = map.regions[i];
        const auto at = std::lower_bound(by_hash.begin(), by_hash.end(), region.sha256, ByHash{});
        if (at != by_hash.end() && (*at)->sha256 == region.sha256 && (*at)->size == region.size) {
            found[i] = *at;
            continue;
        }
        if (!missing.empty() && missing.back().end == region.offset) {
            missing.back().end += region.size;
        } else {
            missing.push_back({region.offset, region.offset + region.size});
        }
    }
    const std::vector<Stretch> fetched = merged(std::move(missing), merge_gap, max_requests);

    DownloadPlan plan;
    std::size_t next = 0;  // the next stretch to fetch
    for (std::size_t i = 0; i < map.regions.size();) {
        const MapRegion& region = map.regions[i];
        if (next < fetched.size() && fetched[next].first == region.offset) {
            const Stretch& stretch = fetched[next++];
            plan.steps.push_back({stretch.first, stretch.end - stretch.first, true, 0});
            plan.fetched += stretch.end - stretch.first;
            while (i < map.regions.size() && map.regions[i].offset < stretch.end) ++i;
            continue;
        }
        // Copied: a region that follows the previous copy in the base extends it.
        PlanStep* last = plan.steps.empty() ? nullptr : &plan.steps.back();
        if (last != nullptr && !last->fetch && last->base_offset + last->size == found[i]->offset) {
            last->size += region.size;
        } else {
            plan.steps.push_back({region.offset, region.size, false, found[i]->offset});
        }
        plan.reused += region.size;
        ++i;
    }
    plan.requests = fetched.size();
    if (plan.fetched * 100 > map.installer_size * kMaxFetchedPercent) return std::nullopt;
    return plan;
}

}  // namespace plinth
