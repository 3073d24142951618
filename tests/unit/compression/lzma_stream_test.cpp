#include "compression/lzma_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put_u32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A stream of the given properties byte and dictionary, then pieces of { packed, size } with
// `packed` filler bytes each (the layout is read, not decoded, here).
Bytes stream_of(std::uint8_t properties, std::uint32_t dictionary, std::vector<std::pair<std::uint32_t, std::uint32_t>> pieces,
                std::size_t cut = 0) {
    Bytes out(kLzmaMagic.begin(), kLzmaMagic.end());
    out.push_back(properties);
    put_u32(out, dictionary);
    for (auto [packed, size] : pieces) {
        put_u32(out, packed);
        put_u32(out, size);
        out.insert(out.end(), packed, 0);
    }
    out.resize(out.size() - cut);
    return out;
}

TEST(LzmaStream, TheLayoutAndItsBoundsAreReadBeforeAnyRoomIsTaken) {
    constexpr std::uint8_t kUsual = 0x5D;  // lc 3, lp 0, pb 2
    struct Case {
        std::string name;
        Bytes stream;
        std::uint64_t max_size;
        bool read;
    } cases[] = {
        {"no pieces: an empty file", stream_of(kUsual, 1 << 20, {}), 0, true},
        {"two pieces", stream_of(kUsual, 1 << 20, {{5, 100}, {9, 1}}), 101, true},
        {"the properties alone, cut short", stream_of(kUsual, 1 << 20, {}, 1), 0, false},
        {"another magic", [] { Bytes s = stream_of(kUsual, 1 << 20, {}); s[0] = 'X'; return s; }(), 0, false},
        {"lc + lp = 4", stream_of(4 + 9 * 0 + 45 * 2, 1 << 20, {{5, 1}}), 1, true},
        {"lc + lp = 5: tables beyond a few KiB", stream_of(4 + 9 * 1 + 45 * 2, 1 << 20, {{5, 1}}), 1, false},
        {"pb = 4", stream_of(3 + 45 * 4, 1 << 20, {{5, 1}}), 1, true},
        {"pb = 5", stream_of(3 + 45 * 5, 1 << 20, {{5, 1}}), 1, false},
        {"the dictionary at the cap", stream_of(kUsual, kMaxLzmaDictionary, {{5, 1}}), 1, true},
        {"the dictionary one byte above it", stream_of(kUsual, kMaxLzmaDictionary + 1, {{5, 1}}), 1, false},
        {"a piece of no bytes", stream_of(kUsual, 1 << 20, {{5, 0}}), 1, false},
        {"a piece shorter than the range coder's start and end", stream_of(kUsual, 1 << 20, {{4, 1}}), 1, false},
        {"a piece cut short", stream_of(kUsual, 1 << 20, {{5, 1}}, 1), 1, false},
        {"a piece's header cut short", stream_of(kUsual, 1 << 20, {{5, 1}, {5, 1}}, 6), 2, false},
        {"bytes after the last piece", [] { Bytes s = stream_of(kUsual, 1 << 20, {{5, 1}}); s.push_back(0); return s; }(), 1,
         false},
        {"sizes at the file's limit", stream_of(kUsual, 1 << 20, {{5, 0x7fffffff}, {5, 1}}), 0x80000000u, true},
        {"sizes one byte beyond it", stream_of(kUsual, 1 << 20, {{5, 0x7fffffff}, {5, 2}}), 0x80000000u, false},
        {"sizes that wrap 32 bits", stream_of(kUsual, 1 << 20, {{5, 0xffffffff}, {5, 2}}), 0x7fffffff, false},
    };
    for (const Case& c : cases) {
        const auto pieces = read_lzma_pieces(c.stream, c.max_size);
        EXPECT_EQ(pieces.has_value(), c.read) << c.name;
        if (pieces && c.name == "two pieces") {
            ASSERT_EQ(pieces->pieces.size(), 2u);
            EXPECT_EQ(pieces->pieces[1].offset, 100u);
            EXPECT_EQ(pieces->pieces[1].packed.data() - c.stream.data(), 9 + 8 + 5 + 8);
            EXPECT_EQ(pieces->size, 101u);
        }
    }
}

TEST(LzmaStream, NoZlibStreamIsTakenForLzma) {
    // A zlib header's first byte has 8 in its low nibble; "L" has 0xC.
    EXPECT_FALSE(is_lzma_stream(Bytes{0x78, 0xDA, 'L', 'Z'}));
    EXPECT_FALSE(is_lzma_stream(Bytes{'L', 'Z', 'M'}));
    EXPECT_NE(kLzmaMagic[0] & 0x0F, 8);
}

}  // namespace
}  // namespace plinth
