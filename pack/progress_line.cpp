#include "progress_line.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace plinth::pack {
namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(250);

std::string one_decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

bool standard_error_is_terminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

std::string progress_text(std::string_view compressor, std::uint64_t done, std::uint64_t total, bool counted,
                          double seconds) {
    const double megabytes = static_cast<double>(total) / 1e6;
    std::string text = "compressing with " + std::string(compressor) + ": ";
    if (!counted) return text + one_decimal(megabytes) + " MB, " + std::to_string(static_cast<long>(seconds)) + " s so far";
    const std::uint64_t percent = total == 0 ? 100 : std::min<std::uint64_t>(done, total) * 100 / total;
    text += std::to_string(percent) + "% of " + one_decimal(megabytes) + " MB";
    if (seconds > 0) text += ", " + one_decimal(static_cast<double>(done) / 1e6 / seconds) + " MB/s";
    return text;
}

ProgressLine::ProgressLine(std::ostream& out, bool enabled, std::string compressor, std::uint64_t total, bool counted)
    : out_(out), compressor_(std::move(compressor)), total_(total), counted_(counted),
      start_(std::chrono::steady_clock::now()) {
    if (enabled) thread_ = std::thread([this] { run(); });
}

ProgressLine::~ProgressLine() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (shown_ > 0) out_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
}

void ProgressLine::run() {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, kQuietStart, [this] { return stop_; })) return;
    do {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        std::string text = progress_text(compressor_, done_.load(std::memory_order_relaxed), total_, counted_,
                                         elapsed.count());
        const std::size_t length = text.size();
        if (length < shown_) text += std::string(shown_ - length, ' ');
        out_ << '\r' << text << std::flush;
        shown_ = std::max(shown_, length);
    } while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; }));
}

}  // namespace plinth::pack
