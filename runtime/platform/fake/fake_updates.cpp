#include "platform/fake/fake_updates.h"

#include <algorithm>
#include <cstring>

namespace plinth::fake {
namespace {

class ServedDownload final : public platform::Download {
public:
    ServedDownload(const std::string& url, const Served& served) : url_(url), served_(served) {}
    std::string final_url() override { return served_.redirected_to.value_or(url_); }
    std::optional<std::uint64_t> announced_size() override {
        if (!served_.announce) return std::nullopt;
        return served_.announced_size.value_or(served_.body.size());
    }
    Expected<std::size_t, platform::DownloadFailure> read(std::span<std::uint8_t> into) override {
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
    std::string url_;
    Served served_;
    std::size_t at_ = 0;
};

// FIPS 180-4, for the tests' side of the comparison; the real one is BCrypt's.
class Sha256State final : public platform::Hash {
public:
    void add(std::span<const std::uint8_t> bytes) override {
        for (std::uint8_t byte : bytes) {
            block_[used_++] = byte;
            length_ += 8;
            if (used_ == 64) compress();
        }
    }
    platform::Sha256 finish() override {
        const std::uint64_t bits = length_;
        const std::uint8_t one = 0x80;
        add({&one, 1});
        const std::uint8_t zero = 0;
        while (used_ != 56) add({&zero, 1});
        for (int shift = 56; shift >= 0; shift -= 8) {
            const auto byte = static_cast<std::uint8_t>(bits >> shift);
            add({&byte, 1});
        }
        platform::Sha256 out{};
        for (int i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(h_[i / 4] >> (24 - 8 * (i % 4)));
        return out;
    }

private:
    static std::uint32_t rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress() {
        static const std::uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            w[i] = std::uint32_t(block_[4 * i]) << 24 | std::uint32_t(block_[4 * i + 1]) << 16 |
                   std::uint32_t(block_[4 * i + 2]) << 8 | block_[4 * i + 3];
        }
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t v[8];
        std::copy(h_, h_ + 8, v);
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25);
            const std::uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const std::uint32_t t1 = v[7] + s1 + choice + k[i] + w[i];
            const std::uint32_t s0 = rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22);
            const std::uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            std::copy_backward(v, v + 7, v + 8);
            v[4] += t1;
            v[0] = t1 + s0 + majority;
        }
        for (int i = 0; i < 8; ++i) h_[i] += v[i];
        used_ = 0;
    }

    std::uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint8_t block_[64] = {};
    int used_ = 0;
    std::uint64_t length_ = 0;
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
    if (found->second.refusal) return unexpected(*found->second.refusal);
    return std::unique_ptr<platform::Download>(std::make_unique<ServedDownload>(url, found->second));
}

Expected<std::unique_ptr<platform::Hash>, std::uint32_t> FakeCrypto::sha256() {
    if (auto code = faults_.check("crypto.sha256")) return unexpected(*code);
    return std::unique_ptr<platform::Hash>(std::make_unique<Sha256State>());
}

platform::ErrorCode FakeCrypto::random(std::span<std::uint8_t> into) {
    if (auto code = faults_.check("crypto.random")) return *code;
    for (std::uint8_t& byte : into) byte = next_random_++;
    return 0;
}

platform::Signature FakeCrypto::signature(const Path& file) {
    const auto found = signatures.find(file);
    return found == signatures.end() ? unlisted : found->second;
}

platform::Sha256 sha256_of(std::string_view bytes) {
    Sha256State state;
    state.add({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return state.finish();
}

Expected<std::unique_ptr<platform::HeldLock>, platform::ErrorCode> FakeLocks::acquire(const std::u16string& name,
                                                                                    std::uint32_t) {
    if (!held.insert(name).second) return unexpected(platform::ErrorCode{258});
    return std::unique_ptr<platform::HeldLock>(std::make_unique<Held>(held, name));
}

}  // namespace plinth::fake
