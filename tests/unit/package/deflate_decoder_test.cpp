#include "package/deflate_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/zlib_stream.h"

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Deflate data written bit by bit, the first bit in the lowest bit of a byte.
struct BitWriter {
    Bytes bytes;
    unsigned used = 8;
    BitWriter& bits(unsigned value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            if (used == 8) bytes.push_back(0), used = 0;
            bytes.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << used++);
        }
        return *this;
    }
    // A Huffman code: its most significant bit first.
    BitWriter& code(unsigned value, unsigned count) {
        for (unsigned i = count; i-- > 0;) bits(value >> i, 1);
        return *this;
    }
    BitWriter& align() {
        used = 8;
        return *this;
    }
    BitWriter& raw(const Bytes& more) {
        align();
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
};

// The canonical codes of a set of code lengths.
std::vector<unsigned> canonical_codes(const Bytes& lengths) {
    unsigned count[16] = {}, next[16] = {};
    for (auto length : lengths) ++count[length];
    count[0] = 0;
    for (unsigned bits = 1, code = 0; bits < 16; ++bits) next[bits] = code = (code + count[bits - 1]) << 1;
    std::vector<unsigned> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
    }
    return codes;
}

// A final dynamic block: its literal/length and distance code lengths, sent through a code length
// code (13 symbols of 4 bits and 6 of 5 unless given) one length at a time or as the `tokens`
// given (code length symbol, extra bits), then literal/length symbols without distances.
struct Dynamic {
    Bytes literal_lengths, distance_lengths;
    std::vector<unsigned> body;
    std::vector<std::pair<unsigned, unsigned>> tokens;
    Bytes length_code = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
};

