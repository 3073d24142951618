// SHA-256 (FIPS 180-4), for the installer's hash in the winget manifests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "byte_io.h"

namespace plinth::pack {

std::array<std::uint8_t, 32> sha256(ByteView bytes);

// The digest as 64 upper-case hex digits, as winget manifests write it.
std::string sha256_hex(ByteView bytes);

}  // namespace plinth::pack
