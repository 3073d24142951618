// SHA-256 of a whole file's bytes, for the update feed: nettle on Linux, BCrypt on Windows.
#pragma once

#include <string>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// The 64 lower-case hex digits.
Result<std::string> sha256_hex(ByteView bytes);

}  // namespace plinth::pack
