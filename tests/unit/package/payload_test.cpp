#include "package/payload.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <numeric>
#include <string>
#include <vector>

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Deflates with the given window bits: 15 zlib, -15 raw deflate, 31 gzip.
Bytes deflate_bytes(const Bytes& data, int window_bits = 15, int level = Z_DEFAULT_COMPRESSION,
                    const Bytes* dictionary = nullptr) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    if (dictionary) {
        EXPECT_EQ(deflateSetDictionary(&stream, dictionary->data(), static_cast<uInt>(dictionary->size())), Z_OK);
    }
    Bytes out(deflateBound(&stream, data.size()) + 64);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Content that compresses poorly (so the stream spans several input buffers) and well.
Bytes sample(std::size_t size) {
    Bytes data(size);
    std::uint32_t state = 12345;
    for (auto& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return data;
}

void expect_damaged(const Bytes& payload, const std::string& what) {
    const auto inflated = inflate_payload(payload);
    ASSERT_FALSE(inflated.ok()) << what;
    EXPECT_EQ(inflated.error().text, "The app inside the installer is damaged.") << what;
}

TEST(InflatePayload, RestoresContentAcrossSizesAndLevels) {
    for (const std::size_t size : {std::size_t{1}, std::size_t{32768}, std::size_t{32769}, std::size_t{200000}}) {
        for (const int level : {0, 1, 9}) {
            const Bytes data = sample(size);
            const auto inflated = inflate_payload(deflate_bytes(data, 15, level));
            ASSERT_TRUE(inflated.ok()) << size << " at level " << level;
            EXPECT_EQ(*inflated, data) << size << " at level " << level;
        }
    }
}

TEST(InflatePayload, HighlyCompressibleContentGrowsTheOutputManyTimes) {
    const Bytes data(5 * 1024 * 1024, 0x41);
    const auto inflated = inflate_payload(deflate_bytes(data));
    ASSERT_TRUE(inflated.ok());
    EXPECT_EQ(*inflated, data);
}

TEST(InflatePayload, StreamOfNothingGivesNoBytes) {
    const auto inflated = inflate_payload(deflate_bytes({}));
    ASSERT_TRUE(inflated.ok());
    EXPECT_TRUE(inflated->empty());
}

TEST(InflatePayload, BytesAfterTheStreamAreIgnored) {
    const Bytes data = sample(70000);
    Bytes payload = deflate_bytes(data);
    payload.insert(payload.end(), 40000, 0xEE);  // reaches into a further input buffer
    const auto inflated = inflate_payload(payload);
    ASSERT_TRUE(inflated.ok());
    EXPECT_EQ(*inflated, data);
}

TEST(InflatePayload, EmptyPayloadIsDamaged) { expect_damaged({}, "empty"); }

TEST(InflatePayload, EveryTruncationIsDamaged) {
    const Bytes payload = deflate_bytes(sample(3000));
    for (std::size_t length = 0; length < payload.size(); ++length) {
        expect_damaged(Bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(length)),
                       "cut to " + std::to_string(length) + " of " + std::to_string(payload.size()));
    }
}

TEST(InflatePayload, ChangedChecksumOrHeaderIsDamaged) {
    const Bytes original = deflate_bytes(sample(3000));
    // Each byte of the Adler-32 checksum, and each header byte.
    for (std::size_t index : {original.size() - 4, original.size() - 3, original.size() - 2,
                              original.size() - 1, std::size_t{0}, std::size_t{1}}) {
        Bytes payload = original;
        payload[index] ^= 0x01;
        expect_damaged(payload, "byte " + std::to_string(index) + " changed");
    }
}

TEST(InflatePayload, ChangedDataByteIsDamaged) {
    // Stored blocks: every byte after the first block header's padding bits is checked (block
    // lengths against their complement, content against the checksum).
    const Bytes original = deflate_bytes(sample(3000), 15, 0);
    for (std::size_t index = 3; index < original.size(); index += 97) {
        Bytes payload = original;
        payload[index] ^= 0x40;
        expect_damaged(payload, "byte " + std::to_string(index) + " changed");
    }
    Bytes compressed = deflate_bytes(sample(3000), 15, 9);
    compressed[compressed.size() / 2] ^= 0x10;
    expect_damaged(compressed, "a compressed byte changed");
}

TEST(InflatePayload, OtherContainersAreDamaged) {
    const Bytes data = sample(1000);
    expect_damaged(deflate_bytes(data, -15), "raw deflate");
    expect_damaged(deflate_bytes(data, 31), "gzip");
    const Bytes dictionary = sample(64);
    expect_damaged(deflate_bytes(data, 15, Z_DEFAULT_COMPRESSION, &dictionary), "preset dictionary");
}

}  // namespace
}  // namespace plinth
