#include "package/payload.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "support/zlib_stream.h"

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Where zlib's inflater, which the installer once used, cut its input into pieces: sizes around
// it still make stored streams whose checksum straddles such a boundary.
constexpr std::size_t kInflateInputBufferSize = 32768;

// Deflates with the given window bits: 15 zlib, -15 raw deflate, 31 gzip.
Bytes deflate_bytes(const Bytes& data, int window_bits = 15, int level = Z_DEFAULT_COMPRESSION,
                    const Bytes* dictionary = nullptr) {
    return testing_support::deflate_with(data, window_bits, level, 8, dictionary);
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

// Output sizes around the 1 MiB steps in which the output is made writable, for content that
// fits the room reserved from the stream's size (incompressible) and for content that outgrows
// it (runs of a byte: several times smaller compressed), which makes the output move.
TEST(InflatePayload, RestoresContentAroundTheOutputGrowthSteps) {
    const std::size_t mib = 1024 * 1024;
    for (const std::size_t size : {mib - 1, mib, mib + 1, 3 * mib + 7}) {
        for (const bool runs : {false, true}) {
            Bytes data = sample(size);
            if (runs) {
                for (std::size_t i = 0; i < data.size(); ++i) data[i] = data[i - i % 64];
            }
            const auto inflated = inflate_payload(deflate_bytes(data));
            ASSERT_TRUE(inflated.ok()) << size << (runs ? " runs" : " incompressible");
            EXPECT_TRUE(*inflated == data) << size << (runs ? " runs" : " incompressible");
        }
    }
}

// The largest size allowed, at its boundary: the size itself inflates, one byte more is
// damaged. Boundaries at the start, inside and at the end of one of the inflater's 32 KiB
// output pieces, beyond the room reserved at first (runs of a byte) and within it.
TEST(InflatePayload, ContentLargerThanTheMaximumIsDamaged) {
    for (const std::size_t max_size : {std::size_t{0}, std::size_t{1}, std::size_t{1000}, std::size_t{32768},
                                       std::size_t{32769}, std::size_t{200000}}) {
        for (const bool runs : {false, true}) {
            const std::string what = std::to_string(max_size) + (runs ? " runs" : " incompressible");
            Bytes data = sample(max_size + 1);
            if (runs) std::fill(data.begin(), data.end(), 0x41);
            const Bytes over = deflate_bytes(data);
            const auto refused = inflate_payload(over, max_size);
            ASSERT_FALSE(refused.ok()) << what;
            EXPECT_EQ(refused.error().text, "The app inside the installer is damaged.") << what;

            data.pop_back();
            const auto inflated = inflate_payload(deflate_bytes(data), max_size);
            ASSERT_TRUE(inflated.ok()) << what;
            EXPECT_TRUE(*inflated == data) << what;
            // Without the injected maximum, the real one (2^31 - 1) lets the larger one through.
            EXPECT_TRUE(inflate_payload(over).ok()) << what;
        }
    }
}

// Content that outgrows the room reserved from the stream's size is inflated again into room of
// its exact size: the second pass checks the checksum and the end of the data as the first does.
TEST(InflatePayload, ContentBeyondTheFirstRoomIsCheckedLikeAnyOther) {
    const Bytes data(3 * 1024 * 1024 + 5, 0x41);  // hundreds of times smaller compressed
    const Bytes stream = deflate_bytes(data);
    ASSERT_LT(stream.size() * 4, data.size());
    Bytes changed = stream;
    changed.back() ^= 0x01;
    expect_damaged(changed, "checksum changed");
    expect_damaged(Bytes(stream.begin(), stream.end() - 4), "no checksum");
    expect_damaged(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2)),
                   "cut in the middle");
    const auto inflated = inflate_payload(stream);
    ASSERT_TRUE(inflated.ok());
    EXPECT_TRUE(*inflated == data);
    EXPECT_EQ(inflated->capacity(), data.size());
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

// The header of a zlib stream: CMF (method, window) and FLG with the check bits made valid.
Bytes with_header(Bytes stream, std::uint8_t cmf, std::uint8_t flags) {
    flags &= 0xE0;
    flags |= static_cast<std::uint8_t>(31 - ((cmf << 8) | flags) % 31) % 31;
    stream[0] = cmf;
    stream[1] = flags;
    return stream;
}

