// SHA-256 (FIPS 180-4), for the installer's hash in the winget manifests and the update feed.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "byte_io.h"

namespace plinth::pack {

std::array<std::uint8_t, 32> sha256(ByteView bytes);

// The digest as 64 hex digits: upper case as winget manifests write it, lower case as the
// update feed does.
std::string sha256_hex(ByteView bytes, bool upper_case = true);

}  // namespace plinth::pack
