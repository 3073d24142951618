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

Expected<std::unique_ptr<platform::Download>, platform::DownloadFailure> FakeNetwork::get(const std::string& url,
                                                                                       std::uint32_t timeout_ms) {
    requests.push_back(url);
    timeouts.push_back(timeout_ms);
    const auto found = served.find(url);
    if (found == served.end()) return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::system, 12029});
    if (!wait(*this, found->second.answer_delay_ms, timeout_ms)) return unexpected(kTimedOut);
    if (found->second.refusal) return unexpected(*found->second.refusal);
    if (found->second.redirect_to) {
        return unexpected(platform::DownloadFailure{platform::DownloadFailure::Kind::redirect, 302, *found->second.redirect_to});
    }
    return std::unique_ptr<platform::Download>(std::make_unique<ServedDownload>(*this, found->second, timeout_ms));
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

platform::Sha256 sha256_of(std::string_view bytes) {
    return sha256({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

Expected<std::unique_ptr<platform::HeldLock>, platform::ErrorCode> FakeLocks::acquire(const std::u16string& name,
                                                                                    std::uint32_t) {
    if (!held.insert(name).second) return unexpected(platform::ErrorCode{258});
    return std::unique_ptr<platform::HeldLock>(std::make_unique<Held>(held, name));
}

}  // namespace plinth::fake
