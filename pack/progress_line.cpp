#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
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

#ifdef _WIN32

struct ProgressLine::Worker {
    HANDLE stop = nullptr;
    HANDLE thread = nullptr;
    ProgressLine* line = nullptr;

    // True when stopped within `wait`.
    template <class Duration>
    bool stopped_within(Duration wait) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
        return WaitForSingleObject(stop, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
    }
    static DWORD WINAPI start(void* self) {
        auto& worker = *static_cast<Worker*>(self);
        worker.line->run(worker);
        return 0;
    }
    ~Worker() {
        if (thread != nullptr) {
            SetEvent(stop);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        if (stop != nullptr) CloseHandle(stop);
    }
};

ProgressLine::ProgressLine(std::ostream& out, bool enabled, std::string compressor, std::uint64_t total, bool counted)
    : out_(out), compressor_(std::move(compressor)), total_(total), counted_(counted),
      start_(std::chrono::steady_clock::now()) {
    if (!enabled) return;
    auto worker = std::make_unique<Worker>();
    worker->line = this;
    worker->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (worker->stop == nullptr) return;  // no progress line; the pack goes on
    worker->thread = CreateThread(nullptr, 0, &Worker::start, worker.get(), 0, nullptr);
    if (worker->thread == nullptr) return;
    worker_ = std::move(worker);
}

#else

struct ProgressLine::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;

    template <class Duration>
    bool stopped_within(Duration wait) {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, wait, [this] { return stop; });
    }
    ~Worker() {
        if (!thread.joinable()) return;
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
        thread.join();
    }
};

ProgressLine::ProgressLine(std::ostream& out, bool enabled, std::string compressor, std::uint64_t total, bool counted)
    : out_(out), compressor_(std::move(compressor)), total_(total), counted_(counted),
      start_(std::chrono::steady_clock::now()) {
    if (!enabled) return;
    worker_ = std::make_unique<Worker>();
    worker_->thread = std::thread([this, worker = worker_.get()] { run(*worker); });
}

#endif

ProgressLine::~ProgressLine() {
    if (!worker_) return;
    worker_.reset();  // stops the thread and waits for it
    if (shown_ > 0) out_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
}

void ProgressLine::run(Worker& worker) {
    if (worker.stopped_within(kQuietStart)) return;
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
    } while (!worker.stopped_within(kRedraw));
}

}  // namespace plinth::pack
