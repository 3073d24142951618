// SHA-256 (FIPS 180-4) computed in our own code, for the host side: the packer's hashes in the
// winget manifests and the update feed, and the fake platform's hash that the runtime's tests
// use. The stub hashes with the system's BCrypt and never links this (its own small library).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace plinth {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The bytes may come in pieces of any size.
class Sha256State {
public:
    void add(std::span<const std::uint8_t> bytes);
    Sha256Digest finish();

private:
    std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint8_t block_[64] = {};
    std::size_t used_ = 0;
    std::uint64_t length_ = 0;
};

Sha256Digest sha256(std::span<const std::uint8_t> bytes);

}  // namespace plinth
