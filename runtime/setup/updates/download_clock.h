// The time limits of one download, measured on the network's clock: a total it must end within,
// a least rate it must keep, and the waits that follow from them.
#pragma once

#include <cstdint>
#include <vector>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace plinth {

// Every network wait (resolving, connecting, sending, the response, each receive) ends within
// this: a silent server fails in well under a minute.
inline constexpr std::uint32_t kNetworkTimeoutMs = 10'000;
// The feed arrives within this in all, however slowly its server sends it.
inline constexpr std::uint64_t kFeedDeadlineMs = 60'000;
// An installer's download receives at least this many bytes in any such window, or fails.
inline constexpr std::uint64_t kLeastRateBytes = 30 * 1024;
inline constexpr std::uint64_t kLeastRateWindowMs = 30'000;

struct DownloadLimits {
    std::uint64_t total_ms = 0;       // 0: none
    std::uint64_t least_bytes = 0;    // with window_ms; 0: no least rate
    std::uint64_t window_ms = 0;
};

class DownloadClock {
public:
    DownloadClock(platform::Network& network, DownloadLimits limits);

    // How long the next wait may last: the network timeout, or what is left of the total.
    std::uint32_t next_wait() const;
    // After `received` bytes in all: false once the total has passed, or when fewer than the
    // least bytes came in the last window.
    bool on_track(std::uint64_t received);
    // Why on_track said false, as a clause ("it took longer than 60 seconds").
    std::string why_late() const;

private:
    platform::Network& network_;
    DownloadLimits limits_;
    std::uint64_t start_ms_;
    bool too_slow_ = false;
    // (time, bytes received by then): the newest one at least a window old, then those since.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> samples_;
};

}  // namespace plinth
