#include "compressor.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <numeric>

#include "compression/lzma_stream.h"
#include "content_pieces.h"
#include "lzma_compressor.h"
#include "package/lzma_payload.h"
#include "platform/fake/fake_process.h"
#include "package/payload.h"
#include "support/zlib_stream.h"

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
            const Bytes& bytes = stream->bytes;
            ASSERT_GE(bytes.size(), 2u);
            EXPECT_EQ(bytes[0] & 0x0f, 8) << "deflate method";
            EXPECT_EQ((bytes[0] << 8 | bytes[1]) % 31, 0) << "header check bits";
            EXPECT_EQ(*inflate_payload(bytes), data) << compressor_name(c);
            EXPECT_EQ(compress(c, data)->bytes, bytes) << compressor_name(c) << " must be deterministic";
            // The pieces cover the stream; the last is the final empty block and the Adler-32.
            ASSERT_GE(stream->pieces.size(), 2u);
            EXPECT_EQ(std::accumulate(stream->pieces.begin(), stream->pieces.end(), std::size_t{0}), bytes.size());
            EXPECT_EQ(stream->pieces.back(), 6u);
            EXPECT_EQ(std::count(stream->pieces.begin(), stream->pieces.end(), 0u), 0);
            if (data.size() > 1000) {
                EXPECT_LT(bytes.size(), data.size() * 3 / 4);
                EXPECT_EQ(stream->pieces.size(), content_pieces(data).size() + 1);
            }
            auto whole = compress_whole(c, data);
            ASSERT_TRUE(whole.ok());
            EXPECT_EQ(*inflate_payload(*whole), data);
        }
    }
}

// Raw deflate data that zlib inflates to `expected` without reaching a final block: a piece that
// needs no byte before it and ends on a byte boundary with its last block open.
::testing::AssertionResult inflates_alone(ByteView piece, ByteView expected) {
    Bytes out(expected.size() + 1);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(piece.data());
    z.avail_in = static_cast<uInt>(piece.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_SYNC_FLUSH);
    const std::size_t made = z.total_out;
    const unsigned left = z.avail_in;
    const int pending_bits = z.data_type & 7;  // bits of the last byte taken, not yet used
    const bool in_last_block = (z.data_type & 64) != 0;
    inflateEnd(&z);
    if (status != Z_OK) return ::testing::AssertionFailure() << "zlib said " << status;
    if (left != 0 || pending_bits != 0) return ::testing::AssertionFailure() << "it doesn't end on a byte boundary";
    if (in_last_block) return ::testing::AssertionFailure() << "its last block is final";
    if (!std::equal(out.begin(), out.begin() + made, expected.begin(), expected.end())) {
        return ::testing::AssertionFailure() << "it makes other bytes";
    }
    return ::testing::AssertionSuccess();
}

// Each piece of each compressor stands alone: it inflates by itself, with no byte before it, to
// its share of the data; so it is the same bytes wherever the same data lies in a file.
TEST(Compressor, EachPieceInflatesAloneAndTheSameDataGivesTheSamePiece) {
    const Bytes data = sample(900000);
    const auto cuts = content_pieces(data);
    ASSERT_GE(cuts.size(), 4u);
    for (Compressor c : available_compressors()) {
        SCOPED_TRACE(compressor_name(c));
        if (c == Compressor::zopfli) continue;  // below, on less data: zopfli takes seconds a piece
        auto stream = compress(c, data);
        ASSERT_TRUE(stream.ok());
        std::size_t at = 2, raw = 0;
        for (std::size_t i = 0; i + 1 < stream->pieces.size(); ++i) {
            const std::size_t length = stream->pieces[i] - (i == 0 ? 2 : 0);
            EXPECT_TRUE(inflates_alone(ByteView(stream->bytes).subspan(at, length), ByteView(data).subspan(raw, cuts[i])))
                << "piece " << i;
            at += length;
            raw += cuts[i];
        }
    }
    // The data with 1,000 bytes put in front: every piece after the first two is found again.
    Bytes moved = sample(1000);
    moved.insert(moved.end(), data.begin(), data.begin() + 700000);
    const Bytes shorter(data.begin(), data.begin() + 700000);
    for (Compressor c : available_compressors()) {
        SCOPED_TRACE(compressor_name(c));
        auto before = compress(c, shorter);
        auto after = compress(c, moved);
        ASSERT_TRUE(before.ok() && after.ok());
        auto pieces_of = [](const PiecedStream& s) {
            std::vector<Bytes> list;
            std::size_t at = 0;
            for (std::uint32_t length : s.pieces) {
                list.emplace_back(s.bytes.begin() + at, s.bytes.begin() + at + length);
                at += length;
            }
            return list;
        };
        const auto old_pieces = pieces_of(*before);
        const auto new_pieces = pieces_of(*after);
        std::size_t found = 0;
        for (std::size_t i = 1; i + 1 < old_pieces.size(); ++i) {
            found += std::find(new_pieces.begin(), new_pieces.end(), old_pieces[i]) != new_pieces.end() ? 1 : 0;
        }
        ASSERT_GE(old_pieces.size(), 5u);
        EXPECT_GE(found + 3, old_pieces.size()) << found << " of " << old_pieces.size();
    }
}

TEST(Compressor, EveryCompressorTellsItsProgressAPieceAtATime) {
    const Bytes data = sample(900000);
    for (Compressor c : available_compressors()) {
        if (c == Compressor::zopfli) continue;
        std::vector<std::uint64_t> told;
        auto stream = compress(c, data, [&](std::uint64_t done) { told.push_back(done); });
        ASSERT_TRUE(stream.ok());
        EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
        EXPECT_EQ(told.back(), data.size());
        EXPECT_GE(told.size(), content_pieces(data).size());
        EXPECT_TRUE(reports_progress(c));
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

// LZMA (lzma_compressor.h): the packer's encoder against the stub's reader and decoder.
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
