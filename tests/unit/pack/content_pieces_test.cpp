#include "content_pieces.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

namespace plinth::pack {
namespace {

Bytes random_bytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

// The starts of the pieces, from their lengths.
std::vector<std::size_t> cuts(const std::vector<std::uint32_t>& pieces) {
    std::vector<std::size_t> starts;
    std::size_t at = 0;
    for (std::uint32_t length : pieces) starts.push_back(at += length);
    return starts;
}

TEST(ContentPieces, CoverTheDataWithinTheirBounds) {
    struct Case {
        const char* what;
        Bytes data;
    };
    const Case cases[] = {
        {"nothing", {}},
        {"one byte", {7}},
        {"the minimum", random_bytes(kPieceMinimum, 1)},
        {"one more than the minimum", random_bytes(kPieceMinimum + 1, 2)},
        {"varied data", random_bytes(8 << 20, 3)},
        {"zeros", Bytes(3 * kPieceMaximum + 5, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto pieces = content_pieces(c.data);
        EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::size_t{0}), c.data.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_LE(pieces[i], kPieceMaximum);
            if (i + 1 < pieces.size()) {
                EXPECT_GE(pieces[i], kPieceMinimum) << i;
            }
            EXPECT_GT(pieces[i], 0u);
        }
        if (c.data.size() <= kPieceMinimum) {
            EXPECT_EQ(pieces.size(), c.data.empty() ? 0u : 1u);
        }
    }
    // Zeros never cut: maximum pieces and the rest.
    EXPECT_EQ(content_pieces(Bytes(3 * kPieceMaximum + 5, 0)),
              (std::vector<std::uint32_t>{kPieceMaximum, kPieceMaximum, kPieceMaximum, 5}));
    // Varied data cuts near the average the constants promise (min + spread), not at the bounds.
    const auto pieces = content_pieces(random_bytes(8 << 20, 3));
    const double average = (8 << 20) / static_cast<double>(pieces.size());
    EXPECT_GT(average, 0.8 * (kPieceMinimum + kPieceSpread));
    EXPECT_LT(average, 1.2 * (kPieceMinimum + kPieceSpread));
}

// An edit moves only the cuts near it: after bytes put in, taken out or changed, the cuts
// further on are the same cuts, shifted by the edit.
TEST(ContentPieces, AnEditMovesOnlyTheCutsNearIt) {
    const Bytes data = random_bytes(4 << 20, 4);
    const auto before = cuts(content_pieces(data));
    struct Edit {
        const char* what;
        std::size_t at;
        std::size_t removed;
        std::size_t inserted;
    };
    for (const Edit& e : {Edit{"100 KiB put in near the start", 10000, 0, 100 << 10},
                          Edit{"a byte taken out in the middle", 2 << 20, 1, 0},
                          Edit{"1 MiB rewritten in the middle", 1 << 20, 1 << 20, 1 << 20}}) {
        SCOPED_TRACE(e.what);
        Bytes edited(data.begin(), data.begin() + e.at);
        const Bytes put = random_bytes(e.inserted, 5);
        edited.insert(edited.end(), put.begin(), put.end());
        edited.insert(edited.end(), data.begin() + e.at + e.removed, data.end());
        const auto after = cuts(content_pieces(edited));
        std::size_t kept = 0, beyond = 0;
        for (std::size_t cut : before) {
            if (cut < e.at + e.removed + kPieceMaximum) continue;
            ++beyond;
            const std::size_t moved = cut - e.removed + e.inserted;
            kept += std::binary_search(after.begin(), after.end(), moved) ? 1 : 0;
        }
        EXPECT_GT(beyond, 10u);
        EXPECT_EQ(kept, beyond);
    }
}

}  // namespace
}  // namespace plinth::pack
