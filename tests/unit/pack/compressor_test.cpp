#include "compressor.h"

#include <gtest/gtest.h>

#include "package/payload.h"

namespace plinth::pack {
namespace {

// Exe-like data: repeated structure with variation, compressible but not trivially.
Bytes sample(std::size_t size) {
    Bytes bytes(size);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        bytes[i] = (i % 64 < 40) ? static_cast<std::uint8_t>(i / 64) : static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

TEST(Compressor, EveryAvailableCompressorWritesAZlibStreamTheRuntimeInflates) {
    for (const Bytes& data : {Bytes{}, Bytes{42}, sample(200000)}) {
        for (Compressor c : available_compressors()) {
            auto stream = compress(c, data);
            ASSERT_TRUE(stream.ok()) << compressor_name(c) << ": " << stream.error().text;
            ASSERT_GE(stream->size(), 2u);
            EXPECT_EQ((*stream)[0] & 0x0f, 8) << "deflate method";
            EXPECT_EQ(((*stream)[0] << 8 | (*stream)[1]) % 31, 0) << "header check bits";
            EXPECT_EQ(*inflate_payload(*stream), data) << compressor_name(c);
            EXPECT_EQ(*compress(c, data), *stream) << compressor_name(c) << " must be deterministic";
            if (data.size() > 1000) {
                EXPECT_LT(stream->size(), data.size() * 3 / 4);
            }
        }
    }
}

TEST(Compressor, NamesRoundTripAndUnknownNamesAreRejected) {
    for (Compressor c : {Compressor::zlib, Compressor::libdeflate, Compressor::zopfli}) {
        EXPECT_EQ(compressor_from_name(compressor_name(c)), c);
    }
    EXPECT_FALSE(compressor_from_name("gzip").has_value());
    EXPECT_FALSE(compressor_from_name("ZLIB").has_value());
    const auto available = available_compressors();
    EXPECT_EQ(available.front(), Compressor::zlib);
    EXPECT_NE(std::find(available.begin(), available.end(), default_compressor()), available.end());
}

}  // namespace
}  // namespace plinth::pack
