// The installer's SHA-256 as the winget manifests and the update feed write it.
#pragma once

#include <string>

#include "byte_io.h"
#include "common/sha256.h"

namespace plinth::pack {

// The digest as 64 hex digits: upper case as winget manifests write it, lower case as the
// update feed does.
std::string sha256_hex(ByteView bytes, bool upper_case = true);

}  // namespace plinth::pack
