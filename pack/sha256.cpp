#include "sha256.h"

namespace plinth::pack {

std::string sha256_hex(ByteView bytes, bool upper_case) {
    const char* kDigits = upper_case ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string hex;
    for (std::uint8_t byte : sha256(bytes)) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

}  // namespace plinth::pack
