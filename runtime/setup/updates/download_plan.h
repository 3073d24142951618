// Which bytes of a new installer an update copies from the installed one and which it fetches:
// the new installer's map against the regions of the base (the running uninstall.exe, a full
// copy of the installed version's installer), matched by hash, so that a region is reused only
// when its bytes are the same, wherever it lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/platform.h"
#include "updates/installer_map.h"

namespace plinth {

// A region of the base and the SHA-256 of its bytes.
struct BaseRegion {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    platform::Sha256 sha256{};
};

// One stretch of the new installer, in the file's order: copied from the base at `base_offset`,
// or fetched with one range request.
struct PlanStep {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool fetch = false;
    std::uint64_t base_offset = 0;
    bool operator==(const PlanStep&) const = default;
};

struct DownloadPlan {
    std::vector<PlanStep> steps;  // contiguous from 0, covering the installer
    std::uint64_t reused = 0;     // bytes copied from the base
    std::uint64_t fetched = 0;    // bytes the range requests fetch
    std::size_t requests = 0;     // one per fetched step
};

// Two stretches to fetch with fewer than this between them are fetched as one: a request costs
// a round trip and its headers, about what this many bytes cost on a slow line.
inline constexpr std::uint64_t kMergeGap = 16 * 1024;
// At most this many range requests; beyond it, the nearest stretches are fetched together.
inline constexpr std::size_t kMaxRangeRequests = 32;
// A plan that would fetch more than this share of the file (in percent) is no better than one
// ordinary download, which also saves the requests.
inline constexpr std::uint64_t kMaxFetchedPercent = 60;

// The plan, or nothing when it would fetch more than 60% of the new installer.
std::optional<DownloadPlan> plan_download(const InstallerMap& map, std::span<const BaseRegion> base,
                                          std::uint64_t merge_gap = kMergeGap,
                                          std::size_t max_requests = kMaxRangeRequests);

}  // namespace plinth
