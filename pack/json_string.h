// A text as a JSON string literal, for the documents and messages the packer writes.
#pragma once

#include <string>
#include <string_view>

namespace plinth::pack {

// Quoted: the quote, the backslash and control characters escaped, everything else as it is
// (a malformed byte sequence becomes U+FFFD, so the result is always valid JSON).
std::string json_string(std::string_view text);

}  // namespace plinth::pack
