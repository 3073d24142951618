#include "sha256.h"

#include <array>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <nettle/sha2.h>
#endif

namespace plinth::pack {
namespace {

std::string hex(const std::array<std::uint8_t, 32>& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

}  // namespace

Result<std::string> sha256_hex(ByteView bytes) {
    std::array<std::uint8_t, 32> digest{};
#ifdef _WIN32
    // One call: the algorithm's provider, a hash object, the data and the result.
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
        return fail("SHA-256 isn't available from the system (BCrypt)");
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    for (std::size_t at = 0; done && at < bytes.size();) {
        const ULONG count = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        done = BCryptHashData(hash, const_cast<PUCHAR>(bytes.data() + at), count, 0) >= 0;
        at += count;
    }
    done = done && BCryptFinishHash(hash, digest.data(), digest.size(), 0) >= 0;
    if (hash != nullptr) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done) return fail("the SHA-256 can't be computed (BCrypt)");
#else
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    sha256_digest(&context, digest.size(), digest.data());
#endif
    return hex(digest);
}

}  // namespace plinth::pack
