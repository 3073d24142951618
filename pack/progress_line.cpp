#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <optional>

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
    const std::string size = one_decimal(static_cast<double>(total) / 1e6) + " MB";
    const std::string speed = seconds > 0 ? one_decimal(static_cast<double>(std::min(done, total)) / 1e6 / seconds) + " MB/s"
                                          : std::string();
    if (done >= total) {
        return "compressed " + size + " with " + std::string(compressor) + (speed.empty() ? "" : ", " + speed) +
               "; checking the stream";
    }
    std::string text = "compressing with " + std::string(compressor) + ": ";
    if (!counted) return text + size + ", " + std::to_string(static_cast<long>(seconds)) + " s so far";
    text += std::to_string(done * 100 / total) + "% of " + size;
    return speed.empty() ? text : text + ", " + speed;
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
    std::optional<double> finished;  // when the compressor was done: its speed stays as it was
    do {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        const std::uint64_t done = done_.load(std::memory_order_relaxed);
        if (done >= total_ && !finished) finished = elapsed.count();
        std::string text = progress_text(compressor_, done, total_, counted_, finished.value_or(elapsed.count()));
        const std::size_t length = text.size();
        if (length < shown_) text += std::string(shown_ - length, ' ');
        out_ << '\r' << text << std::flush;
        shown_ = std::max(shown_, length);
    } while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; }));
}

}  // namespace plinth::pack
