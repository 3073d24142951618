#include "updates/download_plan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace plinth {
namespace {

// The C library's sort and search: one copy of each, already in every process, where each
// std::sort would add its own code to the stub. A map holds only the start of each hash.
int by_hash(const void* a, const void* b) {
    return std::memcmp(static_cast<const BaseRegion*>(a)->sha256.data(), static_cast<const BaseRegion*>(b)->sha256.data(),
                       kRegionHashSize);
}

struct Gap {
    std::uint64_t size;
    std::size_t index;
};

// The smallest gaps first; of equal gaps, the earliest.
int by_size(const void* a, const void* b) {
    const auto& x = *static_cast<const Gap*>(a);
    const auto& y = *static_cast<const Gap*>(b);
    if (x.size != y.size) return x.size < y.size ? -1 : 1;
    return x.index < y.index ? -1 : x.index > y.index ? 1 : 0;
}

std::uint64_t end_of(const PlanStep& step) { return step.offset + step.size; }

// Joins the stretches to fetch (steps, in order) whose gap is below `merge_gap`, then, while
// there are more than `max_requests`, those with the smallest gaps.
std::vector<PlanStep> merged(std::vector<PlanStep> stretches, std::uint64_t merge_gap, std::size_t max_requests) {
    if (stretches.size() < 2) return stretches;
    // joined[i]: stretch i+1 is fetched with stretch i.
    std::vector<std::uint8_t> joined(stretches.size() - 1, 0);
    std::vector<Gap> gaps(joined.size());
    for (std::size_t i = 0; i < gaps.size(); ++i) gaps[i] = {stretches[i + 1].offset - end_of(stretches[i]), i};
    std::qsort(gaps.data(), gaps.size(), sizeof(Gap), by_size);
    std::size_t requests = stretches.size();
    for (const Gap& gap : gaps) {
        if (gap.size >= merge_gap && requests <= std::max<std::size_t>(max_requests, 1)) break;
        joined[gap.index] = 1;
        --requests;
    }
    std::vector<PlanStep> result;
    result.reserve(requests);
    result.push_back(stretches[0]);
    for (std::size_t i = 1; i < stretches.size(); ++i) {
        if (joined[i - 1]) {
            result.back().size = end_of(stretches[i]) - result.back().offset;
        } else {
            result.push_back(stretches[i]);
        }
    }
    return result;
}

}  // namespace

std::optional<DownloadPlan> plan_download(const InstallerMap& map, std::span<const BaseRegion> base,
                                          std::uint64_t merge_gap, std::size_t max_requests) {
    std::vector<BaseRegion> sorted(base.begin(), base.end());
    // qsort may not be given the null pointer of an empty vector, whatever the count.
    if (!sorted.empty()) std::qsort(sorted.data(), sorted.size(), sizeof(BaseRegion), by_hash);

    // Where each region of the map is in the base, or nothing.
    std::vector<const BaseRegion*> found(map.regions.size(), nullptr);
    std::vector<PlanStep> missing;
    for (std::size_t i = 0; i < map.regions.size(); ++i) {
        const MapRegion& region = map.regions[i];
        const BaseRegion key{0, region.size, region.sha256};
        const auto* at = static_cast<const BaseRegion*>(
            sorted.empty() ? nullptr : std::bsearch(&key, sorted.data(), sorted.size(), sizeof(BaseRegion), by_hash));
        if (at != nullptr && at->size == region.size) {
            found[i] = at;
            continue;
        }
        if (!missing.empty() && end_of(missing.back()) == region.offset) {
            missing.back().size += region.size;
        } else {
            missing.push_back({region.offset, region.size, true, 0});
        }
    }
    const std::vector<PlanStep> fetched = merged(std::move(missing), merge_gap, max_requests);

    DownloadPlan plan;
    std::size_t next = 0;  // the next stretch to fetch
    for (std::size_t i = 0; i < map.regions.size();) {
        const MapRegion& region = map.regions[i];
        if (next < fetched.size() && fetched[next].offset == region.offset) {
            const PlanStep& stretch = fetched[next++];
            plan.steps.push_back(stretch);
            plan.fetched += stretch.size;
            while (i < map.regions.size() && map.regions[i].offset < end_of(stretch)) ++i;
            continue;
        }
        // Copied: a region that follows the previous copy in the base extends it.
        PlanStep* last = plan.steps.empty() ? nullptr : &plan.steps.back();
        if (last != nullptr && !last->fetch && last->base_offset + last->size == found[i]->offset) {
            last->size += region.size;
        } else {
            plan.steps.push_back(PlanStep{region.offset, region.size, false, found[i]->offset});
        }
        plan.reused += region.size;
        ++i;
    }
    plan.requests = fetched.size();
    if (plan.fetched * 100 > map.installer_size * kMaxFetchedPercent) return std::nullopt;
    return plan;
}

}  // namespace plinth
