// Payloads for test packages: a zlib stream, as the packer writes one.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace plinth::testing_support {

inline std::vector<std::uint8_t> zlib_stream(std::span<const std::uint8_t> data,
                                             int level = Z_DEFAULT_COMPRESSION) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), level), Z_OK);
    out.resize(size);
    return out;
}

inline std::vector<std::uint8_t> zlib_stream(std::string_view text, int level = Z_DEFAULT_COMPRESSION) {
    return zlib_stream(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), level);
}

}  // namespace plinth::testing_support
