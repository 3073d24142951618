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

// The data deflated by zlib in one call with every setting given: window bits 15 for a zlib
// stream, -15 for raw deflate, 31 for gzip; a preset dictionary when there is one.
inline std::vector<std::uint8_t> deflate_with(std::span<const std::uint8_t> data, int window_bits, int level,
                                              int mem_level,
                                              const std::vector<std::uint8_t>* dictionary = nullptr) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, window_bits, mem_level, Z_DEFAULT_STRATEGY), Z_OK);
    if (dictionary) {
        EXPECT_EQ(deflateSetDictionary(&stream, dictionary->data(), static_cast<uInt>(dictionary->size())), Z_OK);
    }
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace plinth::testing_support
