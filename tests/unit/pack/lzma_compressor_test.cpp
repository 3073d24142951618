// The LZMA streams end to end: the packer's encoder against the stub's reader and decoder.
#include "lzma_compressor.h"

#include <gtest/gtest.h>

#include <numeric>

#include "compression/lzma_stream.h"
#include "platform/fake/fake_process.h"
#include "package/lzma_payload.h"
#include "package/payload.h"

namespace plinth::pack {
namespace {

// Code-like bytes: structure with variation, and long enough for several pieces.
Bytes sample(std::size_t size) {
    Bytes bytes(size);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        bytes[i] = (i % 64 < 40) ? static_cast<std::uint8_t>(i / 64) : static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

TEST(LzmaCompressor, StreamsDecodeBackInPiecesThatAddUpAndAreTheSameEveryTime) {
    for (const Bytes& data : {Bytes{}, Bytes{42}, sample(3 << 20)}) {
        SCOPED_TRACE(data.size());
        auto stream = compress(Compressor::lzma, data);
        ASSERT_TRUE(stream.ok()) << stream.error().text;
        const Bytes& bytes = stream->bytes;
        EXPECT_EQ(compress(Compressor::lzma, data)->bytes, bytes);
        EXPECT_TRUE(is_lzma_stream(bytes));
        EXPECT_EQ(std::accumulate(stream->pieces.begin(), stream->pieces.end(), std::size_t{0}), bytes.size());
        const auto pieces = read_lzma_pieces(bytes, data.size());
        ASSERT_TRUE(pieces);
        EXPECT_EQ(stream->pieces.size(), std::max<std::size_t>(1, pieces->pieces.size()));
        EXPECT_EQ(pieces->pieces.size(), content_pieces(data, kLzmaPieces).size());
        EXPECT_EQ(*inflate_payload(bytes), data);  // one thread
        fake::FaultPlan faults;
        fake::FakeSession session(faults);
        EXPECT_EQ(*decode_lzma_payload(bytes, kMaxAppSize, &session), data);
        EXPECT_EQ(session.workers_started, pieces->pieces.size() > 1 ? 1 : 0);
        EXPECT_TRUE(stream_size_possible(bytes, data.size()));
        EXPECT_FALSE(stream_size_possible(bytes, data.size() + 1));
        // A file's stream, as an app folder's files are decoded, into room of its size.
        FileInflater files;
        auto file = files.inflate(bytes, data.size());
        ASSERT_TRUE(file.ok());
        EXPECT_TRUE(std::equal(file->begin(), file->end(), data.begin(), data.end()));
        EXPECT_FALSE(files.inflate(bytes, data.size() + 1).ok());
    }
}

TEST(LzmaCompressor, ADamagedPieceIsTheDamagedAppWhicheverThreadDecodesIt) {
    const Bytes data = sample(3 << 20);
    const Bytes good = compress(Compressor::lzma, data)->bytes;
    const auto pieces = read_lzma_pieces(good, data.size());
    ASSERT_TRUE(pieces && pieces->pieces.size() >= 3);
    for (const std::size_t piece : {std::size_t{0}, pieces->pieces.size() - 1}) {
        const LzmaPiece& at = pieces->pieces[piece];
        for (const std::size_t within : {std::size_t{0}, at.packed.size() / 2, at.packed.size() - 1}) {
            Bytes damaged = good;
            damaged[at.packed.data() - good.data() + within] ^= 0x40;
            fake::FaultPlan faults;
            fake::FakeSession session(faults);
            const auto decoded = decode_lzma_payload(damaged, kMaxAppSize, &session);
            ASSERT_FALSE(decoded.ok()) << piece << " at " << within;
            EXPECT_EQ(decoded.error().text, "The app inside the installer is damaged.");
            EXPECT_FALSE(FileInflater().inflate(damaged, data.size()).ok());
        }
    }
}

}  // namespace
}  // namespace plinth::pack
