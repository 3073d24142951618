#include "platform/fake/fake_updates.h"

#include <algorithm>
#include <cstring>

#include "common/sha256.h"

namespace plinth::fake {
namespace {

constexpr platform::DownloadFailure kTimedOut{platform::DownloadFailure::Kind::system, 12002, {}};

// Whether a delay fits the wait it falls in; the clock moves by the delay, or by the wait when
// the wait ends first.
bool wait(FakeNetwork& network, std::uint32_t delay_ms, std::uint32_t limit_ms) {
    network.clock_ms += std::min(delay_ms, limit_ms);
    return delay_ms <= limit_ms;
}

class ServedDownload final : public platform::Download {
public:
    ServedDownload(FakeNetwork& network, const Served& served, std::uint32_t timeout_ms)
        : network_(network), served_(served), limit_ms_(timeout_ms) {}
    std::optional<std::uint64_t> announced_size() override {
        if (!served_.announce) return std::nullopt;
        return served_.announced_size.value_or(served_.body.size());
    }
    void limit_wait(std::uint32_t timeout_ms) override {
        network_.wait_limits.push_back(timeout_ms);
        limit_ms_ = timeout_ms;
    }
    Expected<std::size_t, platform::DownloadFailure> read(std::span<std::uint8_t> into) override {
        if (at_ < served_.body.size() && !wait(network_, served_.read_delay_ms, limit_ms_)) return unexpected(kTimedOut);
        if (served_.read_chunk != 0) into = into.first(std::min(into.size(), served_.read_chunk));
        std::size_t end = served_.body.size();
        if (served_.cut_after) {
            if (at_ >= *served_.cut_after) return unexpected(served_.cut_with);
            end = std::min(end, *served_.cut_after);
        }
        const std::size_t count = std::min(into.size(), end - at_);
        std::memcpy(into.data(), served_.body.data() + at_, count);
        at_ += count;
        return count;
    }

private:
    FakeNetwork& network_;
    Served served_;
    std::uint32_t limit_ms_;
    std::size_t at_ = 0;
};

// The tests' side of the comparison; the real one is BCrypt's.
class Sha256Hash final : public platform::Hash {
public:
    void add(std::span<const std::uint8_t> bytes) override { state_.add(bytes); }
    platform::Sha256 finish() override { return state_.finish(); }

private:
    Sha256State state_;
};

class Held final : public platform::HeldLock {
public:
    Held(std::set<std::u16string>& held, std::u16string name) : held_(held), name_(std::move(name)) {}
    ~Held() override { held_.erase(name_); }

private:
    std::set<std::u16string>& held_;
    std::u16string name_;
};

}  // namespace

Expected<Served*, platform::DownloadFailure> FakeNetwork::answer(const std::string& url, std::uint32_t timeout_ms) {
    requests.push_back(url);
    timeouts.push_back(timeout_ms);
    const auto found = served.find(url);
    if (found == served.end()) return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::system, 12029});
    Served& script = found->second;
    if (!wait(*this, script.answer_delay_ms, timeout_ms)) return unexpected(kTimedOut);
    if (script.refusal) return unexpected(*script.refusal);
    if (script.expires_after && script.answered >= *script.expires_after) {
        return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::status, 403, {}});
    }
    if (script.redirect_to) {
        return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::redirect, 302, *script.redirect_to});
    }
    if (!script.redirects_in_turn.empty()) {
        const std::size_t turn = std::min(script.answered++, script.redirects_in_turn.size() - 1);
        return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::redirect, 302,
                                                    script.redirects_in_turn[turn]});
    }
    ++script.answered;
    return &script;
}

Expected<std::unique_ptr<platform::Download>, platform::DownloadFailure> FakeNetwork::get(const std::string& url,
                                                                                       std::uint32_t timeout_ms) {
    auto script = answer(url, timeout_ms);
    if (!script) return unexpected(script.error());
    return std::unique_ptr<platform::Download>(std::make_unique<ServedDownload>(*this, **script, timeout_ms));
}

Expected<platform::RangeResponse, platform::DownloadFailure> FakeNetwork::get_range(const std::string& url,
                                                                                   std::uint64_t first,
                                                                                   std::uint64_t last,
                                                                                   std::uint32_t timeout_ms) {
    ranges_asked.push_back({url, first, last});
    auto script = answer(url, timeout_ms);
    if (!script) return unexpected(script.error());
    const Served& whole = **script;
    using Ranges = Served::Ranges;
    platform::RangeResponse response;
    if (whole.ranges == Ranges::ignored) {
        response.status = 200;
        response.body = std::make_unique<ServedDownload>(*this, whole, timeout_ms);
        return response;
    }
    const std::size_t size = whole.body.size();
    if (whole.ranges == Ranges::refused || first > last || first >= size) {
        return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::status,
                                                    whole.ranges == Ranges::refused ? whole.refused_with : 416, {}});
    }
    last = std::min<std::uint64_t>(last, size - 1);
    if (whole.ranges == Ranges::misplaced) {
        last -= first;
        first = 0;
    }
    Served part = whole;
    part.body = whole.body.substr(first, last - first + 1);
    part.announced_size.reset();
    if (whole.ranges == Ranges::cut_short) part.cut_after = part.body.size() / 2;
    response.status = 206;
    response.content_range = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size);
    response.body = std::make_unique<ServedDownload>(*this, part, timeout_ms);
    return response;
}

Expected<std::unique_ptr<platform::Hash>, std::uint32_t> FakeCrypto::sha256() {
    if (auto code = faults_.check("crypto.sha256")) return unexpected(*code);
    return std::unique_ptr<platform::Hash>(std::make_unique<Sha256Hash>());
}

platform::ErrorCode FakeCrypto::random(std::span<std::uint8_t> into) {
    if (auto code = faults_.check("crypto.random")) return *code;
    for (std::uint8_t& byte : into) byte = next_random_++;
    return 0;
}

platform::Signature FakeCrypto::signature(const Path& file, platform::HeldFile* held) {
    checked.emplace_back(file, held != nullptr);
    const auto found = signatures.find(file);
    return found == signatures.end() ? unlisted : found->second;
}

void PrintTo(const RangeAsked& asked, std::ostream* out) {
    *out << asked.url << " bytes=" << asked.first << "-" << asked.last;
}

platform::Sha256 sha256_of(std::string_view bytes) {
    return sha256({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

Expected<std::unique_ptr<platform::HeldLock>, platform::ErrorCode> FakeLocks::acquire(const std::u16string& name,
                                                                                    std::uint32_t) {
    if (!held.insert(name).second) return unexpected(platform::ErrorCode{258});
    return std::unique_ptr<platform::HeldLock>(std::make_unique<Held>(held, name));
}

}  // namespace plinth::fake