TEST(InflatePayload, EveryWindowUpTo32KiBIsAccepted) {
    const Bytes data = sample(5000);
    for (int bits = 9; bits <= 15; ++bits) {
        const auto inflated = inflate_payload(deflate_bytes(data, bits, 9));
        ASSERT_TRUE(inflated.ok()) << bits << " window bits";
        EXPECT_EQ(*inflated, data) << bits << " window bits";
    }
    // A header rewritten with its check bits still valid is taken as it is.
    EXPECT_TRUE(inflate_payload(with_header(deflate_bytes(data), 0x78, 0x80)).ok());
}

TEST(InflatePayload, HeaderThatDoesNotDescribeDeflateIsDamaged) {
    const Bytes stream = deflate_bytes(sample(1000));
    expect_damaged(with_header(stream, 0x88, 0x00), "64 KiB window");
    expect_damaged(with_header(stream, 0xF8, 0x00), "the largest window field");
    expect_damaged(with_header(stream, 0x77, 0x00), "method 7");
    expect_damaged(with_header(stream, 0x79, 0x00), "method 9");
    expect_damaged(with_header(stream, 0x78, 0x20), "preset dictionary flag");
    expect_damaged(Bytes{0x78}, "one header byte");
}

// The Adler-32 trailer read from the input buffer that holds the end of the deflate data, from
// the next one, and split between both (stored blocks: the stream's length follows the size).
TEST(InflatePayload, ChecksumIsReadAcrossInputBuffers) {
    bool split = false;
    for (std::size_t size = kInflateInputBufferSize - 12; size <= kInflateInputBufferSize - 2; ++size) {
        const Bytes data = sample(size);
        const Bytes payload = deflate_bytes(data, 15, 0);
        const std::size_t trailer = payload.size() - 4;
        const std::size_t buffer_end = 2 + kInflateInputBufferSize;  // the header isn't buffered
        split = split || (trailer < buffer_end && payload.size() > buffer_end);
        const auto inflated = inflate_payload(payload);
        ASSERT_TRUE(inflated.ok()) << size;
        EXPECT_EQ(*inflated, data) << size;
        Bytes changed = payload;
        changed.back() ^= 0x01;
        expect_damaged(changed, "checksum changed at size " + std::to_string(size));
    }
    EXPECT_TRUE(split) << "no size put the checksum across two input buffers";
}

// One inflater for a folder's files in a row, each into the same reused buffer: every file
// comes out whole whatever came before it, and every way a stream can disagree with the size
// its table gives is damage, without taking room for what the table claims.
TEST(FileInflater, FilesInARowComeOutWholeAndEveryMismatchIsDamage) {
    const Bytes large = sample(200000), small = sample(300), zeros(50000, 0);
    Bytes flipped = deflate_bytes(large);
    flipped[flipped.size() / 2] ^= 0x10;
    Bytes bad_check = deflate_bytes(small);
    bad_check.back() ^= 0x01;
    const Bytes whole = deflate_bytes(small);
    struct Case {
        const char* what;
        Bytes stream;
        std::size_t size;
        std::optional<Bytes> expected;  // nothing: damaged
    };
    const Case cases[] = {
        {"a large file", deflate_bytes(large), large.size(), large},
        {"then a small one in the same room", deflate_bytes(small), small.size(), small},
        {"an empty one", deflate_bytes({}), 0, Bytes{}},
        {"one that deflates a thousand to one", deflate_bytes(zeros, 15, 9), zeros.size(), zeros},
        {"a size one short", deflate_bytes(small), small.size() - 1, std::nullopt},
        {"a size one over", deflate_bytes(small), small.size() + 1, std::nullopt},
        {"a changed data byte", flipped, large.size(), std::nullopt},
        {"a changed checksum", bad_check, small.size(), std::nullopt},
        {"no checksum", Bytes(whole.begin(), whole.end() - 4), small.size(), std::nullopt},
        {"gzip", deflate_bytes(small, 31), small.size(), std::nullopt},
        {"raw deflate", deflate_bytes(small, -15), small.size(), std::nullopt},
        {"nothing at all", {}, 0, std::nullopt},
        {"2 GiB claimed of a tiny stream", deflate_bytes(small), 0x7fffffff, std::nullopt},
        {"still whole after all that", deflate_bytes(large), large.size(), large},
    };
    FileInflater inflater;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto inflated = inflater.inflate(c.stream, c.size);
        if (c.expected) {
            ASSERT_TRUE(inflated.ok());
            EXPECT_TRUE(std::equal(inflated->begin(), inflated->end(), c.expected->begin(), c.expected->end()));
        } else {
            ASSERT_FALSE(inflated.ok());
            EXPECT_EQ(inflated.error().text, "The app inside the installer is damaged.");
        }
    }
}

}  // namespace
}  // namespace plinth
