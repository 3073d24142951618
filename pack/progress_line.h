// One updating line on standard error while a long pack compresses: shown only on a terminal, and
// only once the work has taken a second, so that quick packs and logs stay clean.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace plinth::pack {

// Whether the process's standard error is a terminal (a console window on Windows).
bool standard_error_is_terminal();

// "compressing with zlib: 45% of 50.0 MB, 12.3 MB/s". Without `counted` (a compressor that
// reports nothing until it is done) the line has the size and the time so far instead. Once
// `done` reaches `total`: "compressed 50.0 MB with zlib, 12.3 MB/s; checking the stream".
std::string progress_text(std::string_view compressor, std::uint64_t done, std::uint64_t total, bool counted,
                          double seconds);

class ProgressLine {
public:
    // Does nothing at all unless `enabled`.
    ProgressLine(std::ostream& out, bool enabled, std::string compressor, std::uint64_t total, bool counted);
    ~ProgressLine();  // stops and clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // How many input bytes are done; any thread may call it.
    void update(std::uint64_t done) { done_.store(done, std::memory_order_relaxed); }

private:
    struct Worker;
    void run(Worker& worker);

    std::ostream& out_;
    const std::string compressor_;
    const std::uint64_t total_;
    const bool counted_;
    const std::chrono::steady_clock::time_point start_;
    std::atomic<std::uint64_t> done_{0};
    std::size_t shown_ = 0;  // length of the line on screen
    // The drawing thread and its stop signal. The Windows packer is built with the win32 thread
    // model (so that the stub carries no pthread emulation), where std::thread doesn't exist.
    std::unique_ptr<Worker> worker_;
};

}  // namespace plinth::pack
