#include "updates/download_clock.h"

#include <algorithm>

#include "common/text.h"
#include "updates/sentence.h"

namespace plinth {

DownloadClock::DownloadClock(platform::Network& network, DownloadLimits limits)
    : network_(network), limits_(limits), start_ms_(network.milliseconds()) {
    samples_.emplace_back(start_ms_, 0);
}

std::uint32_t DownloadClock::next_wait() const {
    if (limits_.total_ms == 0) return kNetworkTimeoutMs;
    const std::uint64_t elapsed = network_.milliseconds() - start_ms_;
    const std::uint64_t left = elapsed < limits_.total_ms ? limits_.total_ms - elapsed : 0;
    // A wait of 0 would mean "none" to WinHTTP: the last millisecond ends it instead.
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(left, 1, kNetworkTimeoutMs));
}

bool DownloadClock::on_track(std::uint64_t received) {
    const std::uint64_t now = network_.milliseconds();
    if (limits_.total_ms != 0 && now - start_ms_ >= limits_.total_ms) return false;
    if (limits_.least_bytes == 0) return true;
    // A sample a second at most: the window's judgement needs no finer grain.
    if (now - samples_.back().first >= 1000) samples_.emplace_back(now, received);
    // Only the newest sample a whole window old is needed to judge the last window.
    std::size_t old = 0;
    while (old + 1 < samples_.size() && now - samples_[old + 1].first >= limits_.window_ms) ++old;
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(old));
    const auto& [then, bytes_then] = samples_.front();
    too_slow_ = now - then >= limits_.window_ms && received - bytes_then < limits_.least_bytes;
    return !too_slow_;
}

std::string DownloadClock::why_late() const {
    if (too_slow_) {
        return sentence("fewer than % KiB arrived in % seconds",
                        {decimal_text(limits_.least_bytes / 1024), decimal_text(limits_.window_ms / 1000)});
    }
    return sentence("it took longer than % seconds", {decimal_text(limits_.total_ms / 1000)});
}

}  // namespace plinth
