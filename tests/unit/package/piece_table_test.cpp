#include "package/piece_table.h"

#include <gtest/gtest.h>

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes with_u32s(Bytes bytes, std::initializer_list<std::uint32_t> values) {
    for (std::uint32_t v : values) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    return bytes;
}

TEST(PieceTable, RoundTripsAndRefusesWhatIsntOne) {
    const std::vector<StreamPieces> streams = {{100, 7, 6}, {}, {8}};
    const Bytes table = build_piece_table(streams);
    EXPECT_EQ(table, with_u32s(Bytes(kPieceTableMagic.begin(), kPieceTableMagic.end()), {3, 3, 100, 7, 6, 0, 1, 8}));
    EXPECT_EQ(read_piece_table(table), streams);
    EXPECT_EQ(read_piece_table(build_piece_table({})), std::vector<StreamPieces>{});

    const Bytes magic(kPieceTableMagic.begin(), kPieceTableMagic.end());
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes other_magic = table;
    other_magic[7] = 'X';
    Bytes trailing = table;
    trailing.push_back(0);
    const Case refused[] = {
        {"nothing", {}},
        {"the magic alone", magic},
        {"another magic", other_magic},
        {"a stream count beyond the bytes", with_u32s(magic, {0x40000000})},
        {"a piece count beyond the bytes", with_u32s(magic, {1, 3, 5, 5})},
        {"a piece of length 0", with_u32s(magic, {1, 2, 5, 0})},
        {"a byte after the last stream", trailing},
        {"cut in a length", Bytes(table.begin(), table.end() - 1)},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(read_piece_table(c.bytes).has_value());
    }
}

}  // namespace
}  // namespace plinth
