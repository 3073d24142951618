// The update's seam in memory: a network that serves scripted responses (bodies, redirects,
// statuses, failures part-way), SHA-256 and signatures, and named locks shared by the "processes"
// of one test.
#pragma once

#include <map>
#include <ostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

// What the server does for one URL. Time passes only on the network's clock, by the delays
// given here; a delay longer than the wait it falls in fails as WinHTTP's timeout (12002) once
// that wait has passed.
struct Served {
    std::string body;
    std::optional<std::string> redirect_to;  // a 302 with this Location
    std::optional<platform::DownloadFailure> refusal;  // get() fails so
    std::uint32_t answer_delay_ms = 0;  // before the response's headers
    std::uint32_t read_delay_ms = 0;    // before each read's bytes
    std::size_t read_chunk = 0;         // at most this many bytes a read; 0: as many as asked
    std::optional<std::uint64_t> announced_size;  // default: the body's size; 0 sends none
    bool announce = true;
    // After this many bytes, read() fails with `cut_with` (a server that stops answering).
    std::optional<std::size_t> cut_after;
    platform::DownloadFailure cut_with{platform::DownloadFailure::Kind::system, 12002};
    // How it answers a GET of a range: with exactly that range, with the whole file (200), with
    // a status (`refused_with`), with fewer bytes than its Content-Range says, or with another
    // range than the one asked.
    enum class Ranges { honoured, ignored, refused, cut_short, misplaced };
    Ranges ranges = Ranges::honoured;
    std::uint32_t refused_with = 416;
    // After this many answers, every request fails with status 403 (a signed URL that expired).
    std::optional<std::size_t> expires_after;
    // Each answer a 302 to the next of these (the last one repeats), as a host that signs a new
    // URL for each request.
    std::vector<std::string> redirects_in_turn;
    std::size_t answered = 0;
};

// A GET of a range, as the server saw it.
struct RangeAsked {
    std::string url;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    bool operator==(const RangeAsked&) const = default;
};
// For test failures: "url bytes=first-last".
void PrintTo(const RangeAsked& asked, std::ostream* out);

class FakeNetwork : public platform::Network {
public:
    explicit FakeNetwork(FaultPlan&) {}
    Expected<std::unique_ptr<platform::Download>, platform::DownloadFailure> get(const std::string& url,
                                                                               std::uint32_t timeout_ms) override;
    Expected<platform::RangeResponse, platform::DownloadFailure> get_range(const std::string& url, std::uint64_t first,
                                                                           std::uint64_t last,
                                                                           std::uint32_t timeout_ms) override;

    std::uint64_t milliseconds() override { return clock_ms; }

    // An unknown URL fails as an unreachable server (WinHTTP error 12029).
    std::map<std::string, Served> served;
    std::vector<std::string> requests;
    std::vector<std::uint32_t> timeouts;
    std::vector<std::uint32_t> wait_limits;  // of every limit_wait, in order
    std::uint64_t clock_ms = 1'000'000;
    std::vector<RangeAsked> ranges_asked;

private:
    // The URL's script, counted as answered, or why it is not answered.
    Expected<Served*, platform::DownloadFailure> answer(const std::string& url, std::uint32_t timeout_ms);
};

class FakeCrypto : public platform::Crypto {
public:
    explicit FakeCrypto(FaultPlan& faults) : faults_(faults) {}
    Expected<std::unique_ptr<platform::Hash>, std::uint32_t> sha256() override;
    platform::ErrorCode random(std::span<std::uint8_t> into) override;
    platform::Signature signature(const Path& file, platform::HeldFile* held) override;

    // By path, compared exactly; any other file has `unlisted` (unsigned unless set).
    std::map<Path, platform::Signature> signatures;
    platform::Signature unlisted;
    // The path of every check, and whether it was made through a held file.
    std::vector<std::pair<Path, bool>> checked;

private:
    FaultPlan& faults_;
    std::uint8_t next_random_ = 1;
};

// The SHA-256 of the bytes, computed here, for tests that write feeds.
platform::Sha256 sha256_of(std::string_view bytes);

class FakeLocks : public platform::Locks {
public:
    explicit FakeLocks(FaultPlan&) {}
    // A name already held (by this fake's other holder) times out at once.
    Expected<std::unique_ptr<platform::HeldLock>, platform::ErrorCode> acquire(const std::u16string& name,
                                                                             std::uint32_t timeout_ms) override;
    std::set<std::u16string> held;
};

}  // namespace plinth::fake