Bytes dynamic_block(const Dynamic& block) {
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitWriter out;
    out.bits(1, 1).bits(2, 2);
    out.bits(static_cast<unsigned>(block.literal_lengths.size()) - 257, 5);
    out.bits(static_cast<unsigned>(block.distance_lengths.size()) - 1, 5);
    out.bits(15, 4);
    for (unsigned symbol : order) out.bits(block.length_code[symbol], 3);
    const auto length_codes = canonical_codes(block.length_code);
    auto tokens = block.tokens;
    if (tokens.empty()) {
        for (auto length : block.literal_lengths) tokens.push_back({length, 0});
        for (auto length : block.distance_lengths) tokens.push_back({length, 0});
    }
    for (auto [symbol, extra] : tokens) {
        out.code(length_codes[symbol], block.length_code[symbol]);
        if (symbol >= 16) out.bits(extra, symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
    }
    const auto literal_codes = canonical_codes(block.literal_lengths);
    for (unsigned symbol : block.body) out.code(literal_codes[symbol], block.literal_lengths[symbol]);
    return out.bytes;
}

// Literal/length code lengths: 'a', 'b' and the end of the block, two bits each, and the rest given.
Bytes literals(std::initializer_list<std::pair<unsigned, std::uint8_t>> more = {}, std::size_t count = 257) {
    Bytes lengths(count, 0);
    lengths['a'] = lengths['b'] = lengths[256] = 2;
    lengths['c'] = 2;
    for (auto [symbol, length] : more) lengths[symbol] = length;
    return lengths;
}

// zlib's verdict on raw deflate data, and what it makes.
std::optional<Bytes> zlib_inflate(const Bytes& data) {
    Bytes out(1 << 16);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    if (status != Z_STREAM_END) return std::nullopt;
    return out;
}

std::optional<Bytes> ours(const Bytes& data) {
    Bytes out(1 << 16);
    const auto decoded = decode_deflate(data, out, out.size());
    if (!decoded.ok) return std::nullopt;
    out.resize(decoded.total);
    return out;
}

Bytes text(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

// Crafted data that zlib takes or refuses, each for a rule of the format: ours agrees, and
// what zlib makes of it is what the row expects (so that each row tests what it says).
TEST(DeflateDecoder, CraftedDataGetsZlibsVerdict) {
    const Bytes abc = text("abc");
    // 'a' to 'd' of three bits, the end of the block of one, code 257 unused; a distance code of
    // one bit after two unused ones. Sent with every kind of repeat.
    Bytes repeated(258, 0);
    std::fill(repeated.begin() + 'a', repeated.begin() + 'e', 3);
    repeated[256] = 1;
    const std::vector<std::pair<unsigned, unsigned>> repeats = {
        {18, 97 - 11}, {3, 0}, {16, 0}, {18, 138 - 11}, {17, 10 - 3}, {17, 7 - 3}, {1, 0}, {17, 0}, {1, 0}};
    auto repeats_beyond = repeats;
    repeats_beyond.back() = {17, 0};
    struct Case {
        const char* what;
        Bytes data;
        std::optional<Bytes> expected;  // nothing: refused
    };
    const Case cases[] = {
        {"a stored block", BitWriter().bits(1, 1).bits(0, 2).raw({3, 0, 0xfc, 0xff}).raw(abc).bytes, abc},
        {"a stored block of nothing", BitWriter().bits(1, 1).bits(0, 2).raw({0, 0, 0xff, 0xff}).bytes, Bytes{}},
        {"a stored block whose length's complement is wrong",
         BitWriter().bits(1, 1).bits(0, 2).raw({3, 0, 0xfd, 0xff}).raw(abc).bytes, std::nullopt},
        {"a stored block cut short", BitWriter().bits(1, 1).bits(0, 2).raw({5, 0, 0xfa, 0xff}).raw(abc).bytes,
         std::nullopt},
        {"a fixed block", BitWriter().bits(1, 1).bits(1, 2).code(0x30 + 'a', 8).code(0, 7).bytes, text("a")},
        {"a fixed block with a run back one byte",
         BitWriter().bits(1, 1).bits(1, 2).code(0x30 + 'a', 8).code(1, 7).code(0, 5).code(0, 7).bytes,
         text("aaaa")},
        {"a distance further back than the data",
         BitWriter().bits(1, 1).bits(1, 2).code(0x30 + 'a', 8).code(1, 7).code(1, 5).code(0, 7).bytes, std::nullopt},
        {"a distance before any data", BitWriter().bits(1, 1).bits(1, 2).code(1, 7).code(0, 5).code(0, 7).bytes,
         std::nullopt},
        {"length code 286", BitWriter().bits(1, 1).bits(1, 2).code(0xc6, 8).code(0, 5).code(0, 7).bytes, std::nullopt},
        {"length code 287", BitWriter().bits(1, 1).bits(1, 2).code(0xc7, 8).code(0, 5).code(0, 7).bytes, std::nullopt},
        {"distance code 30", BitWriter().bits(1, 1).bits(1, 2).code(0x30 + 'a', 8).code(1, 7).code(30, 5).bytes,
         std::nullopt},
        {"a last block without its end", BitWriter().bits(1, 1).bits(1, 2).code(0x30 + 'a', 8).bytes, std::nullopt},
        {"a block that isn't the last, then nothing", BitWriter().bits(0, 1).bits(1, 2).code(0, 7).bytes, std::nullopt},
        {"the reserved block type", BitWriter().bits(1, 1).bits(3, 2).bytes, std::nullopt},
        {"nothing at all", Bytes{}, std::nullopt},
        {"a dynamic block", dynamic_block({literals(), {1}, {'a', 'b', 'c', 256}}), text("abc")},
        {"only the end-of-block code, of one bit", dynamic_block({literals({{'a', 0}, {'b', 0}, {'c', 0}, {256, 1}}), {1}, {256}}),
         Bytes{}},
        {"no distance code at all", dynamic_block({literals(), {0}, {'a', 256}}), text("a")},
        {"an over-subscribed literal code", dynamic_block({literals({{'d', 2}}), {1}, {'a', 256}}), std::nullopt},
        {"an incomplete literal code", dynamic_block({literals({{'c', 0}}), {1}, {'a', 256}}), std::nullopt},
        {"an incomplete distance code of two bits", dynamic_block({literals(), {2}, {'a', 256}}), std::nullopt},
        {"an over-subscribed distance code", dynamic_block({literals(), {1, 1, 1}, {'a', 256}}), std::nullopt},
        {"no end-of-block code", dynamic_block({literals({{256, 0}, {'d', 2}}), {1}, {'a'}}), std::nullopt},
        {"an over-subscribed code length code",
         dynamic_block({.literal_lengths = literals(), .distance_lengths = {1}, .body = {'a', 256},
                        .length_code = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 4}}),
         std::nullopt},
        {"an incomplete code length code",
         dynamic_block({.literal_lengths = literals(), .distance_lengths = {1}, .body = {'a', 256},
                        .length_code = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 0}}),
         std::nullopt},
        {"repeats of the previous length and of zeros, across both codes",
         dynamic_block({.literal_lengths = repeated, .distance_lengths = {0, 0, 1}, .body = {'a', 'd', 256},
                        .tokens = repeats}),
         text("ad")},
        {"a repeat of the previous length with none before",
         dynamic_block({.literal_lengths = literals(), .distance_lengths = {1}, .body = {'a', 256},
                        .tokens = {{16, 0}}}),
         std::nullopt},
        {"a repeat beyond the last length",
         dynamic_block({.literal_lengths = repeated, .distance_lengths = {0, 0, 1}, .body = {'a', 256},
                        .tokens = repeats_beyond}),
         std::nullopt},
        {"287 literal/length codes", dynamic_block({literals({}, 287), {1}, {'a', 256}}), std::nullopt},
        {"286 literal/length codes", dynamic_block({literals({}, 286), {1}, {'a', 256}}), text("a")},
        {"31 distance codes", dynamic_block({literals(), Bytes(31, 0), {'a', 256}}), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(zlib_inflate(c.data), c.expected);
        EXPECT_EQ(ours(c.data), c.expected);
    }
}

// Every single-bit change of a stream of dynamic, fixed and stored blocks: ours says what zlib
// says, and makes the same bytes.
TEST(DeflateDecoder, EveryFlippedBitGetsZlibsVerdict) {
    Bytes data;
    for (int i = 0; i < 600; ++i) data.push_back(static_cast<std::uint8_t>("plinth "[i % 7] + i % 3));
    Bytes stream(4096);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_out = stream.data();
    z.avail_out = static_cast<uInt>(stream.size());
    for (int level : {9, 1, 0}) {
        ASSERT_EQ(deflateParams(&z, level, Z_DEFAULT_STRATEGY), Z_OK);
        z.next_in = data.data();
        z.avail_in = static_cast<uInt>(data.size());
        ASSERT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
    }
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    stream.resize(z.total_out);
    deflateEnd(&z);
    ASSERT_TRUE(zlib_inflate(stream));
    for (std::size_t bit = 0; bit < stream.size() * 8; ++bit) {
        Bytes changed = stream;
        changed[bit / 8] ^= static_cast<std::uint8_t>(1 << bit % 8);
        ASSERT_EQ(ours(changed), zlib_inflate(changed)) << "bit " << bit;
    }
}

// Output room of exactly the data's size, and a byte less: runs of 258 bytes and literals up to
// the last byte, where copies can't run ahead eight bytes at a time. Past the room but within
// the limit, the rest is counted.
TEST(DeflateDecoder, OutputEndsExactlyOrIsCounted) {
    Bytes data(100000, 'x');
    for (std::size_t i = 0; i < data.size(); i += 1000) data[i] = static_cast<std::uint8_t>(i / 1000);
    data.back() = 'z';
    const Bytes stream = testing_support::deflate_with(data, -15, 9, 8);
    Bytes out(data.size());
    const auto exact = decode_deflate(stream, out, out.size());
    EXPECT_TRUE(exact.ok);
    EXPECT_EQ(exact.consumed, stream.size());
    EXPECT_EQ(out, data);
    Bytes short_room(data.size() - 1);
    EXPECT_FALSE(decode_deflate(stream, short_room, short_room.size()).ok);
    const auto counted = decode_deflate(stream, short_room, data.size());
    EXPECT_TRUE(counted.ok);
    EXPECT_EQ(counted.total, data.size());
    EXPECT_FALSE(decode_deflate(stream, short_room, data.size() - 1).ok);
}

// Where the last block starts and where the data ends, in bits: what the packer needs to turn a
// final block into one that isn't. Single and several blocks, of each kind, ending mid-byte and
// on a byte boundary.
TEST(DeflateDecoder, TellsTheLastBlocksStartAndTheDataEndInBits) {
    struct Case {
        const char* what;
        Bytes data;
        std::size_t last_block_bit;
        std::size_t end_bit;
    };
    const Case cases[] = {
        {"one fixed block", BitWriter().bits(1, 1).bits(1, 2).code(0x30 + 'a', 8).code(0, 7).bytes, 0, 18},
        {"a stored block, then a fixed one",
         BitWriter().bits(0, 1).bits(0, 2).raw({1, 0, 0xfe, 0xff}).raw({'x'}).bits(1, 1).bits(1, 2).code(0, 7).bytes,
         48, 58},
        {"a fixed block, then a stored one that ends on a byte",
         BitWriter().bits(0, 1).bits(1, 2).code(0, 7).bits(1, 1).bits(0, 2).raw({0, 0, 0xff, 0xff}).bytes, 10, 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out(16);
        const auto decoded = decode_deflate(c.data, out, out.size());
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.last_block_bit, c.last_block_bit);
        EXPECT_EQ(decoded.end_bit, c.end_bit);
        EXPECT_EQ(decoded.consumed, (c.end_bit + 7) / 8);
    }
}

}  // namespace
}  // namespace plinth
